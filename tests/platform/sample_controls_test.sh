#!/usr/bin/env bash
# Runs the controls sample on an X server of its own (Xvfb) through the X11
# display, and acts on it as a person would with xdotool: pastes a text that
# another program (xclip) holds into the field and types the rest, copies the
# field for xclip to read, clicks Connect, copies the message box with Ctrl+C,
# answers it with Enter, and closes the window with Alt+F4. Checks what the
# sample reports and its exit code, the cursor the X server shows while the
# sample has set IDC_APPSTARTING (read back with X_CURSOR), and saves a
# screenshot taken while the message box shows.
#   sample_controls_test.sh SAMPLE SCREENSHOT.png X_CURSOR
set -uo pipefail
sample=$1
shot=$2
x_cursor=$3
# shellcheck source=tests/support/x_server.sh
. "$(dirname "$0")/../support/x_server.sh"

out=$(mktemp)
sample_pid='' xvfb_pid=''
cleanup() {
  [ -n "$sample_pid" ] && kill "$sample_pid" >/dev/null 2>&1
  x_server_stop "$xvfb_pid"
  rm -f "$out" "$out.before.png" "$out.after.png"
}
trap cleanup EXIT

fail() {
  echo "sample_controls_test: $*" >&2
  echo "--- what the sample said:" >&2
  cat "$out" >&2
  exit 1
}

# wait_for PATTERN: until the sample's output has a line matching it (10 s at most).
wait_for() {
  for _ in $(seq 100); do
    grep -qE "$1" "$out" && return 0
    sleep 0.1
  done
  fail "no line matching '$1'"
}

x_server_start || fail "Xvfb did not start"
xvfb_pid=$x_server_pid
export DISPLAY=$x_server_display

VELMORANT_DISPLAY=x11 "$sample" >"$out" 2>&1 &
sample_pid=$!
wait_for '^window '
read -r edit_x edit_y < <(sed -n 's/^place edit //p' "$out")
read -r button_x button_y < <(sed -n 's/^place button //p' "$out")
read -r left top right bottom < <(sed -n 's/^window //p' "$out")

xdotool mousemove "$edit_x" "$edit_y" click 1
wait_for '^focus edit$'
# The clipboard both ways with another program: xclip holds "pts/" until the
# sample's copy takes the clipboard from it.
printf 'pts/' | xclip -selection clipboard -in || fail "xclip could not take the clipboard"
xdotool key ctrl+a ctrl+v
xdotool type --delay 20 '7'
xdotool key ctrl+a ctrl+c
# clipboard_is TEXT [TARGET]: what xclip reads from the clipboard, asked for in that form.
clipboard_is() {
  local seen=
  for _ in $(seq 50); do
    seen=$(xclip -selection clipboard -out -target "${2:-UTF8_STRING}" 2>/dev/null) && [ "$seen" = "$1" ] && return 0
    sleep 0.1
  done
  fail "xclip read '$seen' ($2) where '$1' was copied"
}
clipboard_is 'pts/7'
clipboard_is 'pts/7' STRING
xclip -selection clipboard -out -target TARGETS | grep -qx UTF8_STRING || fail "UTF8_STRING is not offered"
xdotool mousemove "$button_x" "$button_y"
sleep 0.3
arrow=$("$x_cursor") || fail "XFixes could not read the cursor"
xdotool click 1
wait_for '^clicked pts/7$'
xdotool search --sync --name '^Error$' >/dev/null || fail "no message box"
sleep 0.3
busy=$("$x_cursor") || fail "XFixes could not read the cursor"
[ "$busy" != "$arrow" ] || fail "IDC_APPSTARTING shows as the arrow: $busy"
# Ctrl+C in the box copies it in Windows' layout, lines ending in CR LF.
xdotool key ctrl+c
rule='---------------------------'
clipboard_is "$(printf '%s\r\nError\r\n%s\r\nError during open pts/7: Port\r\n%s\r\nOK   \r\n%s\r' \
  "$rule" "$rule" "$rule" "$rule")"
sleep 0.5  # let both windows finish painting before the picture
import -window root -crop "$((right - left + 20))x$((bottom - top + 20))+$((left - 10))+$((top - 10))" +repage "$shot" ||
  fail "no screenshot"
xdotool key Return
wait_for '^message box 1$'

# A window the server has lost (unmapped and mapped again) looks as it did.
window_shot() {
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$1" || fail "no screenshot $1"
}
sample_window=$(xdotool search --name '^Velmorant Controls$' | head -n 1)
[ -n "$sample_window" ] || fail "no sample window"
sleep 0.5
window_shot "$out.before.png"
xdotool windowunmap --sync "$sample_window"
xdotool windowmap --sync "$sample_window"
sleep 0.5
window_shot "$out.after.png"
difference=$(compare -metric AE "$out.before.png" "$out.after.png" null: 2>&1)
rm -f "$out.before.png" "$out.after.png"
[ "${difference%% *}" = "0" ] || fail "the window mapped again differs from before in $difference pixels"
xdotool key alt+F4
wait_for '^closed pts/7$'
wait "$sample_pid"
status=$?
sample_pid=
[ "$status" -eq 0 ] || fail "the sample ended with status $status"
echo "sample_controls_test: passed; screenshot in $shot"
