#!/usr/bin/env bash
# The program headless against the simulator, and the same scenarios' recorded
# transcripts turned into the value log:
#   headless_run.sh SIM LINK_FOLDER FIXTURES -- PROGRAM...   (PROGRAM may start with an emulator)
# Each live run's CSV must hold the header, "connected" first, a read-out row
# per reply with the scenario's speeds, and "closed" and "stopped" last; the
# hang-up scenario adds a "lost" and a "back" row. The rows that --from-trace
# makes of the scenario's fixture must give the speeds the live run began with.
set -u
here=$(cd "$(dirname "$0")" && pwd)
sim=$1 links=$2 fixtures=$3
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# speeds CSV: the speed column of the read-out rows, one line.
speeds() { awk -F, 'NR > 1 && $7 == "\r" { printf "%s ", $5 }' "$1"; }
events() { awk -F, 'NR > 1 && $7 != "\r" { sub("\r", "", $7); printf "%s ", $7 }' "$1"; }

# run_live NAME SECONDS SIM_OPTIONS... -- PROGRAM...: a headless run of SECONDS into NAME.csv
run_live() {
  local name=$1 seconds=$2
  shift 2
  local sim_options=()
  while [ "$1" != "--" ]; do sim_options+=("$1"); shift; done
  shift
  "$here/../serial/with_sim.sh" "$sim" "$links" "${sim_options[@]}" -- \
    "$@" --headless --port COM17 --duration "$seconds" --csv "$work/$name.csv" >"$work/$name.out" 2>"$work/$name.err"
  local status=$?
  [ "$status" -eq 0 ] || fail "$name: exit status $status: $(cat "$work/$name.err")"
  head -n 1 "$work/$name.csv" | cmp -s - <(printf 'time,seconds,port,group,speed_kmh,reply,event\r\n') ||
    fail "$name: header: $(head -n 1 "$work/$name.csv")"
  grep -qE '^[0-9]+ read-outs in [0-9]+\.[0-9] s: [0-9]+\.[0-9] per second \(this line allows about [0-9]+\.[0-9] per second\)' \
    "$work/$name.err" || fail "$name: no rate line: $(cat "$work/$name.err")"
  # every row: a local time, seconds with three decimals, the port
  local malformed
  malformed=$(tail -n +2 "$work/$name.csv" |
    grep -vE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3},[0-9]+\.[0-9]{3},COM17,')
  [ -z "$malformed" ] || fail "$name: malformed rows: $malformed"
}

# The ramp: 5, 10, 15 ... km/h; each read-out printed once; the fixture's five the first five.
run_live ramp 3 --scenario ramp -- "$@"
live_speeds=$(speeds "$work/ramp.csv")
[[ $live_speeds == "5 10 15 20 25 "* ]] || fail "ramp: speeds $live_speeds"
[[ $(events "$work/ramp.csv") == "connected closed stopped " ]] || fail "ramp: events $(events "$work/ramp.csv")"
tr -d '\r' <"$work/ramp.out" >"$work/ramp.lines"  # the Windows program's standard output ends its lines with CR LF
if ! { grep -qx "Connected on COM17" "$work/ramp.lines" && grep -qx "15 km/h" "$work/ramp.lines"; }; then
  fail "ramp: printed $(head -c 300 "$work/ramp.out")"
fi
"$@" --from-trace "$fixtures/ramp.txt" --csv "$work/ramp-trace.csv" || fail "ramp: --from-trace"
trace_speeds=$(speeds "$work/ramp-trace.csv")
if [ -z "$trace_speeds" ] || [[ $live_speeds != "$trace_speeds"* ]]; then
  fail "ramp: trace speeds $trace_speeds, live $live_speeds"
fi

# Speed fields of every kind, the value log on standard output.
fields=64_32,01_96,FF_FF
run_live fields 2 --scenario fields --fields "${fields//_/ }" -- "$@"
"$@" --from-trace "$fixtures/fields.txt" --csv - >"$work/fields-trace.csv" || fail "fields: --from-trace"
[[ $(speeds "$work/fields.csv") == "50 2 650 650 "* ]] || fail "fields: speeds $(speeds "$work/fields.csv")"
[[ $(speeds "$work/fields.csv") == "$(speeds "$work/fields-trace.csv")"* ]] || fail "fields: trace $(speeds "$work/fields-trace.csv")"

# No speed field: read-out rows with an empty speed, the reply kept.
run_live no-speed 2 --scenario no-speed -- "$@"
awk -F, 'NR > 1 && $7 == "\r" { n++; if ($5 != "" || $6 == "") bad = 1 } END { exit bad || n < 2 }' "$work/no-speed.csv" ||
  fail "no-speed: rows $(head -c 400 "$work/no-speed.csv")"

# The interface lost after three blocks and back after 0.3 s.
run_live hang-up 4 --scenario hang-up --cycles 3 --replug-after 0.3 -- "$@"
[[ $(events "$work/hang-up.csv") == "connected lost back "* ]] || fail "hang-up: events $(events "$work/hang-up.csv")"
"$@" --from-trace "$fixtures/hang-up.txt" --csv "$work/hang-up-trace.csv" || fail "hang-up: --from-trace"
[[ $(events "$work/hang-up-trace.csv") == "connected lost "* ]] || fail "hang-up trace: events $(events "$work/hang-up-trace.csv")"
[[ $(speeds "$work/hang-up.csv") == "$(speeds "$work/hang-up-trace.csv")"* ]] || fail "hang-up: trace speeds"

# A malformed transcript is refused naming its line.
printf '# start x, 2026-01-01 00:00:00\n0.1 > ati\\r\nnonsense\n' >"$work/bad.txt"
"$@" --from-trace "$work/bad.txt" --csv "$work/bad.csv" 2>"$work/bad.err"
status=$?
if [ "$status" -ne 1 ] || ! grep -q "bad.txt:3: " "$work/bad.err"; then
  fail "malformed transcript: status $status, $(cat "$work/bad.err")"
fi

exit $((failures > 0))
