#!/usr/bin/env bash
# Refreshes docs/editor.png, the README's picture of the editor: builds the
# plug-in and the editor window test host, opens the editor on a private Xvfb
# server with default settings and live meters, and keeps its screenshot.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
  SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
fi
cmake --build "$BUILD" --target Orvotool editor_window_host
mkdir -p "$ROOT/docs"
bash "$ROOT/tests/editor/editor_window_test.sh" "$BUILD/bin/Release/editor_window_host" \
  "$ROOT/docs/editor.png"
rm -f "$ROOT/docs/editor_about.png"
echo "docs/editor.png refreshed"
