#!/usr/bin/env bash
# velmorant-sim --tap in front of a second simulator: a request written to the
# tap's port reaches the device with the line settings given to the tap's
# port, the reply is recorded, the device's hang-up is noted and ends the tap,
# and a device that is no serial line is refused.
#   tap_test.sh SIM
set -u
sim=$1
# shellcheck source=tests/support/simulator.sh
. "$(dirname "$0")/../support/simulator.sh"
work=$(mktemp -d)
device_pid='' tap_pid='' holder_pid=''
trap 'kill $device_pid $tap_pid $holder_pid 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

simulator_start "$work/device.out" "$sim" --scenario fixed --speed 88
device_pid=$simulator_pid
device=$simulator_port
before=$(stty -F "/dev/$device" -g)

# start_tap: starts a tap in front of the device, recording to record.txt.
start_tap() {
  simulator_start "$work/tap.out" "$sim" --tap "/dev/$device" --record "$work/record.txt"
  tap_pid=$simulator_pid
  tap=$simulator_port
  if [ -z "$device" ] || [ -z "$tap" ]; then
    cat "$work"/*.out >&2
    exit 1
  fi
}

start_tap
# The tap holds the line as the program does: its lock file names it.
lock_file=/run/lock/LCK..${device//\//_}
[ "$(tr -d ' \n' <"$lock_file" 2>/dev/null)" = "$tap_pid" ] || fail "the tap holds no lock file $lock_file"
# A pseudo-terminal keeps 8 data bits without parity whatever it is told:
# the baud rate and the stop bits are what it can show.
# The speed first, then the stop bits alone, each followed by a request.
stty -F "/dev/$tap" raw -echo 9600
printf 'atz\r' >"/dev/$tap"
stty -F "/dev/$tap" cstopb
printf 'ati\r' >"/dev/$tap"
for _ in $(seq 100); do
  grep -q '^[0-9.]* < .*simulator\\r>$' "$work/record.txt" && break
  sleep 0.05
done
settings=$(stty -F "/dev/$device" -a)
for wanted in "speed 9600 baud" " cstopb"; do
  grep -q -- "$wanted" <<<"$settings" || fail "the device's settings lack \"$wanted\": $settings"
done
# The two requests may come in one piece or two, as the tap read them.
sent=$(sed -n 's/^[0-9]*\.[0-9]\{6\} > //p' "$work/record.txt" | tr -d '\n')
[ "$sent" = 'atz\rati\r' ] || fail "recorded requests: $sent"
received=$(sed -n 's/^[0-9.]* < //p' "$work/record.txt" | tr -d '\n')
[ "$received" = '?\r>Velmorant VD-1 simulator\r>' ] || fail "recorded replies: $received"
grep -q '^# start velmorant-sim tap /dev/pts/' "$work/record.txt" || fail "no start note"
grep -q '^# opened$' "$work/record.txt" || fail "no open note"
kill -TERM "$tap_pid"
wait "$tap_pid" || fail "the tap ended with status $? on SIGTERM"
[ "$(stty -F "/dev/$device" -g)" = "$before" ] || fail "the tap left the device's settings changed"

start_tap
kill -TERM "$device_pid"
wait "$device_pid"
for _ in $(seq 100); do kill -0 "$tap_pid" 2>/dev/null || break; sleep 0.05; done
if kill -0 "$tap_pid" 2>/dev/null; then
  fail "the tap outlived its device"
else
  wait "$tap_pid" || fail "the tap ended with status $?"
fi
[ "$(tail -n 1 "$work/record.txt")" = "# hang-up" ] || fail "the hang-up is not the record's last line"
grep -q "hung up" "$work/tap.out" || fail "the tap did not say its device hung up"

# A line another program holds is refused untouched, in the program's words.
simulator_start "$work/held.out" "$sim" --scenario fixed || fail "the held line's simulator did not start"
device_pid=$simulator_pid
device=$simulator_port
sleep 30 <>"/dev/$device" &
holder_pid=$!
before=$(stty -F "/dev/$device" -g)
if timeout 10 "$sim" --tap "/dev/$device" --record "$work/refused.txt" >"$work/refused.out" 2>&1; then
  fail "a held line was tapped"
fi
grep -q "cannot tap /dev/$device: $device is in use by sleep (process $holder_pid)\." "$work/refused.out" ||
  fail "held line: $(cat "$work/refused.out")"
[ "$(stty -F "/dev/$device" -g)" = "$before" ] || fail "the refused tap changed the held line's settings"
kill "$holder_pid"

if "$sim" --tap /dev/null --record "$work/null.txt" >"$work/null.out" 2>&1; then
  fail "/dev/null was tapped"
fi
grep -q "cannot tap /dev/null: not a serial line" "$work/null.out" || fail "$(cat "$work/null.out")"
exit $((failures > 0))
