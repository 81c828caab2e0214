#!/usr/bin/env bash
# Runs mainwindow_atspi.py against the given program and simulator on a private session bus,
# with XDG_RUNTIME_DIR (the program's single-instance lock, the accessibility bus) in a private
# directory that is removed afterwards. The whole run is cut off after a fixed time.
#
#   run_mainwindow_atspi.sh path/to/KOVSL47 path/to/kov-simulator
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 KOVSL47 kov-simulator" >&2
  exit 2
fi
program=$1
simulator=$2
here=$(cd "$(dirname "$0")" && pwd)
limit=100

workdir=$(mktemp -d "${TMPDIR:-/tmp}/kov-e2e.XXXXXX")
trap 'rm -rf "$workdir"' EXIT
mkdir -m 700 "$workdir/runtime"
export XDG_RUNTIME_DIR="$workdir/runtime"

# timeout signals its whole process group, so the X server, the simulator and the program go
# with the script; the session bus ends when its only client does.
status=0
timeout --kill-after=10 "$limit" \
  dbus-run-session -- /usr/bin/python3 "$here/mainwindow_atspi.py" \
  --program "$program" --simulator "$simulator" \
  --config "$here/three-adapters.ini" --workdir "$workdir" || status=$?
if ((status == 124 || status == 137)); then
  echo "FAIL: the test did not end within $limit s" >&2
fi
exit "$status"
