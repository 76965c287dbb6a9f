#!/usr/bin/env bash
# The source folders stand in layers, and a folder includes only the folders
# below it:
#   engine      (the bottom: nothing of ours)
#   params      engine
#   processor   params, engine
#   editor      params, engine
#   controller  editor, params, engine (it creates the editor)
#   module      everything below it
# Engine headers are included by bare name ("sfm_api.h"). Prints every
# include that breaks the order and fails when there is one.
set -euo pipefail
SOURCE="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../source" && pwd)}"

allowed_for() {
  case "$1" in
    engine) echo "engine" ;;
    params) echo "params engine" ;;
    processor) echo "processor params engine" ;;
    editor) echo "editor params engine" ;;
    controller) echo "controller editor params engine" ;;
    module) echo "module processor controller editor params engine" ;;
    *) return 1 ;;
  esac
}

faults=0
checked=0
while IFS= read -r file; do
  rel="${file#"$SOURCE"/}"
  folder="${rel%%/*}"
  allowed="$(allowed_for "$folder")" || continue
  checked=$((checked + 1))
  while IFS= read -r line; do
    target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")"
    case "$target" in
      sfm_*.h) layer=engine ;;
      */*) layer="${target%%/*}" ;;
      *) continue ;; # a header beside the file
    esac
    # Only our own folders are layered; SDK and VSTGUI paths are not ours.
    allowed_for "$layer" >/dev/null 2>&1 || continue
    if [[ " $allowed " != *" $layer "* ]]; then
      echo "$rel includes \"$target\": $folder may include only: $allowed"
      faults=$((faults + 1))
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find "$SOURCE" -name '*.h' -o -name '*.cpp' | sort)

if ((checked == 0)); then
  echo "no sources under $SOURCE"
  exit 1
fi
echo "$checked files checked, $faults includes against the layer order"
((faults == 0))
