#!/usr/bin/env bash
# Makes the packages from this checkout and checks what they hold:
#   build/packages/velmorant-demo_<version>_amd64.deb    Debian 12: the program, the
#       simulator, the menu entry, the icon and the manual pages
#   build/packages/velmorant-demo-<version>-win64.zip    the Windows program (Release,
#       stripped, self-contained), the README and the licence
# Both are Release builds without tests, each in a build folder of its own.
# Ends with "checks: N passed, M failed" and fails when any check failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORANT_BUILD:-$root/build}
out=$build/packages
"$root/scripts/setup.sh"

version=$(sed -nE 's/^project\(velmorant VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
deb=$out/velmorant-demo_${version}_amd64.deb
zip=$out/velmorant-demo-${version}-win64.zip

# make_package DIR CMAKE_ARGS...: a Release build in DIR, packed by CPack into $out.
make_package() {
  local dir=$1
  shift
  cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVELMORANT_TESTS=OFF -DVELMORANT_BENCH=OFF \
    -DVELMORANT_WERROR="${VELMORANT_WERROR:-ON}" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
  rm -rf "$dir/cpack"
  (cd "$dir" && cpack -B "$dir/cpack" >/dev/null)
  find "$dir/cpack" -maxdepth 1 \( -name '*.deb' -o -name '*.zip' \) -exec cp {} "$out"/ \;
}

mkdir -p "$out"
rm -f "$deb" "$zip"
echo "== building the packages of version $version"
make_package "$build/package-linux"
make_package "$build/package-windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"

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
      usr/share/doc/velmorant-demo/LICENSE usr/share/doc/velmorant-demo/README.md \
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
  check "velmorant-demo's manual page formats without warnings" manual_page_is_clean velmorant-demo
  check "velmorant-sim's manual page formats without warnings" manual_page_is_clean velmorant-sim
  check "velmorant-sim --version says $version" sim_says_version
  check "velmorant-sim --help runs" sim_helps
  check "the packaged program starts" program_starts
fi

# --- the Windows zip
files_in_zip() { python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip"; }
expected_zip_files() { printf '%s\n' LICENSE README.md velmorant-demo.exe; }
exe=$work/zip/velmorant-demo.exe
stripped() { x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols'; }
# Only libraries that come with Windows itself.
system_libraries_only() {
  ! x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' |
    grep -viqxE '(kernel32|user32|gdi32|comctl32|ole32|msvcrt|winmm|advapi32|ntdll)\.dll'
}
# The version resource's strings are UTF-16.
version_resource() { strings -el "$exe" | grep -qx "$version"; }

check "the .zip was made" test -f "$zip"
if [ -f "$zip" ]; then
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/zip"
  check "the .zip holds the program, the README and the licence" same_lines files_in_zip expected_zip_files
  check "the Windows program is stripped" stripped
  check "the Windows program needs only system libraries" system_libraries_only
  check "the Windows program's version resource says $version" version_resource
fi

ls -l "$out"
echo "checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
