#!/usr/bin/env bash
# Ardour's own VST 3 scanner must find Orvotool by Veltrane with six inputs and
# six outputs. Exits 77 (skipped) when Ardour 7 is not installed.
set -u
bundle="$1"
libdir=/usr/lib/ardour7
scanner="$libdir/ardour-vst3-scanner"
if [[ ! -x "$scanner" ]]; then
  echo "Ardour 7 is not installed: $scanner missing"
  exit 77
fi
cache="$(mktemp -d)"
trap 'rm -rf "$cache"' EXIT
out="$(XDG_CACHE_HOME="$cache" LD_LIBRARY_PATH="$libdir" timeout 120 "$scanner" -f -v "$bundle" 2>&1)"
status=$?
echo "$out"
[[ $status -eq 0 ]] || { echo "scanner failed with status $status"; exit 1; }
for want in 'name="Orvotool"' 'vendor="Veltrane"' 'n_inputs="6"' 'n_outputs="6"' 'category="Spatial|Fx"'; do
  grep -qF "$want" <<<"$out" || { echo "missing in the scan: $want"; exit 1; }
done
echo "Ardour scan: Orvotool by Veltrane, 6 in, 6 out"
