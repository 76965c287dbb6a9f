#!/usr/bin/env bash
# The module exports its entry points and nothing of its own beyond them: an
# exported engine or class symbol could be bound by name to another module's
# in the same host process.
#   module_exports.sh <VST 3 module .so>
#   module_exports.sh <VST 2 module .so> vst2   (exactly its four entry points)
set -u
so="$1"
kind="${2:-vst3}"
if [[ "$kind" == vst2 ]]; then
  exports="$(nm -D --defined-only "$so" | awk '{ print $3 }' | LC_ALL=C sort)"
  want="$(printf '%s\n' ExitDll InitDll VSTPluginMain main)"
  if [[ "$exports" != "$want" ]]; then
    echo "the VST 2 module exports:"; echo "$exports"
    echo "expected exactly:"; echo "$want"; exit 1
  fi
  echo "exports: VSTPluginMain main InitDll ExitDll"
  exit 0
fi
exports="$(nm -DC --defined-only "$so" | awk '$2 ~ /^[TDBRVW]$/ { $1 = ""; $2 = ""; print substr($0, 3) }')"
for want in GetPluginFactory InitDll ExitDll ModuleEntry ModuleExit; do
  grep -qx "$want" <<<"$exports" || { echo "missing export: $want"; exit 1; }
done
own="$(grep -E 'sfm_|Orvo|kv_|orvo' <<<"$exports" || true)"
if [[ -n "$own" ]]; then
  echo "the module exports its own symbols:"; echo "$own"; exit 1
fi
echo "exports: GetPluginFactory InitDll ExitDll ModuleEntry ModuleExit (and library template instances)"
