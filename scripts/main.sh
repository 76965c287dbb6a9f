#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in, installs it for
# the user (~/.vst3) and decodes a generated demo recording through the
# installed bundle, as a DAW would load it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
JOBS="${ORVO_JOBS:-$(nproc)}"
DEMO="${ORVO_DEMO_DIR:-$BUILD/demo}"
VST3_DIR="${VST3_USER_DIR:-$HOME/.vst3}"

log() { echo "[main] $*"; }

SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
# The plug-in's build runs Steinberg's validator on the bundle; a failure stops here.
cmake --build "$BUILD" -j "$JOBS"
log "built into $BUILD"

# Install: a fresh copy replaces any older bundle.
BUNDLE="$BUILD/VST3/Release/Orvotool.vst3"
[[ -d "$BUNDLE" ]] || { log "no bundle at $BUNDLE"; exit 1; }
mkdir -p "$VST3_DIR"
rm -rf "$VST3_DIR/Orvotool.vst3.new"
cp -R "$BUNDLE" "$VST3_DIR/Orvotool.vst3.new"
rm -rf "$VST3_DIR/Orvotool.vst3"
mv "$VST3_DIR/Orvotool.vst3.new" "$VST3_DIR/Orvotool.vst3"
log "installed $VST3_DIR/Orvotool.vst3"

BIN="$BUILD/bin/Release"
find_tool() {
  local name="$1" p
  for p in "$BIN/$name" "$BUILD/tools/$name"; do
    [[ -x "$p" ]] && { echo "$p"; return 0; }
  done
  return 1
}
RENDER="$(find_tool orvo_render)" || { log "orvo_render was not built"; exit 1; }

# The demo: a generated capsule recording, decoded by the installed plug-in,
# then measured.
if DEMO_TOOL="$(find_tool orvo_demo)"; then
  mkdir -p "$DEMO"
  "$DEMO_TOOL" generate "$DEMO"
  INPUT="$DEMO/demo_capsules.wav"
  [[ -f "$INPUT" ]] || { log "orvo_demo generate wrote no $INPUT"; exit 1; }
  RENDERED="$DEMO/demo_decoded_plugin.wav"
  "$RENDER" --plugin "$VST3_DIR/Orvotool.vst3" "$INPUT" "$RENDERED"
  "$DEMO_TOOL" report "$DEMO" "$RENDERED"
else
  log "orvo_demo is not built: rendering a short test recording instead"
  mkdir -p "$DEMO"
  INPUT="$DEMO/capsules.wav"
  python3 - "$INPUT" <<'PY'
import math, struct, sys, wave
rate, seconds = 48000, 2
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(3); w.setsampwidth(2); w.setframerate(rate)
    # A 500 Hz source 40 degrees to the left: front cardioid, figure-of-eight
    # (positive to the left) and rear cardioid as a double M/S array hears it.
    th = math.radians(40)
    gains = (0.5 + 0.5 * math.cos(th), math.sin(th), 0.5 - 0.5 * math.cos(th))
    frames = bytearray()
    for i in range(rate * seconds):
        s = 0.3 * math.sin(2 * math.pi * 500 * i / rate)
        frames += struct.pack("<3h", *(int(32767 * g * s) for g in gains))
    w.writeframes(bytes(frames))
PY
  "$RENDER" --plugin "$VST3_DIR/Orvotool.vst3" "$INPUT" "$DEMO/rendered.wav"
fi
log "done"
