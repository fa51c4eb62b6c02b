#!/usr/bin/env bash
# How near the line's limit the program polls: velmorant-demo --headless
# --interval 0 against velmorant-sim at the line's rate (19200 baud), and in
# the same minute bench/line_reader, a minimal client that polls back to back
# with no window, against a simulator of its own, so that both meet the same
# load of the machine. For each: read-outs per second (from its simulator's
# request log), CPU time per read-out, and the program's own rate line.
# Goal: the program's rate at least 95% of the client's, its CPU per read-out
# within 1.5 times the client's. Nothing is asserted.
#   rate_bench.sh [--program PROGRAM] [--seconds 30] [--interval MS]
# With --interval (default 0) the program and the client both pause that long
# before each poll (100 is the program's default).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
program=$build/app/velmorant-demo
seconds=30 interval=0
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

# cpu_of COMMAND...: runs it (its standard error to stderr) and prints the user and system seconds it took.
cpu_of() {
  python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print(usage.ru_utime + usage.ru_stime)' "$@" 2>>"$work/stderr"
}

start_sim program >/dev/null
client_port=$(start_sim client)
VELMORANT_DOSDEVICES=$work/links-program cpu_of \
  "$program" --headless --port COM17 --interval "$interval" --duration "$seconds" >"$work/program.cpu" &
program_pid=$!
cpu_of \
  "$line_reader" "/dev/$client_port" "$seconds" "$interval" >"$work/client.cpu" &
client_pid=$!
wait "$program_pid" "$client_pid"

# rate NAME: polls per second over the polling requests of NAME.log, and their count.
rate() {
  awk '$2 ~ /^08/ { if (!n) first = $1; last = $1; n++ } END { if (n > 1) printf "%.2f %d\n", (n - 1) / (last - first), n; else print "0 0" }' "$work/$1.log"
}
read -r program_rate program_polls < <(rate program)
read -r client_rate client_polls < <(rate client)
program_cpu=$(cat "$work/program.cpu")
client_cpu=$(cat "$work/client.cpu")
echo "interval ${interval} ms, ${seconds} s each, side by side"
awk -v pr="$program_rate" -v pn="$program_polls" -v pc="$program_cpu" -v cr="$client_rate" -v cn="$client_polls" -v cc="$client_cpu" 'BEGIN {
  printf "program: %6.2f read-outs/s (%d), CPU %.3f s, %.3f ms per read-out\n", pr, pn, pc, pn ? 1000 * pc / pn : 0
  printf "client:  %6.2f read-outs/s (%d), CPU %.3f s, %.3f ms per read-out\n", cr, cn, cc, cn ? 1000 * cc / cn : 0
  if (cr > 0 && cn > 0 && pn > 0 && cc > 0)
    printf "ratio: rate %.1f%% of the client'"'"'s (goal >= 95%%), CPU per read-out %.2fx the client'"'"'s (goal <= 1.5x)\n", 100 * pr / cr, (pc / pn) / (cc / cn)
}'
grep "read-outs in" "$work/stderr" | sed 's/^/program says: /'
