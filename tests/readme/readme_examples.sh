#!/usr/bin/env bash
# Runs every ```sh example of the README, in the order written, as a user
# would type it: in a fresh folder, with a private home (the plug-in and
# orvotool installed there by the README's own main job) and a few
# recordings of the names the examples use. Only `bash scripts/test.sh` is
# left out: it is the command that runs this test.
#   readme_examples.sh README ROOT WORKDIR
set -euo pipefail
README="$1"
ROOT="$2"
WORK="$3"

rm -rf "$WORK"
mkdir -p "$WORK/home" "$WORK/run"
export HOME="$WORK/home"
export PATH="$HOME/.local/bin:$PATH"
# The main job builds into a folder of this test's own, kept between runs so
# that a second run only builds what changed.
export ORVO_BUILD_DIR="$WORK.build-release"
cd "$WORK/run"

# The examples' blocks, separated by a line holding only NUL.
blocks="$WORK/blocks"
awk '/^```sh$/ {inside = 1; next} /^```$/ && inside {inside = 0; printf "%c\n", 0; next} inside {print}' \
  "$README" > "$blocks"
count=$(tr -cd '\0' < "$blocks" | wc -c)
((count > 0)) || { echo "no sh examples in $README"; exit 1; }

# Recordings the examples name, made once orvotool is installed.
make_recordings() {
  orvotool demo --dir gen > /dev/null
  mkdir -p takes archive/day1
  cp gen/demo_capsules.wav take1.wav
  cp gen/demo_capsules.wav take.wav
  sox gen/demo_capsules.wav F.wav remix 1
  sox gen/demo_capsules.wav E.wav remix 2
  sox gen/demo_capsules.wav R.wav remix 3
  cp take.wav takes/scene1.wav
  cp take.wav takes/scene2.wav
  cp take.wav archive/day1/scene1.wav
  cp take.wav archive/day1/scene2.wav
}

n=0
made=0
while IFS= read -r -d '' block; do
  n=$((n + 1))
  # The test command itself is what runs this test.
  block="$(grep -v '^bash scripts/test.sh' <<<"$block" || true)"
  [[ -n "${block//[[:space:]]/}" ]] || continue
  # The main job from the repository root, the rest where the recordings are.
  block="${block//bash scripts\//bash $ROOT/scripts/}"
  if ((made == 0)) && command -v orvotool >/dev/null; then
    make_recordings
    made=1
  fi
  echo "--- example $n:"
  echo "$block"
  if ! bash -euo pipefail -c "$block"; then
    echo "FAIL: README example $n stopped:"
    echo "$block"
    exit 1
  fi
done < "$blocks"
((made == 1)) || { echo "FAIL: orvotool was never installed by the examples"; exit 1; }
echo "all $count README examples ran"
