#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
JOBS="${ORVO_JOBS:-$(nproc)}"

SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
start=$(date +%s)
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
cmake --build "$BUILD" -j "$JOBS"
echo "[test] build finished in $(( $(date +%s) - start )) s"
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
