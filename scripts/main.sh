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
DEMO_TOOL="$(find_tool orvo_demo)" || { log "orvo_demo was not built"; exit 1; }
mkdir -p "$DEMO"
"$DEMO_TOOL" generate "$DEMO"
INPUT="$DEMO/demo_capsules.wav"
[[ -f "$INPUT" ]] || { log "orvo_demo generate wrote no $INPUT"; exit 1; }
RENDERED="$DEMO/demo_decoded_plugin.wav"
"$RENDER" --plugin "$VST3_DIR/Orvotool.vst3" "$INPUT" "$RENDERED"
"$DEMO_TOOL" report "$DEMO" "$RENDERED"
log "done: the decoded 5.1 recording is $RENDERED"
