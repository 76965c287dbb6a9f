#!/usr/bin/env bash
# The SDK's editorhost opens the editor on a private Xvfb server; a screenshot
# of the screen shows the whole 955 x 510 layout.
#   editorhost_test.sh <editorhost> <Orvotool.vst3> <screenshot.png>
# editorhost looks the _XEMBED_INFO atom up without creating it (and exits
# when it is missing): the atom is created first, on a server started with
# -noreset so that it survives while no client is connected.
set -euo pipefail
if [[ -z "${ORVO_IN_XVFB:-}" ]]; then
  command -v xvfb-run >/dev/null || { echo "xvfb-run missing (scripts/deps.sh installs xvfb)"; exit 1; }
  exec env ORVO_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$@"
fi
host="$1" bundle="$2" shot="$3"
xprop -root -f _XEMBED_INFO 32c -set _XEMBED_INFO 0
"$host" "$bundle" > editorhost.log 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

# Wait for a 955 x 510 window (the editor's frame) to appear.
geometry=""
for _ in $(seq 1 100); do
  geometry=$(xwininfo -root -tree | grep -o ' 955x510+[0-9-]*+[0-9-]* *+[0-9-]*+[0-9-]*' | head -n 1 || true)
  [[ -n "$geometry" ]] && break
  kill -0 $pid 2>/dev/null || { cat editorhost.log; echo "FAIL: editorhost exited"; exit 1; }
  sleep 0.2
done
[[ -n "$geometry" ]] || { cat editorhost.log; echo "FAIL: no 955x510 editor window"; exit 1; }
read -r _ abs <<<"$geometry"
x=${abs#+}; x=${x%%+*}; y=${abs##*+}
sleep 1.5
kill -0 $pid 2>/dev/null || { cat editorhost.log; echo "FAIL: editorhost died after opening"; exit 1; }
xwd -root -silent | convert xwd:- -crop "955x510+$x+$y" +repage "$shot"
colours=$(convert "$shot" -format '%k' info:)
size=$(convert "$shot" -format '%wx%h' info:)
echo "editor window at +$x+$y, screenshot $size with $colours colours: $shot"
[[ "$size" == "955x510" ]] || { echo "FAIL: screenshot size"; exit 1; }
(( colours > 200 )) || { echo "FAIL: the editor looks blank"; exit 1; }
# The centre panel and the polar display's well where the art puts them.
centre=$(convert "$shot" -format '%[pixel:p{330,340}]' info:)
well=$(convert "$shot" -format '%[pixel:p{470,58}]' info:)
echo "centre panel $centre, well $well"
[[ "$centre" == "srgb(49,53,59)" ]] || { echo "FAIL: centre panel"; exit 1; }
[[ "$well" == "srgb(24,26,29)" ]] || { echo "FAIL: polar display well"; exit 1; }
echo "1 passed, 0 failed"
