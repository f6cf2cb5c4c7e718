#!/usr/bin/env bash
# Unpacks ISA-L's sources from Debian's source package, for the Windows build,
# which compiles its portable C erasure coding into the static slicery.exe:
#   scripts/isal-source.sh <folder>     (prints the source tree's path)
# apt reads a deb-src entry of the host's own archive from a private list in
# <folder>, so the host's apt configuration is left as it is.
set -euo pipefail
dir="$(mkdir -p "$1" && cd "$1" && pwd)"
tree="$dir/libisal-src"
if [ ! -f "$tree/erasure_code/ec_base.c" ]; then
  . /etc/os-release
  mkdir -p "$dir/apt/lists/partial"
  echo "deb-src http://deb.debian.org/debian ${VERSION_CODENAME:-bookworm} main" >"$dir/apt/sources.list"
  apt=(-q -o Dir::Etc::sourcelist="$dir/apt/sources.list" -o Dir::Etc::sourceparts=-
       -o Dir::State::Lists="$dir/apt/lists")
  apt-get "${apt[@]}" update >&2
  (cd "$dir/apt" && apt-get "${apt[@]}" source --download-only libisal >&2)
  rm -rf "$tree" && mkdir -p "$tree"
  tar -xf "$dir"/apt/libisal_*.orig.tar.* -C "$tree" --strip-components=1
fi
echo "$tree"
