#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in, installs it for
# the user (the VST 3 bundle into ~/.vst3, the VST 2 module into ~/.lxvst) and
# decodes a generated demo recording through the installed bundle, as a DAW
# would load it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
JOBS="${ORVO_JOBS:-$(nproc)}"
DEMO="${ORVO_DEMO_DIR:-$BUILD/demo}"
VST3_DIR="${VST3_USER_DIR:-$HOME/.vst3}"
LXVST_DIR="${LXVST_USER_DIR:-$HOME/.lxvst}"

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

# The VST 2 module keeps its own tree (Orvotool/Contents/x86_64-linux/Orvotool.so
# with Contents/Resources beside it, where its editor finds the images) in the
# folder Linux VST 2 hosts search; they look into subfolders.
VST2_TREE="$BUILD/VST2/Orvotool"
[[ -f "$VST2_TREE/Contents/x86_64-linux/Orvotool.so" ]] || { log "no VST 2 module in $VST2_TREE"; exit 1; }
mkdir -p "$LXVST_DIR"
rm -rf "$LXVST_DIR/Orvotool.new"
cp -R "$VST2_TREE" "$LXVST_DIR/Orvotool.new"
rm -rf "$LXVST_DIR/Orvotool"
mv "$LXVST_DIR/Orvotool.new" "$LXVST_DIR/Orvotool"
log "installed $LXVST_DIR/Orvotool (VST 2)"

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
