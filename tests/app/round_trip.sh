#!/usr/bin/env bash
# The round trip: the program, traced, runs against velmorant-sim --tap in
# front of the ramp scenario until it has shown READOUTS read-outs; its trace
# and the tap's record must hold the same bytes, and the program run against
# velmorant-sim --replay of the record, at the recorded timing, must show the
# same read-outs.
#   round_trip.sh SIM LINK_FOLDER WORK_FOLDER READOUTS -- COMMAND [ARGS...]
# COMMAND runs program_tests. The files stay in WORK_FOLDER to look at.
set -u
sim=$1
links=$2
work=$3
export VELMORANT_READOUTS=$4
shift 5
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
export VELMORANT_WINDOW_SHOWS=$work/shows.txt VELMORANT_TRACE=$work/trace.txt VELMORANT_RECORD=$work/record.txt
rm -f "$VELMORANT_WINDOW_SHOWS" "$VELMORANT_TRACE" "$VELMORANT_RECORD"

"$here/tap_run.sh" "$sim" "$links" "$VELMORANT_RECORD" --scenario ramp -- "$@" --gtest_filter=WindowShows.* || exit 1
"$@" --gtest_filter=RoundTrip.* || exit 1
unset VELMORANT_TRACE
VELMORANT_REPLAY_TIMING=recorded "$here/replay_fixture.sh" "$sim" "$links" "$VELMORANT_RECORD" "$VELMORANT_READOUTS" -- "$@"
