#!/usr/bin/env bash
# Ardour's own VST 2 (LXVST) scanner must find Orvotool by Veltrane with six
# inputs and six outputs under the unique ID "Orvo". The scanner exits 0 even
# when it finds nothing, so its report decides. Then, with the module's tree
# installed as scripts/main.sh installs it (<dir>/Orvotool/Contents/...),
# Ardour's plug-in list must hold it when <dir> is on its LXVST path. Exits 77
# (skipped) when Ardour 7 is not installed.
set -u
so="$(realpath "$1")"
libdir=/usr/lib/ardour7
scanner="$libdir/ardour-vst-scanner"
if [[ ! -x "$scanner" ]]; then
  echo "Ardour 7 is not installed: $scanner missing"
  exit 77
fi
cache="$(mktemp -d)"
trap 'rm -rf "$cache"' EXIT
out="$(XDG_CACHE_HOME="$cache" LD_LIBRARY_PATH="$libdir" timeout 120 "$scanner" -v -f "$so" 2>&1)"
status=$?
echo "$out"
[[ $status -eq 0 ]] || { echo "scanner failed with status $status"; exit 1; }
info="$(grep -F '<VST2Info' <<<"$out")" || { echo "no <VST2Info in the scan"; exit 1; }
for want in 'id="1332901487"' 'name="Orvotool"' 'creator="Veltrane"' 'n_inputs="6"' 'n_outputs="6"'; do
  grep -qF "$want" <<<"$info" || { echo "missing in the scan: $want"; exit 1; }
done
echo "Ardour VST 2 scan: Orvotool by Veltrane, 6 in, 6 out"

lua=/usr/bin/ardour7-lua
[[ -x "$lua" ]] || { echo "ardour7-lua missing: install layout not checked"; exit 0; }
tree="$(dirname "$(dirname "$(dirname "$so")")")"
# A home of its own: Ardour keeps its plug-in cache and settings under it
# (its Lua session reads the cache there whatever XDG_CACHE_HOME says).
home="$cache/home"
mkdir -p "$home/.lxvst"
cp -R "$tree" "$home/.lxvst/Orvotool"
installed="$home/.lxvst/Orvotool/Contents/x86_64-linux/Orvotool.so"
unset XDG_CACHE_HOME XDG_CONFIG_HOME
export HOME="$home" LXVST_PATH="$home/.lxvst"
# Ardour stamps its cache entry with the module's time in whole seconds and
# takes a module with a later time as changed (not listed until rescanned).
touch -d "@$(( $(date +%s) - 10 ))" "$installed"
LD_LIBRARY_PATH="$libdir" timeout 120 "$scanner" -q -f "$installed" >/dev/null 2>&1
cat >"$cache/list.lua" <<LUA
AudioEngine:set_backend ("None (Dummy)", "", "")
AudioEngine:start (false)
create_session ("$cache/session", "s", 48000)
for p in ARDOUR.LuaAPI.list_plugins ():iter () do print ("plugin", p.name, p.path) end
close_session ()
LUA
listed="$(timeout 120 "$lua" "$cache/list.lua" 2>&1 | grep '^plugin')"
grep -qF "$installed" <<<"$listed" || { echo "Ardour does not list $installed:"; echo "$listed"; exit 1; }
echo "Ardour lists the installed module: $installed"
