#!/usr/bin/env bash
# private-lock-folder.sh COMMAND...: runs COMMAND with a lock folder of its
# own over /run/lock (a private mount namespace and a fresh folder, removed
# afterwards), so that the tests' ports and lock files never meet the
# machine's, nor those of another test run at the same time, and a program
# that a test kills leaves nothing behind. Needs root; elsewhere the command
# runs with the machine's folder.
set -uo pipefail
if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
  exec "$@"
fi
folder=$(mktemp -d)
chmod 1777 "$folder"
# shellcheck disable=SC2016  # expanded by the inner shell
unshare -m --propagation private -- sh -c 'mount --bind "$1" /run/lock && shift && exec "$@"' sh "$folder" "$@"
status=$?
rm -rf "$folder"
exit "$status"
