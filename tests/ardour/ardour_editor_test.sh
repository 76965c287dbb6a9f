#!/usr/bin/env bash
# Orvotool in Ardour 7's own window, as a user meets it: a session with the
# plug-in on a 6-in/6-out track fed by the dummy backend's sines, the editor
# opened from the mixer strip, "L, R" clicked in Output Format, the editor
# closed and opened ten times with audio running, the session saved, Ardour
# quit. The saved session must then hold Stereo in the processor's state and
# put out L and R only (check_session.lua, without a window).
#   ardour_editor_test.sh <Orvotool.vst3> <working directory>
# Screenshots and logs land in the working directory. Ardour, its settings
# and the plug-in's copy live in a private HOME there. Exits 77 (skipped)
# when Ardour 7 or Xvfb is not installed.
set -euo pipefail
for tool in ardour ardour7-lua Xvfb; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for tool in openbox xdotool xwininfo xprop xwd convert; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (scripts/deps.sh installs it)"; exit 1; }
done

bundle="$(realpath "$1")" work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

rm -rf "$work" && mkdir -p "$work"
cd "$work"
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
export VST3_PATH="$HOME/.vst3" NO_AT_BRIDGE=1
unset LXVST_PATH VST_PATH
session_dir="$work/session" session_name="orvo"
session_file="$session_dir/$session_name.ardour"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
shot() { xwd -root -silent | convert xwd:- "$@"; }
fail() {
  echo "FAIL: $*"
  [[ -n "${DISPLAY:-}" ]] && shot "$work/failure.png" && echo "screen at the failure: $work/failure.png"
  exit 1
}
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths="$1"; shift
  for _ in $(seq 1 "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
step() { echo "[${SECONDS} s] $*"; }
exited() { ! kill -0 "$1" 2>/dev/null; }
# ardour7-lua's own chatter left out of the log.
lua_quiet() { grep -v -e '^MIDI Clock' -e '^MTC in' -e '^lua/' -e '^\[WARNING\]: Falling back' -e '^Butler' || true; }
visible() { xdotool search --onlyvisible --name "$1"; }
not_visible() { ! visible "$1"; }

# Ardour's window for the plug-in: a double-click on the plug-in's button in
# the mixer strip (plugin_x, plugin_y) opens it, the window manager's Alt+F4
# closes it.
editor_name="^Orvotool: Orvotool"
open_editor() {
  xdotool mousemove "$plugin_x" "$plugin_y" click --repeat 2 --delay 80 1
  wait_for 100 visible "$editor_name"
}
close_editor() {
  xdotool windowactivate --sync "$(visible "$editor_name" | head -n 1)" key alt+F4 2>/dev/null || true
  wait_for 100 not_visible "$editor_name"
}

# The editor's own 955 x 510 window inside Ardour's plug-in window (x, y),
# brought on screen whole when Ardour placed the window partly outside it.
view_geometry() {
  local geometry abs
  geometry=$(xwininfo -root -tree | grep -o ' 955x510+[0-9-]*+[0-9-]* *+[0-9-]*+[0-9-]*' | tail -n 1 || true)
  [[ -n "$geometry" ]] || fail "no 955x510 editor view in Ardour's plug-in window"
  read -r _ abs <<<"$geometry"
  x=${abs#+}; x=${x%%+*}; y=${abs##*+}
}
on_screen() { (( x >= 0 && y >= 0 && x + 955 <= 1600 && y + 510 <= 1000 )); }
find_view() {
  view_geometry
  on_screen && return
  xdotool windowmove "$(visible "$editor_name" | head -n 1)" 0 0
  sleep 0.5
  view_geometry
  on_screen || fail "the editor view at +$x+$y is not wholly on the screen"
}
editor_shot() { xwd -root -silent | convert xwd:- -crop "955x510+$x+$y" +repage "$1"; }
lit() { convert "$1" -crop "$2" +repage -colorspace gray -format '%[fx:round(maxima*255)]' info:; }
mean() { convert "$1" -crop "$2" +repage -colorspace gray -format '%[fx:round(mean*255)]' info:; }
# The Output Format captions: four rows of 20 px from x 715, y 48 of the view,
# the chosen one bright; the top row is "L, R".
caption() { lit "$1" "24x10+716+$((51 + 20 * $2))"; }
# The meters, inputs (front, eight, rear) then outputs (L, R, C, Ls, Rs):
# dark segments average about 45, lit ones above 100.
meters() {
  local top out=""
  for top in 262 285 308 365 388 411 434 457; do out+=" $(mean "$1" "100x10+826+$top")"; done
  echo "$out"
}

# The plug-in's copy, and Ardour's settings: the dummy backend shown, its
# "Sine Wave" device the engine state the Audio/MIDI Setup window starts
# from, the first-run wizard marked as done.
mkdir -p "$VST3_PATH" "$XDG_CONFIG_HOME/ardour7"
cp -r "$bundle" "$VST3_PATH/"
# Ardour trusts its scan cache only when it is newer than the module by
# whole seconds: the copy is dated back so a scan right after it counts.
find "$VST3_PATH" -exec touch -d '1 minute ago' {} +
touch "$XDG_CONFIG_HOME/ardour7/.a7"
cat > "$XDG_CONFIG_HOME/ardour7/config" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Sine Wave" input-device=""
               output-device="" sample-rate="48000" buffer-size="512" n-periods="0" input-latency="0"
               output-latency="0" lm-input="" lm-output="" active="1" use-buffered-io="0"
               midi-option="1 in, 1 out, Silence" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
EOF

# Ardour's scanner indexes the bundle; the session script finds it there.
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -q "$VST3_PATH/Orvotool.vst3" \
  > scan.log 2>&1 || { cat scan.log; fail "Ardour's VST 3 scanner rejected the bundle"; }
step "a session with Orvotool, made by ardour7-lua"
ardour7-lua "$here/make_session.lua" "$session_dir" "$session_name" 2>&1 | lua_quiet ||
  fail "could not make the session"
# The session as made keeps the plug-in's default, five loudspeakers: the
# check tells the formats apart before the window changes anything.
ardour7-lua "$here/check_session.lua" "$session_dir" "$session_name" "5 Channels" 2>&1 | lua_quiet ||
  fail "the new session does not decode to five channels"

# A private X server (it picks a free display number), the atom VSTGUI's
# embedding looks up, and a window manager for focus and closing windows.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -noreset -nolisten tcp 3>display 2>xvfb.log &
pids+=($!)
wait_for 100 test -s display || fail "Xvfb did not start: $(cat xvfb.log)"
export DISPLAY=":$(cat display)"
xprop -root -f _XEMBED_INFO 32c -set _XEMBED_INFO 0
openbox > openbox.log 2>&1 &
pids+=($!)

step "Ardour starts on $DISPLAY"
ardour "$session_file" > ardour.log 2>&1 &
ardour_pid=$!
pids+=($ardour_pid)
main="^\*?$session_name - Ardour$"
# Ardour may ask first ("Engine I/O device has changed"), then show the
# Audio/MIDI Setup with the dummy device: Return answers both.
for _ in $(seq 1 60); do
  visible "$main" >/dev/null 2>&1 && break
  exited "$ardour_pid" && fail "Ardour exited while starting (ardour.log)"
  for w in $(visible '.' 2>/dev/null); do
    title=$(xdotool getwindowname "$w" 2>/dev/null) || continue
    [[ "$title" =~ $main ]] && continue
    echo "dialog: $title"
    xdotool windowactivate --sync "$w" key Return 2>/dev/null || true
  done
  sleep 0.5
done
main_window=$(visible "$main" | head -n 1) || fail "Ardour's main window did not come up"
# A new session opens on the editor page; Alt+M switches to the mixer.
xdotool windowactivate --sync "$main_window" key alt+m 2>/dev/null
sleep 1

# The plug-in's button in the track's mixer strip, from the main window's
# top left (its default size on this screen, the strip list a fifth of it).
read -r left top < <(xwininfo -id "$main_window" |
  awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}')
plugin_x=$((left + 322)) plugin_y=$((top + 208))
echo "main window at +$left+$top, the plug-in's button at $plugin_x,$plugin_y"
shot mixer.png
open_editor || fail "a double-click on the plug-in in the mixer strip opened no editor (mixer.png)"

sleep 1
find_view
echo "editor view at +$x+$y"
editor_shot editor_opened.png

# A click on the "L, R" caption of Output Format.
xdotool mousemove $((x + 756)) $((y + 58)) click 1
sleep 1
xdotool mousemove 1590 990
sleep 0.3
editor_shot editor_stereo.png
shot ardour_stereo.png
echo "after the click on \"L, R\": captions $(caption editor_stereo.png 0) / $(caption editor_stereo.png 3)" \
     "(L, R / L, R, C, Ls, Rs); meters in F 8 R out L R C Ls Rs:$(meters editor_stereo.png)"
(( $(caption editor_stereo.png 0) >= 200 && $(caption editor_stereo.png 3) < 180 )) ||
  fail "the click did not choose \"L, R\" in the editor (editor_stereo.png)"

step "the editor closed and opened ten times"
# Closed and opened again ten times while the audio runs: Ardour hides the
# window and shows the same view again.
for i in $(seq 1 10); do
  close_editor || fail "closing the editor (round $i)"
  open_editor || fail "opening the editor again (round $i)"
  sleep 0.3
done
xdotool mousemove 1590 990
sleep 0.5
find_view
editor_shot editor_reopened.png
echo "after ten rounds: captions $(caption editor_reopened.png 0) / $(caption editor_reopened.png 3);" \
     "meters in F 8 R out L R C Ls Rs:$(meters editor_reopened.png)"
(( $(caption editor_reopened.png 0) >= 200 )) || fail "the editor opened again does not show \"L, R\""
close_editor || fail "closing the editor"

step "Ctrl+S, Ctrl+Q"
# Ctrl+S, then Ctrl+Q once the session file is written.
touch before_save
xdotool windowactivate --sync "$main_window" key ctrl+s 2>/dev/null || true
wait_for 100 test "$session_file" -nt before_save || fail "Ctrl+S did not save the session"
xdotool windowactivate --sync "$main_window" key ctrl+q 2>/dev/null || true
wait_for 200 exited "$ardour_pid" || fail "Ardour did not quit"
status=0
wait "$ardour_pid" || status=$?
(( status == 0 )) || fail "Ardour exited with status $status (ardour.log)"

step "the saved session, loaded by ardour7-lua"
ardour7-lua "$here/check_session.lua" "$session_dir" "$session_name" Stereo 2>&1 | lua_quiet ||
  { echo "FAIL: the session saved from Ardour's window is not stereo"; exit 1; }
step "Ardour: \"L, R\" chosen in the editor is saved and heard as stereo"
