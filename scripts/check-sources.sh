#!/usr/bin/env bash
# Checks that hold for the sources themselves, whatever the build:
# - the layers above platform/ (app/, serial/, toolkit/) are Win32 code: they
#   include only C++ standard library headers, the Windows SDK's headers and
#   their own, so that the same source builds for Windows;
# - the shell scripts pass shellcheck;
# - scripts/mutants.py does what its tests say.
# Ends with "checks: N passed, M failed" and fails when any check failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

# The C++ standard library (with its C headers in their <cname> form) and the
# Windows SDK headers that the upper layers may use.
standard='algorithm|any|array|atomic|bit|bitset|cassert|cctype|cerrno|cfloat|charconv|chrono|cinttypes|climits|'
standard+='cmath|compare|concepts|condition_variable|cstdarg|cstddef|cstdint|cstdio|cstdlib|cstring|ctime|cwchar|'
standard+='deque|exception|filesystem|format|functional|initializer_list|iomanip|ios|iosfwd|iostream|istream|'
standard+='iterator|limits|list|map|memory|mutex|new|numeric|optional|ostream|queue|random|ranges|ratio|regex|'
standard+='set|source_location|span|sstream|stack|stdexcept|streambuf|string|string_view|system_error|thread|'
standard+='tuple|type_traits|typeinfo|unordered_map|unordered_set|utility|variant|vector'
windows_sdk='windows\.h|setupapi\.h|restartmanager\.h|commctrl\.h|objbase\.h|mmsystem\.h|timeapi\.h|winbase\.h|winuser\.h|wingdi\.h|winerror\.h'

passed=0
failed=0
upper_layer_includes=$(git ls-files -- 'app/*' 'serial/*' 'toolkit/*' | grep -E '\.(cpp|h)$' |
  xargs grep -nE '^\s*#\s*include\s*<' | grep -vE "#\s*include\s*<(${standard}|${windows_sdk})>")
if [ -z "$upper_layer_includes" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAILED: these files above platform/ include system headers that Windows does not have:"
  while IFS= read -r line; do echo "    $line"; done <<<"$upper_layer_includes"
fi

for script in $(git ls-files -- '*.sh' .ci/run); do
  if shellcheck --severity=style "$script"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: shellcheck $script"
  fi
done

# The project's mutation command plants faults, judges them and puts the sources back.
if python3 "$root/tests/scripts/mutants_test.py" 2>&1 | tail -n 3; [ "${PIPESTATUS[0]}" -eq 0 ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAILED: tests/scripts/mutants_test.py"
fi

echo "checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
