#!/usr/bin/env bash
# Runs a command while velmorant-sim serves COM17:
#   with_sim.sh SIM LINK_FOLDER [SIM_OPTIONS...] -- COMMAND [ARGS...]
# The simulator links its pseudo-terminal as LINK_FOLDER/com17 (for the
# Windows tests, Wine's dosdevices folder). With --log FILE among the
# simulator's options, FILE starts empty and the command finds its name in
# VELMORANT_SIM_LOG. Afterwards it is stopped with
# SIGTERM and must have exited cleanly and removed its link. The exit status
# is the command's, or 1 when the simulator misbehaved.
set -u
sim=$1
folder=$2
shift 2
sim_options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  sim_options+=("$1")
  shift
done
shift  # the --
# shellcheck source=tests/support/simulator.sh
. "$(dirname "$0")/../support/simulator.sh"

for i in "${!sim_options[@]}"; do
  if [ "${sim_options[$i]}" = "--log" ]; then
    export VELMORANT_SIM_LOG=${sim_options[$((i + 1))]}
    : >"$VELMORANT_SIM_LOG"
  fi
done

mkdir -p "$folder"
output=$(mktemp)
trap 'rm -f "$output"' EXIT
VELMORANT_DOSDEVICES=$folder simulator_start "$output" "$sim" --link COM17 "${sim_options[@]}"
sim_started=$?
sim_pid=$simulator_pid
if [ "$sim_started" -ne 0 ]; then
  echo "with_sim.sh: the simulator did not start:" >&2
  cat "$output" >&2
  kill "$sim_pid" 2>/dev/null
  exit 1
fi
link_target=$(readlink "$folder/com17")

VELMORANT_DOSDEVICES=$folder "$@"
status=$?

simulator_stop "$sim_pid"
sim_status=$?
if [ "$sim_status" -ne 0 ]; then
  echo "with_sim.sh: the simulator ended with status $sim_status:" >&2
  cat "$output" >&2
  status=1
fi
if [ -L "$folder/com17" ] && [ "$(readlink "$folder/com17")" = "$link_target" ]; then
  echo "with_sim.sh: the simulator left its link $folder/com17 behind" >&2
  status=1
fi
exit $status
