#!/usr/bin/env bash
# Builds the release modules and packs the archives a user downloads, into
# out/ (ORVO_PACKAGE_DIR to change):
#   Orvotool-<version>-linux-x86_64.tar.gz  VST 3 bundle and VST 2 module folder
#   Orvotool-<version>-windows-x64.zip      VST 3 bundle and VST 2 DLL
# each with the licence and a short install note. The VST 2 module goes in
# when the build makes one. ORVO_PACKAGE_PLATFORMS="linux" (or "windows")
# packs one of the two. The Windows bundle's moduleinfo.json is written by the
# SDK's moduleinfotool under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVO_BUILD_DIR:-$ROOT/build}"
WIN_BUILD="${ORVO_WIN_BUILD_DIR:-$ROOT/build-win}"
OUT="${ORVO_PACKAGE_DIR:-$ROOT/out}"
JOBS="${ORVO_JOBS:-$(nproc)}"
PLATFORMS="${ORVO_PACKAGE_PLATFORMS:-linux windows}"

log() { echo "[package] $*"; }
die() { echo "[package] $*" >&2; exit 1; }

VERSION="$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' "$ROOT/CMakeLists.txt" | head -n 1)"
[[ -n "$VERSION" ]] || die "no project VERSION in CMakeLists.txt"
SDK="$(bash "$ROOT/scripts/deps.sh" | tail -n 1)"

# Path recorded by the build for a deliverable kind (vst3, vst2), or nothing.
deliverable() {
  local file="$1/deliverables/$2"
  [[ -f "$file" ]] && head -n 1 "$file"
  return 0
}

# install_note <platform> <has_vst2>: the note shipped as INSTALL.txt.
install_note() {
  local platform="$1" vst2="$2"
  echo "Orvotool $VERSION: double mid-side to surround decoder (VST 3 audio effect)"
  echo
  if [[ "$platform" == linux ]]; then
    echo "Linux x86_64. Install by copying, then let your host rescan its plug-ins:"
    echo "  VST 3: copy the folder Orvotool.vst3 to ~/.vst3/ (you alone)"
    echo "         or to /usr/lib/vst3/ (everyone on the computer)."
    [[ "$vst2" == 1 ]] && {
      echo "  VST 2: copy the folder Orvotool (the module and the editor's images) to ~/.lxvst/"
      echo "         or to the folder your host scans for VST 2 plug-ins (Ardour: add ~/.lxvst"
      echo "         under Preferences > Plugins > VST > Linux VST Path)."; }
  else
    echo "Windows, 64-bit hosts. Install by copying, then let your host rescan its plug-ins:"
    echo "  VST 3: copy the folder Orvotool.vst3 to C:\\Program Files\\Common Files\\VST3\\"
    [[ "$vst2" == 1 ]] && {
      echo "  VST 2: copy Orvotool.dll to the folder your host scans for VST 2 plug-ins"
      echo "         (often C:\\Program Files\\VSTPlugins\\ or C:\\Program Files\\Steinberg\\VSTPlugins\\)."; }
    echo "  Nothing else is needed: the plug-in brings its own C++ runtime."
  fi
  echo "  Presets: copy the files of the folder presets to"
  if [[ "$platform" == linux ]]; then
    echo "         ~/.vst3/presets/Veltrane/Orvotool/ (your host lists them as Orvotool's presets)."
  else
    echo "         Documents\\VST3 Presets\\Veltrane\\Orvotool\\ (your host lists them as Orvotool's presets)."
  fi
  echo
  echo "Use: insert Orvotool (vendor Veltrane, category Spatial) on a 5.1 track or bus"
  echo "whose first three channels carry the capsules: front cardioid, sideways"
  echo "figure-of-eight, rear cardioid. It writes L, R, C, LFE (silent), Ls, Rs;"
  echo "Output Format chooses stereo, 3, 4 or 5 speakers."
  echo
  echo "Licence: GPL-3.0-or-later, see LICENSE. Remove: delete the copied files."
}

# pack <platform> <build dir> <archive name>
pack() {
  local platform="$1" build="$2" name="$3"
  local vst3 vst2 stage="$OUT/stage/$name" has_vst2=0
  vst3="$(deliverable "$build" vst3)"
  vst2="$(deliverable "$build" vst2)"
  [[ -n "$vst3" && -d "$vst3" ]] || die "$platform: no VST 3 bundle in $build"
  rm -rf "$stage" && mkdir -p "$stage"
  cp -R "$vst3" "$stage/Orvotool.vst3"
  if [[ -n "$vst2" ]]; then
    [[ -e "$vst2" ]] || die "$platform: the build names a VST 2 module $vst2 that does not exist"
    if [[ $platform == linux ]]; then
      cp -R "$vst2" "$stage/Orvotool"     # Contents/x86_64-linux/Orvotool.so, Contents/Resources
    else
      cp "$vst2" "$stage/Orvotool.dll"    # the editor's images are inside
    fi
    has_vst2=1
  fi
  # The factory presets, written by the Linux build (the same files serve both).
  [[ -d "$BUILD/presets" ]] || die "no factory presets in $BUILD/presets"
  mkdir -p "$stage/presets"
  cp "$BUILD/presets/"*.vstpreset "$stage/presets/"
  cp "$ROOT/LICENSE" "$stage/LICENSE"
  if [[ "$platform" == linux ]]; then
    install_note linux "$has_vst2" > "$stage/INSTALL.txt"
    (cd "$OUT/stage" && cmake -E tar czf "$OUT/$name.tar.gz" "$name")
    log "$OUT/$name.tar.gz"
  else
    install_note windows "$has_vst2" | sed 's/$/\r/' > "$stage/INSTALL.txt"
    sed 's/$/\r/' "$ROOT/LICENSE" > "$stage/LICENSE.txt" && rm "$stage/LICENSE"
    (cd "$OUT/stage" && rm -f "$OUT/$name.zip" && cmake -E tar cf "$OUT/$name.zip" --format=zip "$name")
    log "$OUT/$name.zip"
  fi
  (cd "$OUT/stage" && find "$name" -type f | sort | sed 's/^/           /')
}

mkdir -p "$OUT"
for platform in $PLATFORMS; do
  case "$platform" in
    linux)
      cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
      cmake --build "$BUILD" -j "$JOBS"
      pack linux "$BUILD" "Orvotool-$VERSION-linux-x86_64"
      ;;
    windows)
      # The editor art and the built-in head-related responses are written
      # by Linux programs: the Linux build's.
      cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" >/dev/null
      cmake --build "$BUILD" -j "$JOBS" --target orvo_art orvo_hrtf
      cmake -S "$ROOT" -B "$WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVST3_SDK_DIR="$SDK" \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/OrvoMinGW64Toolchain.cmake" \
            -DORVO_ART_DIR="$BUILD/resources/art" \
            -DORVO_HRTF_SOURCE="$BUILD/source/engine/sfm_hrir_builtin.cpp" >/dev/null
      cmake --build "$WIN_BUILD" -j "$JOBS"
      # moduleinfo.json for the freshly built module (the Wine prefix comes with it).
      ctest --test-dir "$WIN_BUILD" --output-on-failure -R '^win_vst3_moduleinfo$' >/dev/null \
        || die "moduleinfotool failed under Wine (see ctest --test-dir $WIN_BUILD -R moduleinfo)"
      pack windows "$WIN_BUILD" "Orvotool-$VERSION-windows-x64"
      ;;
    *) die "unknown platform '$platform' (linux, windows)" ;;
  esac
done
rm -rf "$OUT/stage"
