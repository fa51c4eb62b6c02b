#!/usr/bin/env bash
# The files the programs write, planted by another user in a shared folder:
# a link to a file of the user running them, a file of another user (nobody)
# and a FIFO. Each program refuses each at start, in its own words, with
# nothing written anywhere and without waiting (a FIFO's open would wait for
# a reader, with the stop signals blocked). Runs as root.
#   writers_test.sh PROGRAM SIM
set -u
program=$1
sim=$2
work=$(mktemp -d)
chmod 0755 "$work"  # nobody must reach the planted files
trap 'rm -rf "$work"' EXIT
failures=0
export VELMORANT_DISPLAY=headless VELMORANT_DOSDEVICES=$work/links
mkdir "$work/links"
lock=$work/links/com9.velmorant-sim.lock

plant() {  # plant KIND PATH
  rm -f "$2"
  case $1 in
    link) ln -s "$work/mine" "$2" ;;
    foreign) printf 'theirs\n' >"$2" && chown nobody "$2" ;;
    fifo) mkfifo "$2" ;;
  esac
}

# KIND|STATUS|ARGUMENTS (F: the planted path)|stderr
while IFS='|' read -r kind status arguments message; do
  file=$work/planted
  [ "${arguments#*--link}" != "$arguments" ] && file=$lock
  printf 'kept\n' >"$work/mine"
  plant "$kind" "$file"
  read -r -a words <<<"${arguments//F/$file}"
  timeout -k 5 20 "${words[@]}" >"$work/out" 2>"$work/err" </dev/null
  got=$?
  expected=${message//F/$file}
  if [ "$got" -ne "$status" ] || ! grep -qxF -- "$expected" "$work/err"; then
    echo "FAILED: $kind: $arguments: exit status $got (not $status), stderr:" >&2
    cat "$work/err" >&2
    failures=$((failures + 1))
  fi
  if [ "$(cat "$work/mine")" != kept ] || { [ "$kind" = foreign ] && [ "$(cat "$file")" != theirs ]; }; then
    echo "FAILED: $kind: $arguments: wrote into the planted file" >&2
    failures=$((failures + 1))
  fi
  rm -f "$file"
done <<EOF2
link|2|$program --trace F|velmorant-demo: the trace file F is a link: choose another path
foreign|2|$program --trace F|velmorant-demo: the trace file F belongs to another user: choose another path
fifo|2|$program --trace F|velmorant-demo: cannot write the trace file F: not a regular file
link|1|$sim --tap /dev/null --record F|velmorant-sim: the record F is a link: choose another path
foreign|1|$sim --tap /dev/null --record F|velmorant-sim: the record F belongs to another user: choose another path
fifo|1|$sim --tap /dev/null --record F|velmorant-sim: cannot write the record F: not a regular file
link|1|$sim --log F|velmorant-sim: the log F is a link: choose another path
foreign|1|$sim --log F|velmorant-sim: the log F belongs to another user: choose another path
fifo|1|$sim --log F|velmorant-sim: cannot open the log F: not a regular file
fifo|1|$sim --replay F|velmorant-sim: F: not a regular file
link|1|$sim --link COM9|velmorant-sim: F is a link: remove it or choose another link folder
foreign|1|$sim --link COM9|velmorant-sim: F belongs to another user: remove it or choose another link folder
EOF2
# A new file is the user's alone, whatever the umask: a trace holds a
# vehicle's data.
(umask 0 && "$sim" --tap /dev/null --record "$work/new.txt" >/dev/null 2>&1)
if [ "$(stat -c %a "$work/new.txt")" != 600 ]; then
  echo "FAILED: a new file has mode $(stat -c %a "$work/new.txt"), not 600" >&2
  failures=$((failures + 1))
fi
exit $((failures > 0))
