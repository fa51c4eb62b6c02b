#!/usr/bin/env bash
# Whole-program measurements against velmorant-sim at 19200 baud, on an X
# display (an Xvfb of its own):
#   program_bench.sh [--native PROGRAM] [--windows PROGRAM.exe --prefix WINEPREFIX]
#                    [--sim SIMULATOR] [--poll-seconds 60] [--long-seconds 3600]
#                    [--flood-seconds 600]
# For each program given: CPU time while polling as a share of one core (under
# Wine the program's wine process, wineserver and Wine's services of that
# prefix together), the polling period seen by the simulator minus (100 ms +
# the reply's time on the wire) as median and 99th percentile, the time from
# start until its window is painted, its peak memory (VmHWM), and a long run of
# replies without a speed field answered at once (memory and CPU per received
# byte per tenth of the run, which should stay flat), and a flooding device
# (the simulator's flood scenario, as fast as the line takes it: text without
# the identification for the first half, then a reply that never ends), with
# the program's memory and its CPU per byte it read for each tenth (growth
# should stay under 1 MB, CPU per byte flat), and at its end how long the
# program takes to end once its window is closed. A figure of 0 seconds skips a
# part. The polling figures are
# taken one program at a time, each in the same minute as bench/line_reader
# ("floor"), which reads the line byte by byte as the program does but has no
# window: both run at once, each with its own simulator, so that whatever else
# the machine does in that minute weighs on both; the machine's steal time in
# that minute is shown beside them. The long runs of both
# programs go on side by side, each with its own simulator. Nothing is asserted.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/support/x_server.sh
. "$root/tests/support/x_server.sh"
# shellcheck source=tests/support/simulator.sh
. "$root/tests/support/simulator.sh"
sim=$root/build/native/sim/velmorant-sim
first_paint=$root/build/native/bench/first_paint
line_reader=$root/build/native/bench/line_reader
native='' windows='' prefix='' poll_seconds=60 long_seconds=3600 flood_seconds=600
while [ $# -gt 0 ]; do
  case $1 in
    --native) native=$2; shift 2 ;;
    --windows) windows=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --sim) sim=$2; shift 2 ;;
    --poll-seconds) poll_seconds=$2; shift 2 ;;
    --long-seconds) long_seconds=$2; shift 2 ;;
    --flood-seconds) flood_seconds=$2; shift 2 ;;
    *) echo "program_bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$native$windows" ] || { echo "program_bench.sh: give --native and/or --windows" >&2; exit 2; }
[ -z "$windows" ] || [ -n "$prefix" ] || { echo "program_bench.sh: --windows needs --prefix" >&2; exit 2; }

work=$(mktemp -d)
xvfb_pid='' sim_pid='' program_pid='' floor_pid='' floor_sim_pid='' long_pids=()
stop_sim() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; sim_pid=; }
stop_floor() {
  [ -n "$floor_pid" ] && kill "$floor_pid" 2>/dev/null && wait "$floor_pid" 2>/dev/null
  [ -n "$floor_sim_pid" ] && kill "$floor_sim_pid" 2>/dev/null && wait "$floor_sim_pid" 2>/dev/null
  floor_pid='' floor_sim_pid=''
}
# A program is first_paint's child, not ours: its end is seen in /proc.
stop_program() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
  for _ in $(seq 100); do
    if [ -z "$program_pid" ] || [ ! -e "/proc/$program_pid" ]; then break; fi
    sleep 0.05
  done
  program_pid=''
}
cleanup() {
  local pid
  for pid in "${long_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  stop_program
  stop_sim
  stop_floor
  [ -n "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null
  x_server_stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT

x_server_start || { echo "program_bench.sh: Xvfb did not start" >&2; exit 1; }
xvfb_pid=$x_server_pid
export DISPLAY=$x_server_display

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

# The processes whose CPU time counts: the program, or under Wine every
# process of the prefix (wine's program process, wineserver, services).
counted_pids() {
  if [ "$kind" != windows ]; then
    echo "$program_pid"
    return
  fi
  for environ in /proc/[0-9]*/environ; do
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && basename "$(dirname "$environ")"
  done
}
ticks_of() {  # utime + stime of one process, in clock ticks
  local fields
  fields=$(sed -E 's/^.*\) //' "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
  local parts
  read -r -a parts <<<"$fields"
  echo $((parts[11] + parts[12]))
}
cpu_ticks() {  # the same for all counted processes
  local total=0 pid
  for pid in $(counted_pids); do total=$((total + $(ticks_of "$pid"))); done
  echo "$total"
}
program_process() {  # the process that runs the program's code
  if [ "$kind" != windows ]; then
    echo "$program_pid"
    return
  fi
  local pid
  for pid in $(counted_pids); do
    tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1 | grep -q 'velmorant-demo\.exe$' && { echo "$pid"; return; }
  done
}
memory_kb() { grep "^$1:" "/proc/$(program_process)/status" | awk '{print $2}'; }

# start_run SCENARIO_OPTIONS...: simulator, program, window, Connect. Each
# kind has its own files, so that both can run at once.
start_run() {
  local links=$work/links-$kind
  [ "$kind" = windows ] && links=$prefix/dosdevices
  mkdir -p "$links"
  requests=$work/requests-$kind.log
  rm -f "$requests"
  VELMORANT_DOSDEVICES=$links simulator_start "$work/sim-$kind.out" "$sim" --link COM17 --log "$requests" "$@"
  sim_pid=$simulator_pid
  # first_paint starts the program and reports its window and when it was mapped and painted.
  local start=$work/start-$kind.out
  if [ "$kind" = native ]; then
    VELMORANT_DOSDEVICES=$links "$first_paint" 'Velmorant Demo' "$program" >"$start" 2>&1 </dev/null
  else
    WINEPREFIX=$prefix WINEDEBUG=-all "$first_paint" 'Velmorant Demo' /usr/lib/wine/wine64 "$program" \
      >"$start" 2>&1 </dev/null
  fi
  program_pid=$(awk '$1 == "pid" { print $2 }' "$start")
  window_ms=$(awk '$1 == "painted" { printf "%.0f", $2 }' "$start")
  local window
  window=$(awk '$1 == "window" { print $2 }' "$start")
  [ -n "$window_ms" ] || { echo "program_bench.sh: $kind: no painted window:" >&2; cat "$start" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$window")"
  local border=$(((WIDTH - 260) / 2))
  local top=$((HEIGHT - 330 - border))
  sleep 0.5
  xdotool mousemove --window "$window" $((border + 60)) $((top + 50)) click 1
  [ "${expect_polling:-yes}" = yes ] || return 0
  for _ in $(seq 100); do grep -q '08' "$requests" && break; sleep 0.1; done
  grep -q '08' "$requests" || { echo "program_bench.sh: $kind: no polling after Connect" >&2; exit 1; }
}
end_run() { stop_program; stop_sim; [ "$kind" = windows ] && WINEPREFIX=$prefix wineserver -w; }

# start_floor: bench/line_reader against a ramp simulator of its own, polling
# until stop_floor (the time it is given is only a bound).
start_floor() {
  local links=$work/links-floor
  mkdir -p "$links"
  floor_requests=$work/requests-floor.log
  rm -f "$floor_requests"
  VELMORANT_DOSDEVICES=$links simulator_start "$work/sim-floor.out" "$sim" --link COM17 --log "$floor_requests" \
    --scenario ramp
  floor_sim_pid=$simulator_pid
  "$line_reader" "$(readlink "$links/com17")" $((poll_seconds + 600)) &
  floor_pid=$!
  for _ in $(seq 100); do grep -q '08' "$floor_requests" && break; sleep 0.1; done
  grep -q '08' "$floor_requests" || { echo "program_bench.sh: the floor does not poll" >&2; exit 1; }
}

# period_excess REQUEST_LOG: the polling periods minus 100 ms and the reply's
# 28 bytes at 10 bits each.
period_excess() {
  python3 - "$1" <<'PY'
import sys, statistics
times = [float(l.split()[0]) for l in open(sys.argv[1]) if l.split()[1].startswith("08")]
wire = 28 * 10 / 19200
excess = sorted((b - a - 0.100 - wire) * 1000 for a, b in zip(times, times[1:]))
if not excess: print("n/a n/a"); sys.exit()
p99 = excess[min(len(excess) - 1, int(round(0.99 * (len(excess) - 1))))]
print(f"{statistics.median(excess):.2f} {p99:.2f} {len(excess)}")
PY
}

# The machine's cpu line of /proc/stat: total and steal ticks. Steal is the
# time the hypervisor gave this machine's processors to others.
machine_ticks() { awk '$1 == "cpu" { total = 0; for (i = 2; i <= 9; i++) total += $i; print total, $9 }' /proc/stat; }

declare -A figure
measure_polling() {  # measure_polling KIND PROGRAM
  kind=$1 program=$2
  echo "== $kind and the floor: polling for $poll_seconds s (ramp at 19200 baud)" >&2
  start_floor
  start_run --scenario ramp
  sleep 2
  local t0 c0 f0 m0 s0 t1 c1 f1 m1 s1 hz median p99 count
  hz=$(getconf CLK_TCK)
  t0=$(now); c0=$(cpu_ticks); f0=$(ticks_of "$floor_pid"); read -r m0 s0 < <(machine_ticks)
  sleep "$poll_seconds"
  t1=$(now); c1=$(cpu_ticks); f1=$(ticks_of "$floor_pid"); read -r m1 s1 < <(machine_ticks)
  figure[$kind,steal]=$(calc "100 * ($s1 - $s0) / ($m1 - $m0 + ($m1 == $m0))")
  figure[$kind,cpu]=$(calc "100 * ($c1 - $c0) / $hz / ($t1 - $t0)")
  figure[$kind,floor_cpu]=$(calc "100 * ($f1 - $f0) / $hz / ($t1 - $t0)")
  figure[$kind,ratio]=-
  [ "$f1" -gt "$f0" ] && figure[$kind,ratio]=$(calc "($c1 - $c0) / ($f1 - $f0)")
  read -r median p99 count < <(period_excess "$requests")
  figure[$kind,median]=$median figure[$kind,p99]=$p99 figure[$kind,periods]=$count
  read -r median p99 count < <(period_excess "$floor_requests")
  figure[$kind,floor_median]=$median figure[$kind,floor_p99]=$p99
  figure[$kind,window]=$window_ms
  figure[$kind,hwm]=$(memory_kb VmHWM)
  end_run
  stop_floor
}

# long_run KIND PROGRAM: the tenths of the long run into $work/long-KIND;
# $work/long-KIND.polling appears once it polls. Meant for a subshell.
long_run() {
  kind=$1 program=$2
  trap 'end_run' EXIT
  trap 'exit 143' TERM
  start_run --scenario no-speed --fast
  : >"$work/long-$kind.polling"
  local tenth=$((long_seconds / 10)) i c_prev c_now polls_prev polls_now bytes hz
  [ "$tenth" -ge 1 ] || tenth=1
  hz=$(getconf CLK_TCK)
  c_prev=$(cpu_ticks); polls_prev=$(grep -c ' 08' "$requests")
  for i in $(seq 10); do
    sleep "$tenth"
    c_now=$(cpu_ticks); polls_now=$(grep -c ' 08' "$requests")
    bytes=$(((polls_now - polls_prev) * 28))
    [ "$bytes" -gt 0 ] || bytes=1
    printf '  %3d%%  RSS %6s kB  CPU %6.2f us/byte  (%d bytes)\n' $((i * 10)) "$(memory_kb VmRSS)" \
      "$(calc "($c_now - $c_prev) * 1000000 / $hz / $bytes")" "$bytes" >>"$work/long-$kind"
    c_prev=$c_now polls_prev=$polls_now
  done
}

# flood_run KIND PROGRAM: the tenths of the flood into $work/flood-KIND, like long_run.
flood_run() {
  kind=$1 program=$2
  trap 'end_run' EXIT
  trap 'exit 143' TERM
  expect_polling=no start_run --scenario flood --fast --flood-seconds $((flood_seconds / 2))
  : >"$work/flood-$kind.started"
  local tenth=$((flood_seconds / 10)) i c_prev c_now r_prev r_now rss_first rss bytes hz pid
  [ "$tenth" -ge 1 ] || tenth=1
  hz=$(getconf CLK_TCK)
  pid=$(program_process)
  read_bytes() { awk '$1 == "rchar:" { print $2 }' "/proc/$pid/io" 2>/dev/null || echo 0; }
  c_prev=$(cpu_ticks); r_prev=$(read_bytes); rss_first=''
  for i in $(seq 10); do
    sleep "$tenth"
    c_now=$(cpu_ticks); r_now=$(read_bytes); rss=$(memory_kb VmRSS)
    [ -n "$rss_first" ] || rss_first=$rss
    bytes=$((r_now - r_prev))
    [ "$bytes" -gt 0 ] || bytes=1
    printf '  %3d%%  RSS %6s kB (%+d kB)  CPU %6.3f us/byte  (%d bytes read)  %s\n' $((i * 10)) "$rss" \
      $((rss - rss_first)) "$(calc "($c_now - $c_prev) * 1000000 / $hz / $bytes")" "$bytes" \
      "$(grep -q ' 08' "$requests" && echo "polling" || echo "identifying")" >>"$work/flood-$kind"
    c_prev=$c_now r_prev=$r_now
  done
  # Then the window is closed from the keyboard, as a person would, while the
  # reply still floods in: the time until the program has ended.
  local asked waited=0
  asked=$(now)
  xdotool key alt+F4
  running() { [ -e "/proc/$program_pid" ] && ! grep -q '^State:.Z' "/proc/$program_pid/status" 2>/dev/null; }
  while running && [ "$waited" -lt 1000 ]; do
    sleep 0.01
    waited=$((waited + 1))
  done
  if running; then
    echo "  closing: the program had not ended 10 s after Alt+F4" >>"$work/flood-$kind"
  else
    printf '  closing: ended %.0f ms after Alt+F4\n' "$(calc "($(now) - $asked) * 1000")" >>"$work/flood-$kind"
  fi
}

kinds=()
[ -n "$native" ] && kinds+=(native)
[ -n "$windows" ] && kinds+=(windows)
program_of() { [ "$1" = native ] && echo "$native" || echo "$windows"; }

if [ "$poll_seconds" -gt 0 ]; then
  for kind in "${kinds[@]}"; do measure_polling "$kind" "$(program_of "$kind")"; done
fi

if [ "$long_seconds" -gt 0 ]; then
  echo "== $long_seconds s of replies without a speed field, answered at once: ${kinds[*]} side by side" >&2
  for kind in "${kinds[@]}"; do
    ( long_run "$kind" "$(program_of "$kind")" ) &
    long_pids+=($!)
    # One window at a time is started and clicked.
    until [ -e "$work/long-$kind.polling" ] || ! kill -0 "${long_pids[-1]}" 2>/dev/null; do sleep 0.2; done
  done
  for pid in "${long_pids[@]}"; do wait "$pid"; done
  long_pids=()
fi

if [ "$flood_seconds" -gt 0 ]; then
  echo "== $flood_seconds s of a flooding device: ${kinds[*]} one after the other" >&2
  for kind in "${kinds[@]}"; do
    ( flood_run "$kind" "$(program_of "$kind")" ) &
    long_pids+=($!)
    wait "${long_pids[-1]}"
  done
  long_pids=()
fi

row() { printf '%-46s' "$1"; shift; for k in "${kinds[@]}"; do printf '%14s' "${figure[$k,$1]}"; done; echo; }
if [ "$poll_seconds" -gt 0 ]; then
  echo
  printf '%-46s' ""; for k in "${kinds[@]}"; do printf '%14s' "$k"; done; echo

  row "CPU while polling, % of one core" cpu
  row "  the floor at the same time, %" floor_cpu
  row "  program / floor" ratio
  row "period - (100 ms + wire), median ms" median
  row "  the floor's at the same time, ms" floor_median
  row "period - (100 ms + wire), 99th percentile ms" p99
  row "  the floor's at the same time, ms" floor_p99
  row "periods measured" periods
  row "  steal time meanwhile, % of the machine" steal
  row "start to first painted window, ms" window
  row "peak memory (VmHWM), kB" hwm
fi
for k in "${kinds[@]}"; do
  [ "$long_seconds" -gt 0 ] || break
  echo "long run without speed, $k (per tenth of $long_seconds s):"
  cat "$work/long-$k" 2>/dev/null || echo "  (no figures: the run failed)"
done
for k in "${kinds[@]}"; do
  [ "$flood_seconds" -gt 0 ] || break
  echo "flooding device, $k (per tenth of $flood_seconds s; growth from the first tenth):"
  cat "$work/flood-$k" 2>/dev/null || echo "  (no figures: the run failed)"
done
