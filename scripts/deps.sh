#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine and unpacks the VST 3 SDK.
# With --run, only what building the plug-ins and orvotool needs.
# Idempotent: packages are installed only when missing, the SDK only when absent.
#
# The SDK comes from the first of:
#   1. $VST3_SDK_DIR, a directory the user names (used as it is);
#   2. the verified Debian source tarballs in ../shared/deps/vst3sdk-3.7.10/;
#   3. Debian's source package vst3sdk (fetched with a private apt configuration);
#   4. the upstream git tag.
# Prints the SDK root on its last line of standard output.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="${ORVO_DEPS_DIR:-$ROOT/.deps}"
SDK_VERSION="3.7.10"
DEB_VERSION="3.7.10.14+~4.13.3"
DEB_FULL_VERSION="${DEB_VERSION}-4"
GIT_TAG="v3.7.10_build_14"
TARBALL_DIR="${ORVO_SDK_TARBALLS:-$ROOT/../shared/deps/vst3sdk-$SDK_VERSION}"

log() { echo "[deps] $*" >&2; }

# Checksums of the six orig tarballs as Debian's source index publishes them.
SDK_SHA256SUMS="b9eb5c1e57ca2ef6b2560dd0e13822dd5a51e437b8f5a6c421b099d621d2bffb  vst3sdk_3.7.10.14+~4.13.3.orig-base.tar.gz
f4699e910a67e585d7d177b2a48f6aa43706b3f073c8e454615f094484374349  vst3sdk_3.7.10.14+~4.13.3.orig-cmake.tar.gz
fd426c6b26ef93fdfdc8aef7e9b836c1bf43f25b8a1ef4c0642a41fb9250ab8a  vst3sdk_3.7.10.14+~4.13.3.orig-pluginterfaces.tar.gz
ca1f70406b36f0763c799085c67deed5befc69514cc2b9cacb804512e95db335  vst3sdk_3.7.10.14+~4.13.3.orig-public-sdk.tar.gz
5a7673c7b22a66086a6749a0c7ff447fcfc4a10d2c2013d58ff1320be4e8456f  vst3sdk_3.7.10.14+~4.13.3.orig-vstgui4.tar.gz
0c9fa7b578f8549d6ce6efeb427e9c7df8ca0e018bea13a523b78bb167663b81  vst3sdk_3.7.10.14+~4.13.3.orig.tar.gz"

# What building the plug-ins and orvotool needs (the main job).
RUN_PACKAGES=(
  cmake ninja-build g++ pkgconf git ca-certificates binutils
  libsndfile1-dev
  libx11-xcb-dev libxcb-util-dev libxcb-cursor-dev libxcb-xkb-dev libxcb-keysyms1-dev
  libxkbcommon-dev libxkbcommon-x11-dev libfontconfig1-dev libfreetype-dev
  libcairo2-dev libpango1.0-dev libgtkmm-3.0-dev libsqlite3-dev libx11-dev
  # SDK patching and the editor's font (art and text).
  patch fonts-liberation2
  # orvotool's command line.
  libcli11-dev
  # The monitor's head-related responses: the built-in set's SOFA file and
  # the reader of users' files.
  libmysofa-dev
)
# What the tests and benchmarks need on top (the test command).
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev ardour
  # The engine's responses (also in RUN_PACKAGES: the test stages build the plug-in).
  libmysofa-dev
  # The README's examples: test recordings split with sox, GNU parallel.
  sox parallel
  # The window tests under Xvfb (screenshots, synthetic mouse input);
  # Ardour's own window there wants a window manager (focus, closing).
  xvfb xauth x11-utils x11-apps xdotool imagemagick openbox
  # ThreadSanitizer for the concurrency suite.
  clang-14 libclang-rt-14-dev
  # The Windows modules: cross compiler (posix threads), Wine to test them.
  g++-mingw-w64-x86-64-posix wine wine64
)
PACKAGES=("${RUN_PACKAGES[@]}")

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing: ${missing[*]}"
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi
}

# A usable SDK tree has the top-level CMake file and the five component folders.
sdk_complete() {
  local d="$1"
  [[ -f "$d/CMakeLists.txt" && -d "$d/base" && -d "$d/cmake/modules" && -d "$d/pluginterfaces" \
     && -d "$d/public.sdk" && -f "$d/vstgui4/vstgui/CMakeLists.txt" ]]
}

# Unpacks the six orig tarballs of folder $1 into $2, after verifying checksums.
assemble_from_tarballs() {
  local src="$1" dest="$2"
  (cd "$src" && sha256sum --quiet -c - <<<"$SDK_SHA256SUMS") >&2 || { log "checksum mismatch in $src"; return 1; }
  local tmp="$dest.tmp"
  rm -rf "$tmp" && mkdir -p "$tmp"
  local base="vst3sdk_${DEB_VERSION}.orig"
  tar -xzf "$src/$base.tar.gz" -C "$tmp" --strip-components=1
  local comp dir
  for comp in base:base cmake:cmake pluginterfaces:pluginterfaces public-sdk:public.sdk vstgui4:vstgui4; do
    dir="$tmp/${comp#*:}"
    rm -rf "$dir" && mkdir -p "$dir"
    tar -xzf "$src/$base-${comp%%:*}.tar.gz" -C "$dir" --strip-components=1
  done
  sdk_complete "$tmp" || { log "assembled tree from $src is incomplete"; return 1; }
  rm -rf "$dest" && mv "$tmp" "$dest"
}

# Debian's source package, fetched under a private apt configuration so the
# machine's own sources stay untouched. The archive may not serve the .dsc, so
# the tarballs' checksums decide, not apt-get's exit status.
fetch_debian_source() {
  local work="$CACHE/apt-source"
  rm -rf "$work" && mkdir -p "$work"/{lists/partial,archives/partial,etc}
  echo "deb-src http://deb.debian.org/debian trixie main" > "$work/etc/sources.list"
  : > "$work/etc/preferences"
  local opts=(-o "Dir::Etc::SourceList=$work/etc/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
              -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
              -o "Dir::Etc::Preferences=$work/etc/preferences" -o "Dir::State::status=/dev/null")
  apt-get "${opts[@]}" update -qq >&2 || true
  (cd "$work" && apt-get "${opts[@]}" source --download-only "vst3sdk=$DEB_FULL_VERSION" >&2) || true
  assemble_from_tarballs "$work" "$1"
}

fetch_git_tag() {
  local dest="$1" tmp="$1.tmp"
  rm -rf "$tmp"
  git clone --quiet --depth 1 --branch "$GIT_TAG" --recurse-submodules --shallow-submodules \
    https://github.com/steinbergmedia/vst3sdk.git "$tmp" >&2 || return 1
  sdk_complete "$tmp" || return 1
  rm -rf "$dest" && mv "$tmp" "$dest"
}

main() {
  # --run: only what the plug-ins and orvotool need; otherwise everything
  # the tests use as well. Further arguments are extra packages.
  if [[ "${1:-}" == --run ]]; then
    shift
  else
    PACKAGES+=("${TEST_PACKAGES[@]}")
  fi
  install_packages "$@"
  if [[ -n "${VST3_SDK_DIR:-}" ]]; then
    sdk_complete "$VST3_SDK_DIR" || { log "VST3_SDK_DIR=$VST3_SDK_DIR is not an SDK tree"; exit 1; }
    log "SDK: $VST3_SDK_DIR (VST3_SDK_DIR)"
    echo "$VST3_SDK_DIR"; return
  fi
  local dest="$CACHE/vst3sdk-$SDK_VERSION"
  mkdir -p "$CACHE"
  if sdk_complete "$dest"; then
    log "SDK: $dest (cached)"
  elif [[ -d "$TARBALL_DIR" ]] && assemble_from_tarballs "$TARBALL_DIR" "$dest"; then
    log "SDK: $dest (verified Debian tarballs in $TARBALL_DIR)"
  elif fetch_debian_source "$dest"; then
    log "SDK: $dest (Debian source package vst3sdk $DEB_FULL_VERSION)"
  elif fetch_git_tag "$dest"; then
    log "SDK: $dest (git tag $GIT_TAG)"
  else
    log "could not obtain the VST 3 SDK $SDK_VERSION"; exit 1
  fi
  echo "$dest"
}

main "$@"
