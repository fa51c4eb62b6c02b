#!/usr/bin/env bash
# holder_scan.sh [BUILD_DIR] [COUNT] [FILES]: one open of a serial line and
# `velmorant-demo --list-ports`, first on the machine as it is, then with
# COUNT (2000) idle processes holding FILES (100) descriptors each, in one
# run; prints both figures (seconds, the median of 5) and their ratio. The
# idle processes are always ended. Run as root, the lock files go to a lock
# folder of the run's own.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
count=${2:-2000}
files=${3:-100}
program=$build/app/velmorant-demo
open_time=$build/bench/port_open_time
holders=$build/bench/idle_holders

# The simulator's line, linked as COM17, so that the listing has a port to ask about.
work=$(mktemp -d)
mkdir "$work/links"
export VELMORANT_DOSDEVICES=$work/links
"$build/sim/velmorant-sim" --link COM17 --scenario fixed >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -e "$work/links/com17" ] && break; sleep 0.05; done

list_ports_time() {
  local runs=() start end
  for _ in 1 2 3 4 5; do
    start=$(date +%s.%N)
    "$program" --list-ports >/dev/null 2>&1  # no port at all is an answer too
    end=$(date +%s.%N)
    runs+=("$(echo "$end - $start" | bc)")
  done
  printf '%s\n' "${runs[@]}" | sort -n | sed -n 3p
}

measure() {
  printf '%-28s open %ss, --list-ports %ss\n' "$1" "$("$open_time" 5)" "$(list_ports_time)"
}

trap 'kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
measure "idle machine:"
coproc HOLDERS { exec "$holders" "$count" "$files"; }
# shellcheck disable=SC2153  # set by coproc
holders_pid=$HOLDERS_PID
trap 'kill "$holders_pid" "$sim_pid" 2>/dev/null; wait "$holders_pid" "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
read -r ready started <&"${HOLDERS[0]}"
[ "$ready" = ready ] || { echo "holder_scan.sh: the idle processes did not start" >&2; exit 1; }
measure "$started processes x $files files:"
