#!/usr/bin/env bash
# The real program ended by the signals of a terminal and a session, on an X
# display: for SIGINT, SIGTERM and SIGHUP, once while idle and once while
# polling, it must end within 2 s with exit code 0, and while polling the
# simulator must have seen the port closed. Then: signals during the start,
# nohup, the X server stopped, a storm of signals, the X server gone.
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
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/support/x_server.sh
. "$root/tests/support/x_server.sh"
# shellcheck source=tests/support/simulator.sh
. "$root/tests/support/simulator.sh"
work=$(mktemp -d)
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

xvfb_pid='' own_xvfb='' sim_pid='' program_pid=''
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  x_server_stop "$xvfb_pid"
  x_server_stop "$own_xvfb"
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  x_server_start || { echo "program_signals.sh: Xvfb did not start" >&2; exit 1; }
  xvfb_pid=$x_server_pid
  export DISPLAY=$x_server_display
fi

links=$work/com-links
mkdir -p "$links"
log=$work/requests.log
VELMORANT_DOSDEVICES=$links simulator_start "$work/sim.out" "$sim" --link COM17 --log "$log" --scenario fixed
sim_started=$?
sim_pid=$simulator_pid
[ "$sim_started" -eq 0 ] || { cat "$work/sim.out" >&2; exit 1; }

# start_program: starts the program, as from a terminal (a background job of
# a script would ignore SIGINT), and waits for its window.
start_program() {
  lines_before=$(wc -l <"$log")
  VELMORANT_DOSDEVICES=$links env --default-signal=INT "$program" 2>"$work/program.err" &
  program_pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Velmorant Demo$' | head -n 1)
  [ -n "$window" ]
}

# poll: presses Connect and waits for the first polling request.
poll() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  local border=$(((WIDTH - 260) / 2))
  sleep 0.3
  xdotool mousemove --window "$window" $((border + 60)) $((HEIGHT - 330 - border + 50)) click 1
  for _ in $(seq 100); do tail -n +"$((lines_before + 1))" "$log" | grep -q ' 08' && return 0; sleep 0.1; done
  return 1
}

# ended TENTHS: true when the program ended within TENTHS of a second; its
# exit code is then in $status.
ended() {
  status=''
  for _ in $(seq "$1"); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
      wait "$program_pid"
      status=$?
      program_pid=''
      return 0
    fi
    sleep 0.1
  done
  kill -KILL "$program_pid"
  wait "$program_pid" 2>/dev/null
  program_pid=''
  return 1
}

port_closed() {
  for _ in $(seq 30); do tail -n 1 "$log" | grep -q '# closed' && return 0; sleep 0.1; done
  return 1
}

# run SIGNAL STATE: starts the program, brings it into STATE (idle or
# polling), sends SIGNAL and checks how it ends.
run() {
  local signal=$1 state=$2
  start_program || { fail "$signal $state: no window appeared"; return; }
  if [ "$state" = polling ]; then
    poll || fail "$signal $state: no polling after Connect"
  else
    sleep 0.3
  fi
  kill -"$signal" "$program_pid"
  if ! ended 20; then
    fail "$signal $state: the program did not end within 2 s"
  elif [ "$status" -ne 0 ]; then
    fail "$signal $state: the program ended with exit code $status"
  fi
  if [ "$state" = polling ]; then
    port_closed || fail "$signal $state: the simulator did not see the port closed"
  elif [ "$(wc -l <"$log")" -ne "$lines_before" ]; then
    fail "$signal $state: the port was opened"
  fi
  echo "-- $signal while $state: exit code ${status:-none}"
}

for signal in INT TERM HUP; do
  run "$signal" idle
  run "$signal" polling
done

# Signals at any moment of the start: the program catches SIGTERM from its own
# first step, before its window is made, and then ends as asked. Until the
# loader and the sanitizers' runtime are done no code of the program runs (on
# a busy machine, longer than the first moments here), and the signal ends it
# as the system does. So the program is held still when the signal is sent
# and looked at: caught, it must end with exit code 0; not yet caught, it must
# not have made a window.
catches_term() { # PID: SIGTERM (signal 15, bit 14) is among the caught signals
  local mask
  mask=$(sed -n 's/^SigCgt:\s*//p' "/proc/$1/status" 2>/dev/null)
  [ -n "$mask" ] && (((0x$mask >> 14) & 1))
}
before_code=0 before_window=0 with_window=0
for delay in 0.05 0.1 0.15 0.2 0.25 0.3 0.4 0.5 0.7 1 1.5 2; do
  VELMORANT_DOSDEVICES=$links env --default-signal=INT "$program" 2>/dev/null &
  program_pid=$!
  sleep "$delay"
  kill -STOP "$program_pid"
  caught=0 window=0
  catches_term "$program_pid" && caught=1
  xdotool search --pid "$program_pid" >/dev/null 2>&1 && window=1
  kill -TERM "$program_pid"
  kill -CONT "$program_pid"
  if [ "$caught" -eq 0 ]; then
    [ "$window" -eq 0 ] || fail "TERM after ${delay}s of the start: a window was made before SIGTERM was caught"
    before_code=$((before_code + 1))
    ended 50 || fail "TERM after ${delay}s of the start: the program did not end"
  elif ! ended 50; then
    fail "TERM after ${delay}s of the start: the program did not end"
  elif [ "$status" -ne 0 ]; then
    fail "TERM after ${delay}s of the start: exit code $status"
  fi
  [ "$caught" -eq 1 ] && [ "$window" -eq 0 ] && before_window=$((before_window + 1))
  [ "$window" -eq 1 ] && with_window=$((with_window + 1))
done
echo "-- TERM during the start: $before_code before the program's code ran, $before_window before its window, $with_window with it"

# Under nohup, SIGHUP is ignored and stays so; SIGTERM still ends it.
lines_before=$(wc -l <"$log")
VELMORANT_DOSDEVICES=$links nohup "$program" >/dev/null 2>&1 &
program_pid=$!
if timeout 30 xdotool search --sync --onlyvisible --name '^Velmorant Demo$' >/dev/null; then
  kill -HUP "$program_pid"
  sleep 1
  kill -0 "$program_pid" 2>/dev/null || fail "nohup: SIGHUP ended the program"
  kill -TERM "$program_pid" 2>/dev/null
  if ! ended 20 || [ "$status" -ne 0 ]; then fail "nohup: SIGTERM did not end the program with exit code 0"; fi
else
  fail "nohup: no window appeared"
fi
echo "-- HUP under nohup: done"

# The cases below stop or end the X server: one of their own each.
own_display() {
  x_server_start || return 1
  own_xvfb=$x_server_pid
  export DISPLAY=$x_server_display
}
end_own_display() {
  x_server_stop "$own_xvfb"
  own_xvfb=''
  export DISPLAY=$shared_display
}
shared_display=$DISPLAY

# The window's thread blocked in a call to an X server that was stopped: a
# close signal still ends the process within 6 s, and the port is free again.
for signal in TERM HUP; do
  own_display || fail "no X server of its own"
  if start_program && poll; then
    kill -STOP "$own_xvfb"
    sleep 0.3
    kill -"$signal" "$program_pid"
    ended 60 || fail "$signal with the X server stopped: the program did not end within 6 s"
    port_closed || fail "$signal with the X server stopped: the port was not closed"
  else
    fail "$signal with the X server stopped: no polling"
  fi
  end_own_display
  echo "-- $signal with the X server stopped: exit code ${status:-none}"
done

# A storm of 10,000 SIGTERMs under a limit of 64 processes (for root, as
# nobody: the limit does not bind root): the program ends with exit code 0 on
# a few threads.
own_display || fail "no X server of its own"
as_nobody=()
storm_program=$program
if [ "$(id -u)" -eq 0 ]; then
  as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  # The checkout may lie in a folder nobody cannot reach (a 0700 one, as
  # mktemp -d makes): nobody runs a copy from a folder of its own.
  mkdir -m 0755 "$work/nobody" && cp "$program" "$work/nobody/" && chmod 0711 "$work"
  storm_program=$work/nobody/$(basename "$program")
fi
# shellcheck disable=SC2016 # $0 is expanded by the inner shell
"${as_nobody[@]}" bash -c 'ulimit -u 64 && exec env --default-signal=INT "$0"' "$storm_program" 2>/dev/null &
program_pid=$!
if timeout 30 xdotool search --sync --onlyvisible --name '^Velmorant Demo$' >/dev/null; then
  most_threads=0
  for i in $(seq 10000); do
    kill -TERM "$program_pid" 2>/dev/null || break
    if [ $((i % 100)) -eq 1 ]; then
      threads=$(awk '/^Threads:/ {print $2}' "/proc/$program_pid/status" 2>/dev/null)
      [ "${threads:-0}" -gt "$most_threads" ] && most_threads=$threads
    fi
  done
  if ! ended 50 || [ "$status" -ne 0 ]; then fail "storm: exit code ${status:-none}, wanted 0"; fi
  [ "$most_threads" -le 6 ] || fail "storm: $most_threads threads"
  echo "-- storm of SIGTERMs: exit code ${status:-none}, at most $most_threads threads seen"
else
  fail "storm: no window appeared"
  kill -KILL "$program_pid" 2>/dev/null
fi
end_own_display

# The X server going away while polling: the program ends with the port
# closed and one line on stderr.
own_display || fail "no X server of its own"
if start_program && poll; then
  kill "$own_xvfb"
  ended 30 || fail "X server gone: the program did not end"
  [ "$status" = 1 ] || fail "X server gone: exit code ${status:-none}, not 1"
  port_closed || fail "X server gone: the port was not closed"
  [ "$(wc -l <"$work/program.err")" -eq 1 ] || fail "X server gone: stderr was: $(cat "$work/program.err")"
  echo "-- X server gone: exit code ${status:-none}, stderr: $(cat "$work/program.err")"
else
  fail "X server gone: no polling"
fi
end_own_display

echo "program_signals.sh: $failures failure(s)"
[ "$failures" -eq 0 ]
