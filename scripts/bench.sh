#!/usr/bin/env bash
# Builds and runs the benchmarks; results are printed, nothing is asserted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORANT_BUILD:-$root/build}/native
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null
for program in "$build"/bench/*_bench; do
  echo "== $(basename "$program")"
  "$program" --benchmark_min_time=0.5
done
