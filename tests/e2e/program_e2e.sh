#!/usr/bin/env bash
# The program end to end, as a person uses it, on an X display:
#   program_e2e.sh --sim SIMULATOR --program PROGRAM [--wine PREFIX] [--out FOLDER]
# velmorant-sim (speed ramp) is linked as COM17, the real program is started
# (under Wine in PREFIX with --wine), Connect is clicked with xdotool, two
# screenshots must differ in the speed read-out, another group is typed and
# must be asked for, the window is closed with its close box, and the program
# must end with exit code 0 and the simulator must have seen the port closed.
# Uses $DISPLAY when set, else an Xvfb of its own. Screenshots go to FOLDER.
set -u

sim='' program='' prefix='' out=$PWD/e2e-screens
while [ $# -gt 0 ]; do
  case $1 in
    --sim) sim=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --wine) prefix=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "program_e2e.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ ! -x "$sim" ] || [ ! -e "$program" ]; then
  echo "program_e2e.sh: --sim and --program are needed" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/support/x_server.sh
. "$root/tests/support/x_server.sh"
# shellcheck source=tests/support/simulator.sh
. "$root/tests/support/simulator.sh"
mkdir -p "$out"
work=$(mktemp -d)
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
step() { echo "-- $*"; }

xvfb_pid='' sim_pid='' program_pid=''
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  x_server_stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  x_server_start || { echo "program_e2e.sh: Xvfb did not start" >&2; exit 1; }
  xvfb_pid=$x_server_pid
  export DISPLAY=$x_server_display
fi

if [ -n "$prefix" ]; then
  links=$prefix/dosdevices
  run_program() { "$root/scripts/wine-run.sh" "$prefix" "$program"; }
else
  links=$work/com-links
  run_program() { VELMORANT_DOSDEVICES=$links exec "$program"; }  # the program is $program_pid
fi

step "velmorant-sim linked as COM17"
mkdir -p "$links"
VELMORANT_DOSDEVICES=$links simulator_start "$work/sim.out" "$sim" --link COM17 --log "$work/requests.log"
sim_started=$?
sim_pid=$simulator_pid
[ "$sim_started" -eq 0 ] || { cat "$work/sim.out" >&2; exit 1; }

step "the program starts"
run_program &
program_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Velmorant Demo$' | head -n 1)
[ -n "$window" ] || { fail "no window named \"Velmorant Demo\" appeared"; exit 1; }
if [ -z "$prefix" ]; then
  "$root/tests/e2e/desktop_window.sh" "$window" "$program_pid" "$root/packaging/icons/velmorant-demo-SIZE.png" ||
    fail "the desktop cannot tell the window's program and icon"
fi

# Client coordinates: the frame around the 260 x 330 inside, with the
# caption on top (no frame at all when a window manager draws it outside).
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(((WIDTH - 260) / 2))
top=$((HEIGHT - 330 - border))
click() {  # click X Y, client coordinates
  xdotool mousemove --window "$window" $((border + $1)) $((top + $2)) click 1
}
shot() {  # shot NAME: the window as PNG
  import -window "$window" "$out/$1.png"
}
# The read-out's visible part: 220 wide from y 260 to the bottom of the inside.
readout() { convert "$out/$1.png" -crop "220x70+$((border + 20))+$((top + 260))" +repage "$out/$1-readout.png"; }

sleep 0.5
shot 1-started
step "Connect is clicked"
click 60 50
for _ in $(seq 100); do grep -q '0805\\r' "$work/requests.log" && break; sleep 0.1; done
grep -q '0805\\r' "$work/requests.log" || fail "no polling request after Connect"
sleep 1.5
shot 2-speed
sleep 1.5
shot 3-speed-later
readout 2-speed
readout 3-speed-later
difference=$(compare -metric AE "$out/2-speed-readout.png" "$out/3-speed-later-readout.png" null: 2>&1)
[ "${difference%% *}" != "0" ] || fail "the speed read-out did not change between two screenshots"
blank=$(convert "$out/2-speed-readout.png" -format '%[fx:standard_deviation]' info:)
[ "$blank" != "0" ] || fail "the speed read-out is blank"

step "group 02 is typed"
click 185 20
xdotool key --window "$window" End BackSpace BackSpace
xdotool type --window "$window" 02
for _ in $(seq 50); do grep -q '0802\\r' "$work/requests.log" && break; sleep 0.1; done
grep -q '0802\\r' "$work/requests.log" || fail "group 02 was not asked for after typing it"
shot 4-group-02

step "the window is closed with its close box"
xdotool mousemove --window "$window" $((WIDTH - border - 10)) $((top / 2 + border / 2)) click 1
status=''
for _ in $(seq 100); do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    wait "$program_pid"
    status=$?
    break
  fi
  sleep 0.1
done
program_pid_was=$program_pid
if [ -z "$status" ]; then
  fail "the program did not end within 10 s of the close box"
else
  program_pid=''
  [ "$status" -eq 0 ] || fail "the program ended with exit code $status"
fi
for _ in $(seq 30); do tail -n 1 "$work/requests.log" | grep -q '# closed' && break; sleep 0.1; done
tail -n 1 "$work/requests.log" | grep -q '# closed' || fail "the simulator did not see the port closed"

simulator_stop "$sim_pid"
sim_status=$?
sim_pid=''
[ "$sim_status" -eq 0 ] || fail "the simulator ended with status $sim_status"
cp "$work/requests.log" "$out/requests.log"

echo "program_e2e.sh: pid $program_pid_was, screenshots in $out, $failures failure(s)"
[ "$failures" -eq 0 ]
