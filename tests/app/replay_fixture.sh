#!/usr/bin/env bash
# A transcript replayed into the program: the program is run once against a
# simulator's scenario and once against velmorant-sim --replay of the
# transcript, and must show the same (program_tests' WindowShows test):
#   replay_fixture.sh SIM LINK_FOLDER TRANSCRIPT READOUTS [SCENARIO_OPTIONS...] -- COMMAND [ARGS...]
# COMMAND runs program_tests. A scenario of "--" alone skips the live run
# and compares with what VELMORANT_WINDOW_SHOWS holds already.
# VELMORANT_REPLAY_TIMING picks the replay's timing (linerate by default).
set -u
sim=$1
links=$2
transcript=$3
export VELMORANT_READOUTS=$4
shift 4
scenario=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  scenario+=("$1")
  shift
done
shift
with_sim=$(cd "$(dirname "$0")/../serial" && pwd)/with_sim.sh

if [ ${#scenario[@]} -gt 0 ]; then
  VELMORANT_WINDOW_SHOWS=$(mktemp)
  export VELMORANT_WINDOW_SHOWS
  trap 'rm -f "$VELMORANT_WINDOW_SHOWS"' EXIT
  "$with_sim" "$sim" "$links" "${scenario[@]}" -- "$@" --gtest_filter=WindowShows.* || exit 1
fi
VELMORANT_WINDOW_COMPARE=1 "$with_sim" "$sim" "$links" --replay "$transcript" \
  --replay-timing "${VELMORANT_REPLAY_TIMING:-linerate}" -- "$@" --gtest_filter=WindowShows.*
