#!/usr/bin/env bash
# The real program ended by the signals of a terminal and a session, on an X
# display: for SIGINT, SIGTERM and SIGHUP, once while idle and once while
# polling, it must end within 2 s with exit code 0, and while polling the
# simulator must have seen the port closed.
#   program_signals.sh --sim SIMULATOR --program PROGRAM
# Uses $DISPLAY when set, else an Xvfb of its own.
set -u

sim='' program=''
while [ $# -gt 0 ]; do
  case $1 in
    --sim) sim=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    *) echo "program_signals.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ ! -x "$sim" ] || [ ! -x "$program" ]; then
  echo "program_signals.sh: --sim and --program are needed" >&2
  exit 2
fi
work=$(mktemp -d)
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

xvfb_pid='' sim_pid='' program_pid=''
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  display=130
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.05; done
fi

links=$work/com-links
mkdir -p "$links"
log=$work/requests.log
VELMORANT_DOSDEVICES=$links "$sim" --link COM17 --log "$log" --scenario fixed >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do grep -q '^velmorant-sim: scenario' "$work/sim.out" && break; sleep 0.05; done
grep -q '^velmorant-sim: scenario' "$work/sim.out" || { cat "$work/sim.out" >&2; exit 1; }

# run SIGNAL STATE: starts the program, brings it into STATE (idle or
# polling), sends SIGNAL and checks how it ends.
run() {
  local signal=$1 state=$2 lines_before status='' window
  lines_before=$(wc -l <"$log")
  VELMORANT_DOSDEVICES=$links "$program" &
  program_pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Velmorant Demo$' | head -n 1)
  [ -n "$window" ] || { fail "$signal $state: no window appeared"; return; }
  if [ "$state" = polling ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    local border=$(((WIDTH - 260) / 2))
    sleep 0.3
    xdotool mousemove --window "$window" $((border + 60)) $((HEIGHT - 330 - border + 50)) click 1
    for _ in $(seq 100); do tail -n +"$((lines_before + 1))" "$log" | grep -q ' 08' && break; sleep 0.1; done
    tail -n +"$((lines_before + 1))" "$log" | grep -q ' 08' || fail "$signal $state: no polling after Connect"
  else
    sleep 0.3
  fi
  kill -"$signal" "$program_pid"
  for _ in $(seq 20); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
      wait "$program_pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  if [ -z "$status" ]; then
    fail "$signal $state: the program did not end within 2 s"
    kill -KILL "$program_pid"
    wait "$program_pid" 2>/dev/null
  elif [ "$status" -ne 0 ]; then
    fail "$signal $state: the program ended with exit code $status"
  fi
  program_pid=''
  if [ "$state" = polling ]; then
    for _ in $(seq 30); do tail -n 1 "$log" | grep -q '# closed' && break; sleep 0.1; done
    tail -n 1 "$log" | grep -q '# closed' || fail "$signal $state: the simulator did not see the port closed"
  elif [ "$(wc -l <"$log")" -ne "$lines_before" ]; then
    fail "$signal $state: the port was opened"
  fi
  echo "-- $signal while $state: exit code ${status:-none}"
}

for signal in INT TERM HUP; do
  run "$signal" idle
  run "$signal" polling
done
echo "program_signals.sh: $failures failure(s)"
[ "$failures" -eq 0 ]
