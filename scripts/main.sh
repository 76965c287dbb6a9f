#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in, installs it for
# the user (the VST 3 bundle into ~/.vst3, the VST 2 module into ~/.lxvst),
# installs orvotool into ~/.local/bin and decodes a generated demo recording
# through the installed bundle, as a DAW would load it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
JOBS="${ORVO_JOBS:-$(nproc)}"
DEMO="${ORVO_DEMO_DIR:-$BUILD/demo}"
VST3_DIR="${VST3_USER_DIR:-$HOME/.vst3}"
LXVST_DIR="${LXVST_USER_DIR:-$HOME/.lxvst}"

log() { echo "[main] $*"; }

# Copies 'src' to 'dir/name' beside any older copy, then puts it in the older
# one's place: a failed copy never leaves a half-installed plug-in.
install_fresh() {
  local src="$1" dir="$2" name="$3"
  mkdir -p "$dir"
  rm -rf "$dir/$name.new"
  cp -R "$src" "$dir/$name.new"
  rm -rf "$dir/$name"
  mv "$dir/$name.new" "$dir/$name"
}

SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
# The plug-in's build runs Steinberg's validator on the bundle; a failure stops here.
cmake --build "$BUILD" -j "$JOBS"
log "built into $BUILD"

# Install: a fresh copy replaces any older bundle.
BUNDLE="$BUILD/VST3/Release/Orvotool.vst3"
[[ -d "$BUNDLE" ]] || { log "no bundle at $BUNDLE"; exit 1; }
install_fresh "$BUNDLE" "$VST3_DIR" Orvotool.vst3
log "installed $VST3_DIR/Orvotool.vst3"

# The VST 2 module keeps its own tree (Orvotool/Contents/x86_64-linux/Orvotool.so
# with Contents/Resources beside it, where its editor finds the images) in the
# folder Linux VST 2 hosts search; they look into subfolders.
VST2_TREE="$BUILD/VST2/Orvotool"
[[ -f "$VST2_TREE/Contents/x86_64-linux/Orvotool.so" ]] || { log "no VST 2 module in $VST2_TREE"; exit 1; }
install_fresh "$VST2_TREE" "$LXVST_DIR" Orvotool
log "installed $LXVST_DIR/Orvotool (VST 2)"

# orvotool, the command-line decoder, installed for the user.
TOOL="$BUILD/bin/Release/orvotool"
[[ -x "$TOOL" ]] || { log "orvotool was not built"; exit 1; }
BIN_DIR="${ORVO_BIN_DIR:-$HOME/.local/bin}"
mkdir -p "$BIN_DIR"
install -m 755 "$TOOL" "$BIN_DIR/orvotool.new"
mv "$BIN_DIR/orvotool.new" "$BIN_DIR/orvotool"
log "installed $BIN_DIR/orvotool"

# The demo: a generated capsule recording decoded by the installed plug-in,
# then measured; it fails when a source does not land in its own channel.
"$BIN_DIR/orvotool" --plugin "$VST3_DIR/Orvotool.vst3" demo --dir "$DEMO"
log "done: the decoded 5.1 recording is $DEMO/demo_decoded.wav"
