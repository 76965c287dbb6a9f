#!/usr/bin/env bash
# The Windows stage of the tests: cross-builds the Windows modules with
# MinGW-w64 into build-win/ and checks them on this machine: their import and
# export tables, and under Wine Steinberg's validator (normal and extensive)
# and a decode of the demo recording that must equal the Linux module's.
# The Linux build provides the editor art, the engine's built-in
# head-related responses (written by a Linux program), the demo recording and its Linux
# decode (by the same render host, built for Linux) and the Linux editor's
# screenshot that the Windows editor's picture is compared with; it is brought
# up to date first (cheap after scripts/test.sh's Linux stage).
# Extra arguments go to ctest (e.g. -R validator).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
WIN_BUILD="${ORVO_WIN_BUILD_DIR:-$ROOT/build-win}"
JOBS="${ORVO_JOBS:-$(nproc)}"

SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
start=$(date +%s)

echo "[test-windows] Linux reference: the demo recording decoded by the Linux module"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target Orvotool orvotool render_host orvo_art orvo_hrtf editor_window_host
ctest --test-dir "$BUILD" --output-on-failure -L '^windows-reference$'
ctest --test-dir "$BUILD" --output-on-failure -R '^editor_window$'

echo "[test-windows] cross build"
cmake -S "$ROOT" -B "$WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/OrvoMinGW64Toolchain.cmake" \
      -DORVO_ART_DIR="$BUILD/resources/art" \
      -DORVO_HRTF_SOURCE="$BUILD/source/engine/sfm_hrir_builtin.cpp" \
      -DORVO_REFERENCE_DEMO_DIR="$BUILD/tests/windows/reference" >/dev/null
cmake --build "$WIN_BUILD" -j "$JOBS"
echo "[test-windows] built in $(( $(date +%s) - start )) s"
ctest --test-dir "$WIN_BUILD" --output-on-failure -j "$JOBS" "$@"
echo "[test-windows] finished in $(( $(date +%s) - start )) s"
