#!/usr/bin/env bash
# Refreshes the README's pictures: docs/editor.png (the editor opened on a
# private Xvfb server with default settings and live meters), docs/polar.png
# (orvotool's drawing of the default decode's polar patterns) and
# docs/monitor-editor.png (the monitor's editor from its window test: 5.1, the
# head turned 30 degrees, a notice). Builds what it needs first.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
  SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
fi
cmake --build "$BUILD" --target Orvotool editor_window_host orvotool monitor_view_test
mkdir -p "$ROOT/docs"
bash "$ROOT/tests/editor/editor_window_test.sh" "$BUILD/bin/Release/editor_window_host" \
  "$ROOT/docs/editor.png" "$BUILD/docs_editor_200.png"
rm -f "$ROOT/docs/editor_about.png"
"$BUILD/bin/Release/orvotool" --plugin "$BUILD/VST3/Release/Orvotool.vst3" polar --force "$ROOT/docs/polar.png"
(cd "$BUILD/tests/editor" && xvfb-run -a -s "-screen 0 2000x1100x24 -noreset" "$BUILD/bin/Release/monitor_view_test" >/dev/null)
cp "$BUILD/tests/editor/monitor-editor.png" "$ROOT/docs/monitor-editor.png"
echo "docs/editor.png, docs/polar.png and docs/monitor-editor.png refreshed"
