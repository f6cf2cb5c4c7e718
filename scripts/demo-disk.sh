#!/usr/bin/env bash
# The demo's disk changer. The demo disks are folders (disk1, disk2, ...) in the
# demo folder; the demo drive is a link to the one that is "inserted", or no
# link at all when the drive is empty, which Slicery sees as an empty drive.
#   demo-disk.sh insert N   put diskN in the drive (a new blank disk if needed)
#   demo-disk.sh eject      take the disk out of the drive
#   demo-disk.sh list       what each disk holds, and which one is in the drive
# Works from any directory. The demo folder is build/demo beside this script,
# or SLICERY_DEMO_DIR when that is set.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
demo="${SLICERY_DEMO_DIR:-$root/build/demo}"
drive="$demo/drive"

usage() {
  echo "usage: demo-disk.sh insert N | eject | list" >&2
  exit 2
}

fail() {
  echo "demo-disk: $*" >&2
  exit 1
}

[ -d "$demo" ] || fail "no demo folder at $demo (scripts/demo.sh makes it)"
# Anything at the drive's place that is not one of our links is left alone.
if [ -e "$drive" ] && [ ! -L "$drive" ]; then
  fail "$drive is not the demo drive link; move it away first"
fi

in_drive() { if [ -L "$drive" ]; then readlink "$drive"; fi; }

# A few words about a disk: from its record, which disk of which file it is
# and how many bytes of it the disk holds; otherwise blank, or what is there.
describe() {
  local dir="$demo/$1"
  if [ -f "$dir/SLICERY.Q2Z" ]; then
    local -a rec
    mapfile -t rec < <(tr -d '\r' <"$dir/SLICERY.Q2Z")
    local mark="more follow"
    [ "${rec[2]:-}" = "*" ] && mark="last"
    echo "disk #$((${rec[1]:-0} + 1)) of ${rec[0]:-?}, $mark, ${rec[3]:-?} bytes"
  elif [ -z "$(ls -A "$dir")" ]; then
    echo "blank"
  else
    echo "no record; holds $(ls -A "$dir" | tr '\n' ' ')"
  fi
}

case "${1:-}" in
  insert)
    [ $# -eq 2 ] && [[ "$2" =~ ^[1-9][0-9]?$ ]] || usage
    mkdir -p "$demo/disk$2"
    # Swapped in one rename, so the program never sees half a change.
    ln -sfn "disk$2" "$drive.new"
    mv -T "$drive.new" "$drive"
    echo "disk$2 is in the drive: $(describe "disk$2")"
    ;;
  eject)
    [ $# -eq 1 ] || usage
    current="$(in_drive)"
    rm -f "$drive"
    echo "${current:-no disk} taken out; the drive is empty"
    ;;
  list)
    [ $# -eq 1 ] || usage
    current="$(in_drive)"
    found=0
    while read -r disk; do
      found=1
      where="        "
      [ "$disk" = "$current" ] && where="in drive"
      echo "$disk  $where  $(describe "$disk")"
    done < <(find "$demo" -mindepth 1 -maxdepth 1 -type d -name 'disk[0-9]*' -printf '%f\n' |
      sort -V)
    [ "$found" -eq 1 ] || echo "no disks yet"
    [ -n "$current" ] || echo "the drive is empty"
    ;;
  *) usage ;;
esac
