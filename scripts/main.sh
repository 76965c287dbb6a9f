#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in, installs it for
# the user and decodes a generated demo recording.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
JOBS="${ORVO_JOBS:-$(nproc)}"

SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
cmake --build "$BUILD" -j "$JOBS"
echo "[main] built into $BUILD"
echo "[main] still to come: installing the plug-in and decoding the demo recording"
