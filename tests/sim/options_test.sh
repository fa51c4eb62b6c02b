#!/usr/bin/env bash
# velmorant-sim's command line and its COM link: every option also as
# --option=value, the errors it gives, and one simulator per COM name.
#   options_test.sh SIM
set -u
sim=$1
# shellcheck source=tests/support/simulator.sh
. "$(dirname "$0")/../support/simulator.sh"
work=$(mktemp -d)
export VELMORANT_DOSDEVICES=$work/links
failed=0
trap 'jobs -p | xargs -r kill -9 2>/dev/null; rm -rf "$work"' EXIT

# expect STATUS PATTERN ARGS...: the simulator ends with STATUS, saying PATTERN (grep -E).
expect() {
  local status=$1 pattern=$2 output got
  shift 2
  output=$(timeout 10 "$sim" "$@" 2>&1)
  got=$?
  if [ "$got" -ne "$status" ] || ! grep -qE -- "$pattern" <<<"$output"; then
    echo "FAILED: velmorant-sim $* ended with $got, not $status saying /$pattern/:"
    echo "$output"
    failed=1
  fi
}

# Each value reaches its own option: a bad one is refused in that option's words.
expect 2 '^velmorant-sim: unknown scenario: nope; the scenarios are ramp, fixed, groups, [a-z, -]+$' --scenario=nope
expect 2 'unknown scenario: nope; the scenarios are ramp' --scenario nope
expect 2 '--speed wants a number from 0 to 255' --speed=256
expect 2 '--cycles wants a number from 1 to' --cycles=0
expect 2 '--gap wants a number from 0 to 60000' --gap=x
expect 2 '--connect-wait wants a number from 0 to 6000' --connect-wait=-1
expect 2 '--flood-seconds wants a number from 0 to 86400' --flood-seconds=
expect 2 '--seed wants a number from 0 to' --seed=1.5
expect 2 '--fields wants items like "64 32", not "6432"' --fields=6432
expect 1 'not a COM port name: LPT1' --link=LPT1
expect 1 "^velmorant-sim: cannot open the log $work/none/log: No such file or directory$" --log="$work/none/log"
expect 0 '^velmorant-sim [0-9.]+$' --fields='64 32,01 96' --log="$work/log" --version
mkdir -p "$VELMORANT_DOSDEVICES/com9.velmorant-sim.lock"
expect 1 "^velmorant-sim: cannot open $VELMORANT_DOSDEVICES/com9.velmorant-sim.lock: Is a directory$" --link COM9
rmdir "$VELMORANT_DOSDEVICES/com9.velmorant-sim.lock"

# start NAME ARGS...: a simulator in the background, its output in $work/NAME,
# its process in $simulator_pid; waits until it serves.
start() {
  local name=$1
  shift
  simulator_start "$work/$name" "$sim" "$@" && return 0
  echo "FAILED: velmorant-sim $* did not start:"
  cat "$work/$name"
  failed=1
}

# A live simulator keeps its link; one that was killed leaves it to the next.
start first --scenario=fixed --speed=7 --link=COM17
first=$simulator_pid
grep -q '^velmorant-sim: scenario fixed, port pts/[0-9]*, also COM17 ' "$work/first" || { cat "$work/first"; failed=1; }
link=$(readlink "$VELMORANT_DOSDEVICES/com17")
port=$(sed -nE 's/.* port (pts\/[0-9]+),.*/\1/p' "$work/first")
expect 1 "^velmorant-sim: COM17 is in use by another velmorant-sim \\(process $first, port $port\\)$" --link com17
[ "$(readlink "$VELMORANT_DOSDEVICES/com17")" = "$link" ] || { echo "FAILED: the first simulator's link was changed"; failed=1; }
kill -9 "$first"
wait "$first" 2>/dev/null
start second --link COM17
second=$simulator_pid
port=$(sed -nE 's/.* port (pts\/[0-9]+),.*/\1/p' "$work/second")
[ "$(readlink "$VELMORANT_DOSDEVICES/com17")" = "/dev/$port" ] || { echo "FAILED: the stale link was kept"; failed=1; }
kill -TERM "$second"
wait "$second" || { echo "FAILED: the second simulator did not end cleanly"; failed=1; }
[ -z "$(ls -A "$VELMORANT_DOSDEVICES")" ] || { echo "FAILED: left behind: $(ls -A "$VELMORANT_DOSDEVICES")"; failed=1; }
exit $failed
