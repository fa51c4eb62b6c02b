#!/usr/bin/env bash
# Checks that hold for the sources themselves, whatever the build:
# - the layers above platform/ (app/, serial/, toolkit/) are Win32 code: they
#   include only C++ standard library headers, the Windows SDK's headers and
#   their own, so that the same source builds for Windows;
# - includes of the project's own headers flow one way, by folder:
#   app/ -> toolkit/ and serial/ -> the Win32 API (platform/ on Linux);
#   toolkit/ and serial/ include neither app/ nor each other, platform/
#   includes none of the layers above it, and sim/ (a Linux program of its
#   own) uses platform/ and the transcript format it shares with app/;
# - every C and C++ file is laid out as .clang-format says (clang-format 14);
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
standard+='deque|exception|filesystem|format|fstream|functional|initializer_list|iomanip|ios|iosfwd|iostream|istream|'
standard+='iterator|limits|list|map|memory|mutex|new|numeric|optional|ostream|queue|random|ranges|ratio|regex|'
standard+='set|source_location|span|sstream|stack|stdexcept|streambuf|string|string_view|system_error|thread|'
standard+='tuple|type_traits|typeinfo|unordered_map|unordered_set|utility|variant|vector'
windows_sdk='windows\.h|setupapi\.h|restartmanager\.h|commctrl\.h|objbase\.h|mmsystem\.h|timeapi\.h|winbase\.h|winuser\.h|wingdi\.h|winerror\.h'

passed=0
failed=0
# CLI11, the command-line parser (header-only), in the one file that parses the command line.
command_line_parser='^app/options\.cpp:[0-9]+:#include <CLI/CLI\.hpp>$'
upper_layer_includes=$(git ls-files -- 'app/*' 'serial/*' 'toolkit/*' | grep -E '\.(cpp|h)$' |
  xargs grep -nE '^\s*#\s*include\s*<' | grep -vE "#\s*include\s*<(${standard}|${windows_sdk})>" |
  grep -vE "$command_line_parser")
if [ -z "$upper_layer_includes" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAILED: these files above platform/ include system headers that Windows does not have:"
  while IFS= read -r line; do echo "    $line"; done <<<"$upper_layer_includes"
fi

# The one-way flow of the quoted includes. A header is looked up as the
# compiler would: beside the including file, then under each layer's folder
# (and platform/include); cmake/NAME.in is a header the build generates. A
# layer may include the folders named for it, or single headers by path
# (the transcript format and the files it is written to are shared by the
# program and the simulator). A
# header found nowhere counts as a fault, so that a renamed one is noticed.
declare -A may_include=(
  [app]="app toolkit serial generated"
  [toolkit]="toolkit"
  [serial]="serial"
  [platform]="platform"
  [sim]="sim platform generated app/transcript.h app/output_file.h app/open_failure.h"
)
for layer in app toolkit serial platform sim; do
  wrong_includes=$(git ls-files -- "$layer/" | grep -E '\.(c|cpp|h)$' | python3 -c '
import os, re, sys
layer, allowed = sys.argv[1], sys.argv[2].split()
roots = [layer] + [name for name in ("app", "toolkit", "serial", "sim", "platform") if name != layer]
roots += ["platform/include"]
include = re.compile(r"^\s*#\s*include\s*\"([^\"]+)\"")
for source in sys.stdin.read().split():
    for number, text in enumerate(open(source, encoding="utf-8"), 1):
        match = include.match(text)
        if not match:
            continue
        name = match.group(1)
        if os.path.isfile(os.path.join(os.path.dirname(source), name)):
            found = os.path.normpath(os.path.join(os.path.dirname(source), name))
        elif os.path.isfile(os.path.join("cmake", name + ".in")):
            found = "generated/" + name
        else:
            found = next((os.path.join(root, name) for root in roots if os.path.isfile(os.path.join(root, name))), None)
        if found is None:
            print(f"{source}:{number}: {name} is no header of the project")
        elif found.split("/")[0] not in allowed and found not in allowed:
            print(f"{source}:{number}: {found}")
' "$layer" "${may_include[$layer]}")
  if [ -z "$wrong_includes" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $layer/ may include only ${may_include[$layer]}; these includes go elsewhere:"
    while IFS= read -r line; do echo "    $line"; done <<<"$wrong_includes"
  fi
done

# The layout, for every C and C++ file of the project.
format_errors=$(mktemp)
if git ls-files -z -- '*.c' '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run --Werror 2>"$format_errors"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAILED: these files are not laid out as .clang-format says (clang-format-14 -i FILE lays them out):"
  grep -E '^[^ ].*: error:' "$format_errors" | cut -d: -f1 | sort -u | sed 's/^/    /'
fi
rm -f "$format_errors"

for script in $(git ls-files -- '*.sh' .ci/run); do
  if shellcheck --external-sources --severity=style "$script"; then
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
