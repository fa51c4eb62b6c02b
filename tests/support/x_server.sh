# shellcheck shell=bash
# An X server of the caller's own (Xvfb), for the scripts that show windows:
# sourced, not run.
#   x_server_start      starts one on a display number that no other X server
#                       holds, waits until it answers, and sets x_server_pid
#                       and x_server_display (":N"); returns 1 when it did not
#                       answer within 60 s (it is then stopped again)
#   x_server_stop PID   ends the server PID (also a stopped one) and waits for it
# Xvfb picks the free number itself (-displayfd), so that servers started at
# the same moment by other scripts on the machine never meet on one number.
# The caller stops its servers, usually from its EXIT trap.

x_server_start() {
  local number_file number=''
  x_server_pid='' x_server_display=''
  number_file=$(mktemp) || return 1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  x_server_pid=$!
  for _ in $(seq 1200); do
    number=$(head -n 1 "$number_file")
    [ -n "$number" ] && DISPLAY=":$number" xdotool getdisplaygeometry >/dev/null 2>&1 && break
    number=''
    kill -0 "$x_server_pid" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$number_file"
  if [ -z "$number" ]; then
    x_server_stop "$x_server_pid"
    x_server_pid=''
    return 1
  fi
  # shellcheck disable=SC2034 # for the caller
  x_server_display=":$number"
}

x_server_stop() {
  [ -n "${1:-}" ] || return 0
  if kill -CONT "$1" 2>/dev/null; then kill "$1" 2>/dev/null; fi
  # Its end status after SIGTERM says nothing; the wait is for it to be gone.
  wait "$1" 2>/dev/null || return 0
}
