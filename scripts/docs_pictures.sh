#!/usr/bin/env bash
# Refreshes the README's pictures: docs/editor.png (the editor opened on a
# private Xvfb server with default settings and live meters) and docs/polar.png
# (orvotool's drawing of the default decode's polar patterns). Builds what it
# needs first.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
  SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
fi
cmake --build "$BUILD" --target Orvotool editor_window_host orvotool
mkdir -p "$ROOT/docs"
bash "$ROOT/tests/editor/editor_window_test.sh" "$BUILD/bin/Release/editor_window_host" \
  "$ROOT/docs/editor.png" "$BUILD/docs_editor_200.png"
rm -f "$ROOT/docs/editor_about.png"
"$BUILD/bin/Release/orvotool" --plugin "$BUILD/VST3/Release/Orvotool.vst3" polar --force "$ROOT/docs/polar.png"
echo "docs/editor.png and docs/polar.png refreshed"
