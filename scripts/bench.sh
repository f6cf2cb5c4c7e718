#!/usr/bin/env bash
# Builds the Release benchmark in build-bench and runs it.
#   scripts/bench.sh [OPTION...]          the standard configurations, 3 runs
#       each: 1 GiB onto 256 MiB volumes on tmpfs and on a loop-mounted ext4
#       image side by side (time, and the medium); then on tmpfs 64 MiB onto
#       256 MiB (memory) and 100 MiB onto 1.44 MB volumes (per-volume cost)
#   scripts/bench.sh --ext4 [OPTION...]   the ext4 image alone
#   scripts/bench.sh --large [OPTION...]  5 GiB sparse file onto 3 GiB volumes
#   scripts/bench.sh --recovery [OPTION...]  the recovery phases alone
#       (--recovery-runs N: best of N; --no-par2: without par2, which takes
#       minutes a phase at 1 GiB)
#   scripts/bench.sh --check [OPTION...]  the check phase alone
# The standard run ends with the recovery phases (bench/recovery_bench.py):
# the check of the whole set (slicery --check) beside cat of its chunk files,
# the split with --recovery 2 against the plain split followed by par2 create
# with the same redundancy, and the rebuild with 2 data disks lost against par2
# repair followed by the plain rebuild, with slicery's peak RSS; 1 GiB onto
# 256 MiB volumes on tmpfs (--recovery-size MiB and --recovery-volume MiB
# change it). It also times the plain verified split and the plain rebuild of
# the whole set, the anchors of the recovery phases' goals.
# Each configuration times the split with the read-back of every volume
# against cp, sync and cmp, and the split without it and the rebuild against
# cat. Extra options go to every run and override its own (slicery_bench
# --help); --dir names the tmpfs folder, and on the ext4 image the working
# folder is always the image's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/ensure-packages.sh" g++ cmake make libgtest-dev libisal-dev libxxhash-dev coreutils \
  diffutils e2fsprogs mount par2 python3 time
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" --target slicery_bench slicery -j2 >/dev/null
bench="$root/build-bench/bench/slicery_bench"
recovery_only=false
check_only=false
recovery=(--size 1024 --volume 256 --runs 3)

ext4_only=false
tmpfs_dir=/dev/shm/slicery-bench
args=()
all=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --large) exec "$bench" "${all[@]}" ;;
    --ext4) ext4_only=true ;;
    --recovery) recovery_only=true ;;
    --check) recovery_only=true && check_only=true ;;
    --recovery-size) recovery+=(--size "$2") && shift ;;
    --recovery-volume) recovery+=(--volume "$2") && shift ;;
    --recovery-runs) recovery+=(--runs "$2") && shift ;;
    --no-par2) recovery+=(--no-par2) ;;
    --dir) if [ $# -ge 2 ]; then tmpfs_dir="$2" && shift; else args+=("$1"); fi ;;
    *) args+=("$1") ;;
  esac
  shift
done

# The ext4 image: a sparse file under /var/tmp holding a fresh file system,
# attached to a loop device without a second page cache over the image file,
# so the file system's own page cache stands in front of a block device. Made
# under a unique name, and unmounted, detached and removed however the run ends.
ext4_size=6G
ext4_dir="" ext4_loop="" ext4_mounted=false

ext4_cleanup() {
  if $ext4_mounted; then
    umount "$ext4_dir/mnt" || { sleep 1 && umount "$ext4_dir/mnt"; } ||
      umount --lazy "$ext4_dir/mnt"
    ext4_mounted=false
  fi
  if [ -n "$ext4_loop" ]; then
    losetup --detach "$ext4_loop" || echo "cannot detach $ext4_loop" >&2
    ext4_loop=""
  fi
  if [ -n "$ext4_dir" ]; then
    rm -f "$ext4_dir/image"
    rmdir "$ext4_dir/mnt" "$ext4_dir" || echo "left behind: $ext4_dir" >&2
    ext4_dir=""
  fi
}
trap ext4_cleanup EXIT
trap 'exit 130' INT TERM HUP

# Mounts the image on $ext4_dir/mnt. Status 1, with the reason printed, when
# the machine refuses a loop device or the mount; 2 when the image cannot be
# made. (Called in a condition, where errexit does not apply.)
ext4_mount() {
  ext4_dir="$(mktemp -d /var/tmp/slicery-bench-ext4.XXXXXX)" || return 2
  mkdir "$ext4_dir/mnt" && truncate --size "$ext4_size" "$ext4_dir/image" &&
    mkfs.ext4 -q -F "$ext4_dir/image" || return 2
  local reason
  if ! ext4_loop="$(losetup --find --show --direct-io=on "$ext4_dir/image" 2>&1)"; then
    reason="$ext4_loop"
    ext4_loop=""
    echo "ext4 configuration skipped: no loop device: $reason"
    return 1
  fi
  if ! reason="$(mount -t ext4 "$ext4_loop" "$ext4_dir/mnt" 2>&1)"; then
    echo "ext4 configuration skipped: mount refused: $reason"
    return 1
  fi
  ext4_mounted=true
}

# The 1 GiB configuration in the folders given, with the ext4 image's added
# when it mounts ("$@": the other folders; none for the image alone).
run_with_ext4() {
  local status=0 dirs=()
  for dir in "$@"; do dirs+=(--dir "$dir"); done
  ext4_mount || status=$?
  if [ "$status" -eq 0 ]; then
    echo "ext4: $ext4_size image $ext4_dir/image on $ext4_loop (direct I/O to the" \
      "image file), mounted on $ext4_dir/mnt"
    dirs+=(--dir "$ext4_dir/mnt/bench")
  else
    ext4_cleanup
    if [ "$status" -ne 1 ]; then
      echo "cannot make the ext4 image" >&2
      exit 1
    fi
  fi
  echo
  [ ${#dirs[@]} -eq 0 ] ||
    "$bench" --size 1G --volume 268435456 --runs 3 "${args[@]}" "${dirs[@]}"
  ext4_cleanup
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- |
  sed 's/^ *//'), $(awk '/MemTotal/ {printf "%.1f GiB RAM", $2 / 1048576}' /proc/meminfo)"
echo "/dev/shm: $(df -h --output=fstype,size,avail /dev/shm | tail -n1 | xargs)"
echo

run_recovery() {
  local only=()
  if $check_only; then only=(--check-only); fi
  python3 "$root/bench/recovery_bench.py" "$root/build-bench/slicery" \
    --dir "$tmpfs_dir-recovery" "${recovery[@]}" "${only[@]}"
}
if $recovery_only; then
  run_recovery
  exit
fi
if $ext4_only; then
  run_with_ext4
  exit
fi
run_with_ext4 "$tmpfs_dir"
echo
"$bench" --size 64M --volume 268435456 --runs 3 "${args[@]}" --dir "$tmpfs_dir"
echo
"$bench" --size 100M --volume 1457664 --runs 3 "${args[@]}" --dir "$tmpfs_dir"
echo
run_recovery
