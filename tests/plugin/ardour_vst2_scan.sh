#!/usr/bin/env bash
# Ardour's own VST 2 (LXVST) scanner must find Orvotool by Veltrane with six
# inputs and six outputs under the unique ID "Orvo". The scanner exits 0 even
# when it finds nothing, so its report decides. Exits 77 (skipped) when
# Ardour 7 is not installed.
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
