#!/usr/bin/env bash
# Makes the packages from this checkout and checks what they hold:
#   build/packages/velmorant-demo_<version>_amd64.deb    Debian 12: the program, the
#       simulator, the menu entry, the icon and the manual pages
#   build/packages/velmorant-demo-<version>-win64.zip    the Windows program (Release,
#       stripped, self-contained), the user's guide and the licence
# Both are Release builds without tests, each in a build folder of its own;
# the Linux programs with Debian's hardening flags. Each package is then made
# again (the programs linked, installed and packed anew, later) and must come
# out the same, byte for byte.
# Ends with "checks: N passed, M failed" and fails when any check failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/support/x_server.sh
. "$root/tests/support/x_server.sh"
build=${VELMORANT_BUILD:-$root/build}
out=$build/packages
"$root/scripts/setup.sh"

# Reproducible: every time in the packages is the last changelog entry's, as
# Debian's tools take it, and nothing depends on the local time zone or umask.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l "$root/packaging/changelog" -STimestamp)}
export SOURCE_DATE_EPOCH TZ=UTC
umask 022
# buildflag NAME: Debian's flag with every hardening feature; run from the
# source folder, so that paths in the programs are relative to it.
buildflag() { (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
hardened=(-DCMAKE_C_FLAGS="$(buildflag CPPFLAGS) $(buildflag CFLAGS)"
  -DCMAKE_CXX_FLAGS="$(buildflag CPPFLAGS) $(buildflag CXXFLAGS)"
  -DCMAKE_EXE_LINKER_FLAGS="$(buildflag LDFLAGS)")

version=$(sed -nE 's/^project\(velmorant VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
deb=$out/velmorant-demo_${version}_amd64.deb
zip=$out/velmorant-demo-${version}-win64.zip

# make_package DIR TO CMAKE_ARGS...: a Release build in DIR, packed by CPack into TO.
make_package() {
  local dir=$1 to=$2
  shift 2
  cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVELMORANT_TESTS=OFF -DVELMORANT_BENCH=OFF \
    -DVELMORANT_WERROR="${VELMORANT_WERROR:-ON}" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
  rm -rf "$dir/cpack"
  (cd "$dir" && cpack -B "$dir/cpack" >/dev/null)
  mkdir -p "$to"
  find "$dir/cpack" -maxdepth 1 \( -name '*.deb' -o -name '*.zip' \) -exec cp {} "$to"/ \;
}
# make_packages TO: both packages.
make_packages() {
  make_package "$build/package-linux" "$1" "${hardened[@]}"
  make_package "$build/package-windows" "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
}

rm -rf "$out"
echo "== building the packages of version $version"
make_packages "$out"
# Compiling again would double the time for the same objects; what differs
# from one build to the next lies in linking, installing and packing.
echo "== linking and packing them again"
rm -f "$build/package-linux/app/velmorant-demo" "$build/package-linux/sim/velmorant-sim" \
  "$build/package-windows/app/velmorant-demo.exe"
make_packages "$out/again"

passed=0
failed=0
# check DESCRIPTION COMMAND...: one check, counted.
check() {
  local description=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description"
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- the Debian package
files_in_deb() { dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./||' | sort; }
expected_deb_files() {
  {
    printf '%s\n' usr/bin/velmorant-demo usr/bin/velmorant-sim \
      usr/share/applications/velmorant-demo.desktop \
      usr/share/doc/velmorant-demo/README usr/share/doc/velmorant-demo/changelog.gz \
      usr/share/doc/velmorant-demo/copyright \
      usr/share/icons/hicolor/scalable/apps/velmorant-demo.svg \
      usr/share/man/man1/velmorant-demo.1.gz usr/share/man/man1/velmorant-sim.1.gz
    for size in 16 32 48 64 128 256; do echo "usr/share/icons/hicolor/${size}x$size/apps/velmorant-demo.png"; done
  } | sort
}
same_lines() { diff <("$1") <("$2"); }
field() { dpkg-deb --field "$deb" "$1"; }
depends_on() { field Depends | tr ',' '\n' | grep -qE "^ *$1( |$)"; }
manual_page_is_clean() { [ -z "$(zcat "$work/deb/usr/share/man/man1/$1.1.gz" | groff -man -ww -z 2>&1)" ]; }
sim_says_version() { [ "$("$work/deb/usr/bin/velmorant-sim" --version)" = "velmorant-sim $version" ]; }
sim_helps() { "$work/deb/usr/bin/velmorant-sim" --help | grep -q '^Usage: velmorant-sim'; }
# The program runs until it is closed: still running after two seconds is a start.
program_starts() {
  local status=0
  VELMORANT_DISPLAY=headless HOME=$work timeout 2 "$work/deb/usr/bin/velmorant-demo" || status=$?
  [ "$status" -eq 124 ]
}
desktop_entry_runs_the_program() { grep -qx 'Exec=velmorant-demo' "$work/deb/usr/share/applications/velmorant-demo.desktop"; }
desktop_entry_names_the_window() {
  grep -qx 'StartupWMClass=velmorant-demo' "$work/deb/usr/share/applications/velmorant-demo.desktop"
}
# No error or warning; what lintian says is shown, its remarks too.
lintian_is_content() {
  echo "lintian $(lintian --version | sed 's/^Lintian v//'):"
  lintian --fail-on error,warning --display-info "$deb" 2>&1 | grep -v 'running with root privileges'
  return "${PIPESTATUS[0]}"
}
# The packaged program on an X display of its own, as the desktop sees its window.
window_known_to_the_desktop() {
  local display xvfb program window status=0
  x_server_start || return 1
  xvfb=$x_server_pid display=$x_server_display
  DISPLAY=$display VELMORANT_DISPLAY=x11 HOME=$work "$work/deb/usr/bin/velmorant-demo" &
  program=$!
  window=$(DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --name '^Velmorant Demo$' | head -n 1)
  DISPLAY=$display "$root/tests/e2e/desktop_window.sh" "$window" "$program" \
    "$work/deb/usr/share/icons/hicolor/SIZExSIZE/apps/velmorant-demo.png" || status=1
  kill "$program"
  wait "$program"
  x_server_stop "$xvfb"
  return $status
}

check "the .deb was made" test -f "$deb"
if [ -f "$deb" ]; then
  dpkg-deb --extract "$deb" "$work/deb"
  check "the .deb holds exactly the installed files" same_lines files_in_deb expected_deb_files
  check "the .deb's version is $version" test "$(field Version)" = "$version"
  for library in libc6 libstdc\\+\\+6 libcairo2 libfontconfig1 libx11-6 fonts-liberation; do
    check "the .deb depends on $library" depends_on "$library"
  done
  check "the desktop entry is valid" desktop-file-validate "$work/deb/usr/share/applications/velmorant-demo.desktop"
  check "the desktop entry starts velmorant-demo" desktop_entry_runs_the_program
  check "the desktop entry names the window's class" desktop_entry_names_the_window
  check "lintian finds no error or warning" lintian_is_content
  check "the README is the user's guide" cmp -s "$work/deb/usr/share/doc/velmorant-demo/README" "$root/packaging/README.user"
  check "the program's window carries its class, process and icon" window_known_to_the_desktop
  check "velmorant-demo's manual page formats without warnings" manual_page_is_clean velmorant-demo
  check "velmorant-sim's manual page formats without warnings" manual_page_is_clean velmorant-sim
  check "velmorant-sim --version says $version" sim_says_version
  check "velmorant-sim --help runs" sim_helps
  check "the packaged program starts" program_starts
fi

# --- the Windows zip
files_in_zip() { python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip"; }
expected_zip_files() { printf '%s\n' LICENSE.txt README.txt velmorant-demo.exe; }
exe=$work/zip/velmorant-demo.exe
stripped() { x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols'; }
# Only libraries that come with Windows itself.
system_libraries_only() {
  ! x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' |
    grep -viqxE '(kernel32|user32|gdi32|comctl32|ole32|msvcrt|winmm|advapi32|setupapi|rstrtmgr|ntdll)\.dll'
}
# The version resource's strings are UTF-16.
version_resource() { strings -el "$exe" | grep -qx "$version"; }
# Each image of the icon file is an icon resource of the program, as it stands in the file.
icon_resource() {
  python3 - "$root/packaging/icons/velmorant-demo.ico" "$exe" <<'PYTHON'
import struct, sys
icon, program = (open(name, "rb").read() for name in sys.argv[1:])
entries = [struct.unpack_from("<8xII", icon, 6 + 16 * i) for i in range(struct.unpack_from("<H", icon, 4)[0])]
sys.exit(not entries or any(icon[offset:offset + size] not in program for size, offset in entries))
PYTHON
}

check "the .zip was made" test -f "$zip"
if [ -f "$zip" ]; then
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/zip"
  check "the .zip holds the program, the user's guide and the licence" same_lines files_in_zip expected_zip_files
  check "the Windows program carries the icon" icon_resource
  sed 's/$/\r/' "$root/packaging/README.windows" >"$work/README.windows.crlf"
  check "the README is the Windows user's guide, with CRLF line ends" \
    cmp -s "$work/zip/README.txt" "$work/README.windows.crlf"
  check "the Windows program's manifest says version $version.0" \
    grep -q "name=\"Velmorant.Demo\" version=\"$version.0\"" "$exe"
  check "the Windows program is stripped" stripped
  check "the Windows program needs only system libraries" system_libraries_only
  check "the Windows program's version resource says $version" version_resource
fi

# Made twice, the same bytes.
for package in "$deb" "$zip"; do
  check "$(basename "$package") is the same when built again" cmp "$package" "$out/again/$(basename "$package")"
done

ls -l "$out"
echo "checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
