#!/usr/bin/env bash
# Builds the program and runs it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORANT_BUILD:-$root/build}/native
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target velmorant-demo >/dev/null
exec "$build/app/velmorant-demo" "$@"
