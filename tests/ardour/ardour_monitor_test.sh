#!/usr/bin/env bash
# Orvotool followed by Orvotool Monitor on one Ardour 7 track (without a
# window): see monitor_chain.lua.
#   ardour_monitor_test.sh <Orvotool.vst3> <working directory>
# Exits 77 (skipped) when Ardour 7 is not installed.
set -euo pipefail
command -v ardour7-lua >/dev/null || { echo "SKIP: ardour7-lua is not installed"; exit 77; }
bundle="$(realpath "$1")" work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

rm -rf "$work" && mkdir -p "$work"
cd "$work"
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
export VST3_PATH="$HOME/.vst3"
unset LXVST_PATH VST_PATH
mkdir -p "$VST3_PATH" "$XDG_CONFIG_HOME/ardour7"
cp -r "$bundle" "$VST3_PATH/"
# Ardour trusts its scan cache only when it is newer than the module by
# whole seconds.
find "$VST3_PATH" -exec touch -d '1 minute ago' {} +
touch "$XDG_CONFIG_HOME/ardour7/.a7"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<Ardour><Config><Option name="hide-dummy-backend" value="0"/></Config></Ardour>\n' \
  > "$XDG_CONFIG_HOME/ardour7/config"
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -q "$VST3_PATH/Orvotool.vst3" > scan.log 2>&1 ||
  { cat scan.log; echo "FAIL: Ardour's VST 3 scanner rejected the bundle"; exit 1; }
ardour7-lua "$here/monitor_chain.lua" "$work/session" phones 2>&1 |
  grep -v -e '^MIDI Clock' -e '^MTC in' -e '^lua/' -e '^\[WARNING\]: Falling back' -e '^Butler' | tee chain.log
grep -q '^the decode is heard on headphones' chain.log || { echo "FAIL: see chain.log"; exit 1; }
