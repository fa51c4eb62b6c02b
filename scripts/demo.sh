#!/usr/bin/env bash
# Builds the program and runs it against velmorant-sim, which stands in for
# the interface and a car (a speed ramp) on the port "COM17":
#   scripts/demo.sh [SECONDS]
# With a display the program's window appears: press Connect. Without one
# the program runs headless (velmorant-demo --headless): Connect is pressed for
# you, every new read-out is printed, and it ends after SECONDS (default 20) or
# on Ctrl+C, saying how many read-outs it had.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/support/simulator.sh
. "$root/tests/support/simulator.sh"
build=${VELMORANT_BUILD:-$root/build}/native
seconds=${1:-20}
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target velmorant-demo velmorant-sim >/dev/null

# The simulator's COM17 link lives in a folder of this demo's own, so that
# nothing else on the machine is touched.
links=$build/demo-com-links
export VELMORANT_DOSDEVICES=$links
mkdir -p "$links"
sim_output=$(mktemp) simulator_pid=''
trap 'kill "$simulator_pid" 2>/dev/null; wait "$simulator_pid" 2>/dev/null; rm -f "$sim_output"' EXIT
simulator_start "$sim_output" "$build/sim/velmorant-sim" --link COM17 || { cat "$sim_output" >&2; exit 1; }
cat "$sim_output"

if [ -n "${DISPLAY:-}" ]; then
  echo "The window shows on $DISPLAY: press Connect to see the speed; close the window to end."
  "$build/app/velmorant-demo"
else
  echo "No display: the program runs headless for $seconds s (Ctrl+C ends it sooner)."
  trap '' INT  # Ctrl+C reaches the program, which ends cleanly and says its rate
  "$build/app/velmorant-demo" --headless --port COM17 --duration "$seconds"
fi
