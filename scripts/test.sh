#!/usr/bin/env bash
# Runs every test: checks of the sources (includes, layout, shellcheck), the native
# build, the real serial drivers in a virtual machine, the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
# (with the fuzzers' short runs), the Windows
# build under Wine, and the packages (scripts/package.sh). Warnings are errors
# in every build. Installs what is missing first. Exits non-zero when any
# stage fails, after a summary of all of them.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/support/x_server.sh
. "$root/tests/support/x_server.sh"
build=${VELMORANT_BUILD:-$root/build}
jobs=$(nproc)

"$root/scripts/setup.sh" || { echo "setup failed" >&2; exit 1; }

declare -a names results
total_passed=0
total_failed=0

# record NAME STATUS LOG: counts what ctest (or a checking script's
# "checks: N passed, M failed") reported in LOG for the summary.
record() {
  local name=$1 status=$2 log=$3 line passed=0 failed=0 all
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    all=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((all - failed))
  fi
  line=$(grep -E '^checks: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$(sed -E 's/^checks: ([0-9]+) passed.*/\1/' <<<"$line")
    failed=$(sed -E 's/.*passed, ([0-9]+) failed$/\1/' <<<"$line")
  fi
  if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi  # a build that broke counts as a failure
  names+=("$name")
  results+=("$passed passed, $failed failed$([ "$status" -ne 0 ] && echo " (exit $status)")")
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
}

# stage NAME BUILD_DIR CMAKE_ARGS...: configure, build and run ctest.
stage() {
  local name=$1 dir=$2
  shift 2
  local log=$dir.log
  echo "== $name"
  {
    cmake -G Ninja -S "$root" -B "$dir" -DVELMORANT_WERROR=ON "$@" >/dev/null &&
      cmake --build "$dir" -j "$jobs" &&
      "$root/scripts/private-lock-folder.sh" ctest --test-dir "$dir" --output-on-failure -j "$CTEST_JOBS"
  } 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  record "$name" "$status" "$log"
}

# VELMORANT_STAGES picks stages by hand, e.g. "native windows"; all by default.
stages=" ${VELMORANT_STAGES:-checks native drivers sanitizers windows packages} "
wanted() { [[ $stages == *" $1 "* ]]; }

mkdir -p "$build"

# script_stage NAME SCRIPT: a stage that runs one checking script.
script_stage() {
  local name=$1 log=$build/$1.log
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$log"
  record "$name" "${PIPESTATUS[0]}" "$log"
}

# The sources themselves: the includes of every layer, the layout, and shellcheck.
wanted checks && script_stage checks "$root/scripts/check-sources.sh"

wanted native && CTEST_JOBS=$jobs stage native "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The real serial drivers in a virtual machine, with the native build's programs.
wanted drivers && script_stage drivers "$root/scripts/drivers.sh" "$build/native" "$build"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
wanted sanitizers && CTEST_JOBS=$jobs stage sanitizers "$build/sanitize" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELMORANT_SANITIZE=ON -DVELMORANT_FUZZ=ON

# Wine: one X server for the GUI tests, one wineserver for the whole stage,
# both stopped at the end; the prefix lives in the build folder.
run_windows_stage() {
wine_dir=$build/windows
mkdir -p "$wine_dir"
export WINEPREFIX=$wine_dir/wineprefix WINEDEBUG=-all
x_server_start || { echo "Xvfb did not start" >&2; record windows 1 /dev/null; return; }
xvfb_pid=$x_server_pid
export DISPLAY=$x_server_display
cleanup() {
  WINEPREFIX=$wine_dir/wineprefix wineserver -k >/dev/null 2>&1
  x_server_stop "$xvfb_pid"
}
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== preparing the Wine prefix"
  "$root/scripts/wine-run.sh" "$WINEPREFIX" wineboot --init >/dev/null 2>&1
  wineserver -w
fi
# No window manager runs on the Xvfb display, so Wine's windows are left
# unmanaged (else every window that is hidden or destroyed waits two seconds for
# a window manager to withdraw it) and Wine draws their frames itself, as
# Windows does, so that close boxes and borders can be clicked. A test program
# that crashes ends at once with a backtrace instead of waiting in a crash
# dialog that nobody closes.
if [ ! -f "$WINEPREFIX/.velmorant-settings" ]; then
  wine_reg() { "$root/scripts/wine-run.sh" "$WINEPREFIX" reg add "HKCU\\Software\\Wine\\$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1; }
  wine_reg "X11 Driver" Managed REG_SZ N
  wine_reg "X11 Driver" Decorated REG_SZ N
  wine_reg WineDbg ShowCrashDialog REG_DWORD 0
  wineserver -w
  touch "$WINEPREFIX/.velmorant-settings"
fi
# Marlett, Wine's font of the caption's button glyphs (fonts-wine), where
# Windows keeps its fonts: Wine 8 as Debian ships it does not find it in its
# data folder, and without it the close box shows a placeholder glyph. Only
# Marlett: with Wine's Tahoma, MS Shell Dlg (the stock GUI font) would change
# under the platform tests that compare it with ours.
cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -p >/dev/null 2>&1  # keep it running between test programs
# Start Wine's services now, away from any test's output.
"$root/scripts/wine-run.sh" "$WINEPREFIX" cmd /c exit >/dev/null 2>&1
CTEST_JOBS=1 stage windows "$wine_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
}
wanted windows && run_windows_stage

# The .deb and the Windows zip, built as a packager would, and what they hold.
wanted packages && script_stage packages "$root/scripts/package.sh"

echo
echo "== Summary"
for i in "${!names[@]}"; do
  printf '  %-11s %s\n' "${names[$i]}:" "${results[$i]}"
done
echo "tests: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
