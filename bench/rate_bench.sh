#!/usr/bin/env bash
# How near the line's limit the program polls: velmorant-demo --headless
# --interval 0 against velmorant-sim at the line's rate (19200 baud), and in
# the same minute bench/line_reader, a minimal client that polls back to back
# with no window, against a simulator of its own, so that both meet the same
# load of the machine. For each: read-outs per second (from its simulator's
# request log) and CPU time per read-out over the same stretch of polling,
# and the program's own rate line.
# Goal: the program's rate at least 95% of the client's, its CPU per read-out
# within 1.5 times the client's. Nothing is asserted.
#   rate_bench.sh [--program PROGRAM] [--seconds 30] [--interval MS]
# With --interval (default 0) the program and the client both pause that long
# before each poll (100 is the program's default).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
program=$build/app/velmorant-demo
seconds=30 interval=0  # seconds: at least 6
while [ $# -gt 0 ]; do
  case $1 in
    --program) program=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --interval) interval=$2; shift 2 ;;
    *) echo "rate_bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
sim=$build/sim/velmorant-sim
line_reader=$build/bench/line_reader
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# start_sim NAME: a fixed-speed simulator logging its requests to NAME.log; prints its port.
start_sim() {
  mkdir -p "$work/links-$1"
  VELMORANT_DOSDEVICES=$work/links-$1 "$sim" --scenario fixed --link COM17 --log "$work/$1.log" >"$work/$1.sim" 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do grep -q '^velmorant-sim: scenario' "$work/$1.sim" && break; sleep 0.05; done
  sed -n 's/^velmorant-sim: scenario .*, port \(pts\/[0-9]*\).*/\1/p' "$work/$1.sim"
}

# cpu PID: the user and system clock ticks the process has used so far.
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# polls NAME: the polling requests in NAME.log so far.
polls() { grep -c '^[0-9.]* 08' "$work/$1.log"; }

start_sim program >/dev/null
client_port=$(start_sim client)
VELMORANT_DOSDEVICES=$work/links-program "$program" --headless --port COM17 --interval "$interval" \
  --duration "$seconds" >/dev/null 2>"$work/stderr" &
program_pid=$!
"$line_reader" "/dev/$client_port" "$seconds" "$interval" &
client_pid=$!
# Both are measured over the same stretch of polling: from 3 s after the
# start (the program's start-up, with the checks of its port, left out) to
# 1 s before the end.
sleep 3
program_cpu0=$(cpu "$program_pid") client_cpu0=$(cpu "$client_pid")
program_polls0=$(polls program) client_polls0=$(polls client)
start=$(date +%s.%N)
sleep $((seconds - 4))
program_cpu1=$(cpu "$program_pid") client_cpu1=$(cpu "$client_pid")
program_polls1=$(polls program) client_polls1=$(polls client)
end=$(date +%s.%N)
wait "$program_pid" "$client_pid"

echo "interval ${interval} ms, ${seconds} s each, side by side"
awk -v span="$(echo "$end - $start" | bc)" -v ticks="$(getconf CLK_TCK)" \
  -v pn="$((program_polls1 - program_polls0))" -v pc="$((program_cpu1 - program_cpu0))" \
  -v cn="$((client_polls1 - client_polls0))" -v cc="$((client_cpu1 - client_cpu0))" 'BEGIN {
  printf "over %.1f s of polling:\n", span
  printf "program: %6.2f read-outs/s (%d), CPU %.2f s, %.3f ms per read-out\n", pn / span, pn, pc / ticks, pn ? 1000 * pc / ticks / pn : 0
  printf "client:  %6.2f read-outs/s (%d), CPU %.2f s, %.3f ms per read-out\n", cn / span, cn, cc / ticks, cn ? 1000 * cc / ticks / cn : 0
  if (cn > 0 && pn > 0 && cc > 0)
    printf "ratio: rate %.1f%% of the client'"'"'s (goal >= 95%%), CPU per read-out %.2fx the client'"'"'s (goal <= 1.5x)\n", 100 * pn / cn, (pc / pn) / (cc / cn)
}'
grep "read-outs in" "$work/stderr" | sed 's/^/program says: /'
