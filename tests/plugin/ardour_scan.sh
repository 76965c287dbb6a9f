#!/usr/bin/env bash
# Ardour's own VST 3 scanner must find the module's three effects by Veltrane:
# Orvotool with six inputs and six outputs, Orvotool Monitor with six and two,
# Orvotool AmbiX with six and four. Exits 77 (skipped) when Ardour 7 is not
# installed.
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
# One <VST3Info> line per class: the one of 'name' must hold every later word.
expect() {
  local name="$1"; shift
  local line
  line="$(grep -F "<VST3Info " <<<"$out" | grep -F "name=\"$name\"")"
  [[ -n "$line" ]] || { echo "missing in the scan: $name"; exit 1; }
  for want in 'vendor="Veltrane"' "$@"; do
    grep -qF "$want" <<<"$line" || { echo "missing in the scan of $name: $want"; exit 1; }
  done
}
expect "Orvotool" 'n_inputs="6"' 'n_outputs="6"' 'category="Spatial|Fx"'
expect "Orvotool Monitor" 'n_inputs="6"' 'n_outputs="2"' 'category="Spatial|Fx"'
expect "Orvotool AmbiX" 'n_inputs="6"' 'n_outputs="4"' 'category="Spatial|Ambisonics|Fx"'
echo "Ardour scan: Orvotool (6 in, 6 out), Orvotool Monitor (6 in, 2 out), Orvotool AmbiX (6 in, 4 out), by Veltrane"
