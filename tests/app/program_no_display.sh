#!/usr/bin/env bash
# Without a display the program does not run unseen: unless the headless
# display is chosen by name, it says so in one line on stderr and ends with
# exit code 1.
#   program_no_display.sh PROGRAM
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# Each case: the environment, the exit code, the start of stderr ("" for nothing).
while IFS='|' read -r environment code message; do
  read -r -a variables <<<"$environment"
  status=0
  if [ "$code" = 124 ]; then
    env -u DISPLAY -u VELMORANT_DISPLAY "${variables[@]}" HOME="$work" timeout 2 "$program" >/dev/null 2>"$work/err" ||
      status=$?
  else
    env -u DISPLAY -u VELMORANT_DISPLAY "${variables[@]}" HOME="$work" timeout 60 "$program" >/dev/null 2>"$work/err" ||
      status=$?
  fi
  lines=$(wc -l <"$work/err")
  if [ "$status" -ne "$code" ] || { [ -z "$message" ] && [ -s "$work/err" ]; } ||
    { [ -n "$message" ] && { [ "$lines" -ne 1 ] || [ "$(head -c ${#message} "$work/err")" != "$message" ]; }; }; then
    echo "FAILED: $environment: exit status $status (wanted $code), stderr:" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  fi
done <<EOF2
HOME=$work|1|velmorant-demo: no display: DISPLAY is not set (as over ssh without -X). Start it on a desktop, or set VELMORANT_DISPLAY=headless to run it without a window.
DISPLAY=|1|velmorant-demo: no display: DISPLAY is not set
VELMORANT_DISPLAY=x11|1|velmorant-demo: no display: DISPLAY is not set
DISPLAY=:9876|1|velmorant-demo: no display: the X display ":9876" cannot be reached. Start it
DISPLAY=/tmp/none:0|1|velmorant-demo: no display: the X display "/tmp/none:0" cannot be reached.
VELMORANT_DISPLAY=headless|124|
EOF2
exit $((failures > 0))
