#!/usr/bin/env bash
# velmorant-demo refuses arguments it cannot use before its window opens:
# each case must end at once with exit code 2 and say why on stderr.
#   program_arguments.sh PROGRAM
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
while IFS='|' read -r arguments message; do
  read -r -a words <<<"$arguments"
  VELMORANT_DISPLAY=headless timeout 20 "$program" "${words[@]}" >"$work/out" 2>"$work/err"
  status=$?
  if [ "$status" -ne 2 ] || ! grep -qF "velmorant-demo: $message" "$work/err"; then
    echo "FAILED: $arguments: exit status $status, stderr:" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  fi
done <<EOF2
--trace $work/no/such/folder/trace.txt|cannot write the trace file $work/no/such/folder/trace.txt
--trace $work|cannot write the trace file $work
--trace /dev/full|cannot write the trace file /dev/full
--trace|--trace wants a file name
--trace $work/a.txt extra|unexpected argument extra
--traces $work/a.txt|unknown option or wrong arguments: --traces
EOF2
if [ -e "$work/a.txt" ]; then
  echo "FAILED: refused arguments left a trace file" >&2
  failures=$((failures + 1))
fi
exit $((failures > 0))
