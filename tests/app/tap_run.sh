#!/usr/bin/env bash
# Runs a command against velmorant-sim --tap in front of a second simulator,
# as a user records a real interface:
#   tap_run.sh SIM LINK_FOLDER RECORD [SCENARIO_OPTIONS...] -- COMMAND [ARGS...]
# The second simulator serves the scenario on a pseudo-terminal of its own;
# the tap links its port as COM17 in LINK_FOLDER (through with_sim.sh) and
# appends the transcript to RECORD. The exit status is the command's, or 1
# when a simulator misbehaved.
set -u
sim=$1
links=$2
record=$3
shift 3
scenario=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  scenario+=("$1")
  shift
done
shift
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/support/simulator.sh
. "$here/../support/simulator.sh"

output=$(mktemp)
device_pid=''
trap 'kill "$device_pid" 2>/dev/null; rm -f "$output"' EXIT
simulator_start "$output" "$sim" "${scenario[@]}"
device_pid=$simulator_pid
port=$simulator_port
if [ -z "$port" ]; then
  echo "tap_run.sh: the simulator behind the tap did not start:" >&2
  cat "$output" >&2
  exit 1
fi

"$here/../serial/with_sim.sh" "$sim" "$links" --tap "/dev/$port" --record "$record" -- "$@"
status=$?

if ! simulator_stop "$device_pid"; then
  echo "tap_run.sh: the simulator behind the tap failed:" >&2
  cat "$output" >&2
  status=1
fi
exit $status
