#!/usr/bin/env bash
# A factory preset chosen from Ardour 7's own preset list: the .vstpreset
# files the build wrote, in the folder the main job installs them to, are
# listed by Ardour; loading "Stereo Wide" changes what the next save writes
# and what is heard (only L and R carry signal). Without a window.
#   ardour_preset_test.sh <Orvotool.vst3> <preset folder> <working directory>
# Exits 77 (skipped) when Ardour 7 is not installed.
set -euo pipefail
for tool in ardour7-lua; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
bundle="$(realpath "$1")" presets="$(realpath "$2")" work="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

rm -rf "$work" && mkdir -p "$work"
cd "$work"
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
export VST3_PATH="$HOME/.vst3"
unset LXVST_PATH VST_PATH
lua_quiet() { grep -v -e '^MIDI Clock' -e '^MTC in' -e '^lua/' -e '^\[WARNING\]: Falling back' -e '^Butler' || true; }

mkdir -p "$VST3_PATH/presets/Veltrane/Orvotool" "$XDG_CONFIG_HOME/ardour7"
cp -r "$bundle" "$VST3_PATH/"
cp "$presets"/*.vstpreset "$VST3_PATH/presets/Veltrane/Orvotool/"
# Ardour trusts its scan cache only when it is newer than the module by
# whole seconds.
find "$VST3_PATH" -exec touch -d '1 minute ago' {} +
touch "$XDG_CONFIG_HOME/ardour7/.a7"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<Ardour><Config><Option name="hide-dummy-backend" value="0"/></Config></Ardour>\n' \
  > "$XDG_CONFIG_HOME/ardour7/config"
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -q "$VST3_PATH/Orvotool.vst3" > scan.log 2>&1 ||
  { cat scan.log; echo "FAIL: Ardour's VST 3 scanner rejected the bundle"; exit 1; }

ardour7-lua "$here/make_session.lua" "$work/session" orvo 2>&1 | lua_quiet
ardour7-lua "$here/load_preset.lua" "$work/session" orvo "Stereo Wide" 2>&1 | lua_quiet | tee load.log
grep -q '^loaded Stereo Wide' load.log || { echo "FAIL: the preset was not loaded"; exit 1; }
ardour7-lua "$here/check_session.lua" "$work/session" orvo Stereo 2>&1 | lua_quiet | tee check.log
grep -q 'Width 35.0' check.log || { echo "FAIL: the saved state does not hold the preset's Width 35"; exit 1; }
grep -q '^saved state and output agree' check.log || { echo "FAIL: see check.log"; exit 1; }
echo "Stereo Wide, chosen from Ardour's preset list, is saved and heard"
