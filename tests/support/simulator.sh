# shellcheck shell=bash
# velmorant-sim for the scripts that talk to it: sourced, not run.
#   simulator_start OUTPUT SIM [OPTIONS...]
#       starts SIM with OPTIONS in the background, its output in OUTPUT, and
#       waits until it serves: it prints "velmorant-sim: scenario ..., port
#       pts/N" once its port (and with --link COMn, the COM link in
#       $VELMORANT_DOSDEVICES) is in place. Sets simulator_pid and
#       simulator_port (pts/N); returns 1 when the simulator ended or had not
#       started within 30 s (it is then left running for the caller to end).
#   simulator_stop PID
#       SIGTERM, then waits; returns the simulator's exit status.
# For a COM link, give the link folder in the environment:
#   VELMORANT_DOSDEVICES=$links simulator_start "$work/sim.out" "$sim" --link COM17

simulator_start() {
  local output=$1
  shift
  simulator_pid='' simulator_port=''
  "$@" >"$output" 2>&1 &
  simulator_pid=$!
  for _ in $(seq 600); do
    grep -q '^velmorant-sim: scenario' "$output" && break
    kill -0 "$simulator_pid" 2>/dev/null || break
    sleep 0.05
  done
  grep -q '^velmorant-sim: scenario' "$output" || return 1
  # shellcheck disable=SC2034 # for the caller
  simulator_port=$(sed -n 's/^velmorant-sim: scenario .*, port \(pts\/[0-9]*\).*/\1/p' "$output")
}

simulator_stop() {
  kill -TERM "$1"
  wait "$1"
}
