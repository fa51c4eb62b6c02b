#!/usr/bin/env bash
# The program's polling period through a real USB serial driver (ftdi_sio on
# the emulator's adapter) against the same through a pseudo-terminal, in one
# boot of the drivers stage's virtual machine; velmorant-sim answers at 19200
# baud on both. Prints the median and 90th percentile of the time between
# speed requests as each simulator saw them. Nothing is asserted.
#   drivers_bench.sh [SECONDS]   default 30 per port
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORANT_BUILD:-$root/build}
"$root/scripts/drivers.sh" "$build/native" "$build" --bench "${1:-30}" ttyUSB0 | grep -E '^(bench|drivers|run_guest):'
