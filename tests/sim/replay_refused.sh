#!/usr/bin/env bash
# velmorant-sim refuses a malformed transcript at start: a bad escape, an
# unknown direction, time going back, a 10 MB line, a binary file, two
# requests in one line and a reply more than an hour late each end
# it with a nonzero exit code and the file and line on stderr, before any
# port is offered; so do options that do not fit together.
#   replay_refused.sh SIM
set -u
sim=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

printf '0.1 > ati\\r\n0.2 < \\q\n' >"$work/escape.txt"
printf '0.1 > ati\\r\n# a note\n0.2 = x\n' >"$work/direction.txt"
printf '0.3 > ati\\r\n0.2 < x\n' >"$work/time.txt"
{ printf '0.1 > ati\\r\n0.2 < '; head -c 10485760 /dev/zero | tr '\0' 'a'; printf '\n'; } >"$work/long.txt"
head -c 4096 "$sim" >"$work/binary.txt"
# Two requests glued into one line (as a full disk left them), a reply more
# than an hour after its request, and one so far off that its time in
# microseconds would overflow a wait.
printf '0.1 > ati\\r\n1.598796 > 0805\\r5.541647 > 0805\\r\n' >"$work/glued.txt"
printf '0.1 > ati\\r\n3600.200000 < x\\r>\n' >"$work/gap.txt"
printf '0.1 > ati\\r\n999999999999.999999 < x\\r>\n' >"$work/far.txt"

for case in "escape.txt:2:" "direction.txt:3:" "time.txt:2:" "long.txt:2:" "binary.txt:1:" "glued.txt:2:" "gap.txt:2:" \
  "far.txt:2:"; do
  file=$work/${case%%:*}
  line=${case#*:}
  timing=()
  [ "$file" = "$work/far.txt" ] && timing=(--replay-timing recorded)
  timeout 20 "$sim" --replay "$file" "${timing[@]}" >"$work/out" 2>"$work/err"
  status=$?
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
    echo "FAILED: $case: exit status $status" >&2
    failures=$((failures + 1))
  fi
  if ! grep -q "^velmorant-sim: $file:$line " "$work/err"; then
    echo "FAILED: $case: stderr does not name the line:" >&2
    head -c 300 "$work/err" >&2
    failures=$((failures + 1))
  fi
  if [ -s "$work/out" ]; then
    echo "FAILED: $case: a port was offered:" >&2
    cat "$work/out" >&2
    failures=$((failures + 1))
  fi
done
while IFS='|' read -r options message; do
  read -r -a words <<<"$options"
  "$sim" "${words[@]}" >"$work/out" 2>"$work/err"
  status=$?
  if [ "$status" -ne 2 ] || ! grep -qF "velmorant-sim: $message" "$work/err" || [ -s "$work/out" ]; then
    echo "FAILED: $options: exit status $status, stderr:" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  fi
done <<EOF
--replay-timing recorded|--replay-timing needs --replay
--replay $work/time.txt --replay-timing sometimes|--replay-timing wants linerate or recorded, not "sometimes"
--tap /dev/null|--tap and --record go together
--record $work/r.txt|--tap and --record go together
--tap /dev/null --record $work/r.txt --replay $work/time.txt|--tap or --replay, not both
EOF
exit $((failures > 0))
