#!/usr/bin/env bash
# Runs a command with VELMORANT_SMALL_FOLDER naming a tmpfs of KIB KiB that
# only it sees: mounted in a private mount namespace (this needs root), so
# that no folder of the machine is filled or touched.
#   in_small_tmpfs.sh KIB COMMAND [ARGUMENTS...]
set -eu
size=$1
shift
folder=$(mktemp -d)
trap 'rmdir "$folder"' EXIT
# shellcheck disable=SC2016
unshare --mount --propagation private sh -c \
  'mount -t tmpfs -o "size=$1k,mode=0700" velmorant-small "$2" && folder=$2 && shift 2 &&
   VELMORANT_SMALL_FOLDER=$folder "$@"' sh "$size" "$folder" "$@"
