#!/usr/bin/env bash
# Runs the editor window host on a private Xvfb server.
#   editor_window_test.sh <editor_window_host> <screenshot.png> <screenshot at 200 %.png>
set -euo pipefail
if [[ -z "${ORVO_IN_XVFB:-}" ]]; then
  command -v xvfb-run >/dev/null || { echo "xvfb-run missing (scripts/deps.sh installs xvfb)"; exit 1; }
  exec env ORVO_IN_XVFB=1 xvfb-run -a -s "-screen 0 2000x1100x24 -noreset" "$0" "$@"
fi
command -v xdotool >/dev/null || { echo "xdotool missing (scripts/deps.sh installs it)"; exit 1; }
exec "$1" "$2" "$3"
