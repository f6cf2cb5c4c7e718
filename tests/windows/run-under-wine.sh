#!/usr/bin/env bash
# Runs the Windows build's tests under Wine:
#   tests/windows/run-under-wine.sh [build folder, default build-win]
# Everything they need is made afresh and removed afterwards: a virtual X
# display (xvfb-run) for the message boxes, a Wine prefix in a temporary folder,
# its drive A mapped to another temporary folder, and drives B and E beside it.
set -euo pipefail
if [ -z "${SLICERY_WINE_DISPLAY:-}" ]; then
  SLICERY_WINE_DISPLAY=1 exec xvfb-run -a bash "$0" "$@"
fi
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-win}"
WINEPREFIX="$(mktemp -d)"
SLICERY_WINE_VOLUME="$(mktemp -d)"
export WINEPREFIX SLICERY_WINE_VOLUME WINEARCH=win64 WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true  # this prefix's server and processes only
  # Debian's Wine keeps the server's socket folder in /tmp and names it in the
  # prefix.
  local server_dir
  server_dir="$(cat "$WINEPREFIX/wineserver" 2>/dev/null || true)"
  [[ "$server_dir" =~ ^wine-[A-Za-z0-9]+$ ]] && rm -rf "/tmp/$server_dir"
  rm -rf "$WINEPREFIX" "$SLICERY_WINE_VOLUME"
  if [ -n "${full_drive:-}" ]; then
    [ "${full_mounted:-0}" = 1 ] && { umount "$full_drive" || umount --lazy "$full_drive"; }
    rmdir "$full_drive" || true
  fi
  if [ -n "${other_drive:-}" ]; then
    if [ "${other_mounted:-0}" = 1 ]; then
      umount "$other_drive" || umount --lazy "$other_drive"
      rmdir "$other_drive" || true
    else
      rm -rf "$other_drive"
    fi
  fi
}
trap cleanup EXIT

started=$SECONDS
timeout 600 wineboot --init
# No window manager runs on the virtual display; Wine would wait up to 2 s for
# one each time a message box closes, so its windows are left unmanaged.
timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
timeout 120 wineserver -w
# A server that stays up, with Wine's own background processes started here
# away from CTest's pipes: otherwise each test would start them again and CTest
# would wait for them to end, some 3 s per test.
wineserver -p
timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1
echo "Wine prefix ready in $((SECONDS - started)) s: $WINEPREFIX"
ln -s "$SLICERY_WINE_VOLUME" "$WINEPREFIX/dosdevices/a:"
# The block size of the folder behind drive A, which the host test compares
# with the cluster size Wine reports for the drive.
SLICERY_WINE_VOLUME_UNIT="$(stat -f -c %S "$SLICERY_WINE_VOLUME")"
export SLICERY_WINE_VOLUME_UNIT
# Where a small tmpfs can be mounted (as root), it becomes drive B, which the
# host test fills up; elsewhere that test is skipped.
full_drive="$(mktemp -d)"
if mount -t tmpfs -o size=1m slicery-wine-full "$full_drive" 2>/dev/null; then
  full_mounted=1
  ln -s "$full_drive" "$WINEPREFIX/dosdevices/b:"
  export SLICERY_WINE_FULL_DRIVE='B:\'
else
  echo "No drive B: mounting a small tmpfs was refused, so the full-drive test skips."
fi

# Drive E stands for a USB stick, the drive that --volume names: a tmpfs of
# its own size where one can be mounted (its free space then cannot be drive
# A's), else a plain folder.
other_drive="$(mktemp -d)"
if mount -t tmpfs -o size=4m slicery-wine-other "$other_drive" 2>/dev/null; then
  other_mounted=1
  export SLICERY_WINE_OTHER_SIZE=4194304
else
  echo "Drive E is a plain folder: mounting a small tmpfs was refused."
fi
ln -s "$other_drive" "$WINEPREFIX/dosdevices/e:"
export SLICERY_WINE_OTHER_DRIVE='E:' SLICERY_WINE_OTHER_VOLUME="$other_drive"

# One test at a time: the host test and the smoke test share drive A.
started=$SECONDS
ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 600
echo "Windows tests under Wine: $((SECONDS - started)) s"
