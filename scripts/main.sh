#!/usr/bin/env bash
# The main job: installs what building needs, builds the plug-ins and
# orvotool (no tests), installs them for the user (the VST 3 bundle into
# ~/.vst3, the VST 2 module into ~/.lxvst, orvotool into ~/.local/bin),
# decodes a generated demo recording through the installed bundle as a DAW
# would load it, and ends with a short summary. Everything else the steps
# print (package manager, compiler, Steinberg's validator) goes to a log.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build-release}"
JOBS="${ORVO_JOBS:-$(nproc)}"
DEMO="${ORVO_DEMO_DIR:-$BUILD/demo}"
VST3_DIR="${VST3_USER_DIR:-$HOME/.vst3}"
LXVST_DIR="${LXVST_USER_DIR:-$HOME/.lxvst}"
BIN_DIR="${ORVO_BIN_DIR:-$HOME/.local/bin}"
PRESET_DIR="$VST3_DIR/presets/Veltrane/Orvotool"

# A ccache, when installed, serves this tree and the test builds alike.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"

mkdir -p "$BUILD"
LOG="$BUILD/main.log"
: > "$LOG"
start=$(date +%s)

say() { echo "[main] $*"; echo "[main] $*" >> "$LOG"; }

# Runs a step with its output in the log; on failure shows the log's end.
step() {
  local what="$1"; shift
  say "$what"
  if ! "$@" >> "$LOG" 2>&1; then
    echo "[main] failed: $what; the last lines of $LOG:" >&2
    tail -n 30 "$LOG" >&2
    exit 1
  fi
}

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

# The VST 3 SDK's path is the last line deps.sh prints.
deps() { bash "$ROOT/scripts/deps.sh" --run > "$BUILD/sdk-path"; }
step "installing what the build needs (apt-get, the VST 3 SDK)" deps
SDK="$(tail -n 1 "$BUILD/sdk-path")"

configure() {
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" \
        -DORVO_BUILD_TESTS=OFF -DORVO_BUILD_BENCH=OFF
}
# The bundle's build runs Steinberg's validator on it; a failure stops here.
build() { cmake --build "$BUILD" -j "$JOBS" --target Orvotool Orvotool_vst2 orvotool orvo_presets; }
step "configuring in $BUILD" configure
step "building the VST 3 and VST 2 plug-ins and orvotool (a few minutes the first time)" build

BUNDLE="$BUILD/VST3/Release/Orvotool.vst3"
VST2_TREE="$BUILD/VST2/Orvotool"
TOOL="$BUILD/bin/Release/orvotool"
for built in "$BUNDLE/Contents/x86_64-linux/Orvotool.so" "$VST2_TREE/Contents/x86_64-linux/Orvotool.so" "$TOOL"; do
  [[ -e "$built" ]] || { say "missing after the build: $built"; exit 1; }
done

# Installed stripped: the bundle's build strips its module already; the VST 2
# module and the tool carry their symbols in the build tree only.
install_all() {
  install_fresh "$BUNDLE" "$VST3_DIR" Orvotool.vst3
  # VST 2 hosts look into the subfolders of their VST 2 folders; the tree
  # keeps Contents/Resources beside the module, where its editor finds the art.
  install_fresh "$VST2_TREE" "$LXVST_DIR" Orvotool
  strip --strip-unneeded "$LXVST_DIR/Orvotool/Contents/x86_64-linux/Orvotool.so"
  # The factory presets where hosts list a plug-in's presets; presets a user
  # saved there stay.
  mkdir -p "$PRESET_DIR"
  cp "$BUILD/presets/"*.vstpreset "$PRESET_DIR/"
  mkdir -p "$BIN_DIR"
  install -m 755 -s "$TOOL" "$BIN_DIR/orvotool.new"
  mv "$BIN_DIR/orvotool.new" "$BIN_DIR/orvotool"
}
step "installing for ${USER:-$(id -un)}" install_all

# The demo: a generated capsule recording decoded by the installed plug-in,
# then measured; it fails when a source does not land in its own channel.
demo() { "$BIN_DIR/orvotool" --plugin "$VST3_DIR/Orvotool.vst3" demo --dir "$DEMO"; }
step "decoding the demo recording through the installed plug-in" demo
# The same decode heard on headphones, through the monitor in the same plug-in.
phones() {
  "$BIN_DIR/orvotool" --plugin "$VST3_DIR/Orvotool.vst3" render "$DEMO/demo_capsules.wav" --binaural \
    -o "$DEMO/demo_headphones.wav" --force -q
}
step "rendering the demo's 5.1 decode for headphones (Orvotool Monitor)" phones

elapsed=$(( $(date +%s) - start ))
cat <<EOF

Orvotool is installed:
  VST 3 plug-in   $VST3_DIR/Orvotool.vst3  (Orvotool, Orvotool Monitor for headphones,
                  Orvotool AmbiX for first-order Ambisonics)
  VST 2 plug-in   $LXVST_DIR/Orvotool  (hosts search it once it is on their
                  VST 2 path; in Ardour: Preferences > Plugins > VST > "Linux VST Path")
  factory presets $PRESET_DIR ($(ls "$PRESET_DIR" | wc -l) files; orvotool presets lists them)
  orvotool        $BIN_DIR/orvotool
Demo: five sources around the array, decoded to 5.1 by the installed plug-in:
  $(grep -E '^every source|does not lead|not loudest' "$LOG" | tail -n 1)
  capsules $DEMO/demo_capsules.wav
  decoded  $DEMO/demo_decoded.wav
  headphones $DEMO/demo_headphones.wav (the 5.1 decode through Orvotool Monitor)
EOF
case ":$PATH:" in
  *":$BIN_DIR:"*) ;;
  *) echo "Note: $BIN_DIR is not on your PATH: run orvotool as $BIN_DIR/orvotool, or add"
     echo "      export PATH=\"$BIN_DIR:\$PATH\" to your shell's start-up file." ;;
esac
echo "Took $((elapsed / 60)) min $((elapsed % 60)) s; everything the steps printed is in $LOG."
