#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the engine suites once more under AddressSanitizer and UBSan (overruns,
#      undefined behaviour at every sample rate and format);
#   2. the full build (engine, plug-in, tools) and every suite, Steinberg's
#      validator and the Ardour scan among them;
#   3. the Windows modules, cross-built and checked under Wine
#      (scripts/test-windows.sh; ORVO_WINDOWS=0 leaves them out).
# Extra arguments go to the Linux ctest run (e.g. -R Process).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
ASAN_BUILD="${ORVO_ASAN_BUILD_DIR:-$BUILD-asan}"
TSAN_BUILD="${ORVO_TSAN_BUILD_DIR:-$BUILD-tsan}"
JOBS="${ORVO_JOBS:-$(nproc)}"

SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
start=$(date +%s)

echo "[test] engine under AddressSanitizer and UBSan"
cmake -S "$ROOT" -B "$ASAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DORVO_SANITIZE=ON -DORVO_BUILD_PLUGIN=OFF -DORVO_BUILD_BENCH=OFF -DORVO_BUILD_TOOLS=OFF >/dev/null
cmake --build "$ASAN_BUILD" -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$ASAN_BUILD" --output-on-failure -j "$JOBS" -L engine

# States loaded while the audio runs, under ThreadSanitizer: clang 14 and a
# build of only that suite (the processor, the engine and the SDK parts it uses).
echo "[test] processor under ThreadSanitizer"
tsan_start=$(date +%s)
TSAN_FLAGS="-fsanitize=thread -fno-omit-frame-pointer -g"
CC=clang-14 CXX=clang++-14 cmake -S "$ROOT" -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVST3_SDK_DIR="$SDK" -DORVO_BUILD_BENCH=OFF -DORVO_BUILD_TOOLS=OFF \
      -DCMAKE_C_FLAGS="$TSAN_FLAGS" -DCMAKE_CXX_FLAGS="$TSAN_FLAGS" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$TSAN_BUILD" -j "$JOBS" --target processor_concurrency_test
TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
  ctest --test-dir "$TSAN_BUILD" --output-on-failure --timeout 300 -R '^ProcessorConcurrency\.'
echo "[test] ThreadSanitizer run finished in $(( $(date +%s) - tsan_start )) s"

echo "[test] full build"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
cmake --build "$BUILD" -j "$JOBS"
echo "[test] builds finished in $(( $(date +%s) - start )) s"
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"

if [[ "${ORVO_WINDOWS:-1}" != 0 ]]; then
  echo "[test] Windows modules"
  bash "$ROOT/scripts/test-windows.sh"
fi
echo "[test] all stages finished in $(( $(date +%s) - start )) s"
