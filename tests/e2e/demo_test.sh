#!/usr/bin/env bash
# Drives scripts/demo.sh as a person would, through tmux: reads both panes,
# answers Slicery in its pane and changes disks with `disk` in the other. Splits
# the sample onto the demo disks, rebuilds it under another name and checks
# that the rebuilt file is identical to the sample.
#   tests/e2e/demo_test.sh <slicery binary>
set -euo pipefail
program="$1"
root="$(cd "$(dirname "$0")/../.." && pwd)"
if ! command -v tmux >/dev/null; then
  echo "SKIP: tmux is not installed (scripts/test.sh installs it)"
  exit 77
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/slicery-demo-test.XXXXXX")"
demo="$work/demo"
# A tmux server of this test's own, on its own socket.
tm() { tmux -S "$work/tmux.sock" "$@"; }
trap 'tm kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# Pane 0 is Slicery, pane 1 the instructions and the shell beside it.
screen() { tm capture-pane -p -J -t "demo:0.$1"; }
show_panes() {
  for pane in 0 1; do
    echo "---- pane $pane"
    screen "$pane" | sed -e 's/[[:space:]]*$//' | cat -s
  done
}
fail() {
  echo "FAIL: $*"
  show_panes
  exit 1
}
# Waits until pane $1 shows at least $3 lines holding the text $2.
wait_count() {
  local deadline=$((SECONDS + 30))
  until [ "$(screen "$1" | grep -cF -- "$2")" -ge "$3" ]; do
    [ $SECONDS -lt $deadline ] || fail "pane $1 did not show \"$2\" ($3 times) in 30 s"
    sleep 0.1
  done
}
wait_for() { wait_count "$1" "$2" 1; }
answer() { tm send-keys -t demo:0.0 -l "$1" && tm send-keys -t demo:0.0 Enter; }
shell() { tm send-keys -t demo:0.1 -l "$1" && tm send-keys -t demo:0.1 Enter; }
disk() {
  shell "disk insert $1"
  wait_for 1 "disk$1 is in the drive: $2"
}

tm new-session -d -s demo -x 200 -y 50 \
  "$(printf '%q ' env SLICERY_DEMO_DIR="$demo" SLICERY_DEMO_PROGRAM="$program" \
    bash "$root/scripts/demo.sh")" \; set-option -g remain-on-exit on

wait_for 0 "[Y]es / [N]o / [C]ancel:"
wait_for 1 "disk insert N   put diskN in the drive"
wait_for 1 'demo$'

# Split: disk1 is in the drive already, disks 2 and 3 go in when asked for.
answer y
wait_for 0 "Please enter the filename to slicery:"
answer sample.bin
wait_for 0 "== Insert Disk =="
answer o
for n in 2 3; do
  wait_count 0 " bytes written" $((n - 1))
  wait_count 0 "== Insert Disk ==" "$n"
  disk "$n" blank
  answer o
done
wait_count 0 " bytes written" 3
wait_for 0 "Operation complete!"
answer y

# Rebuild as rebuilt.bin, with disk3 still in the drive for the identification.
wait_for 0 "If you would like to reconstitute a file, please click NO."
answer n
wait_for 0 "[O]K / [C]ancel:"
answer o
wait_for 0 "Would you like to reconstitute the file at this location?"
answer n
wait_for 0 "Please enter desired location to reconstitute."
answer rebuilt.bin
for n in 1 2 3; do
  wait_for 0 "Please insert Disk #$n"
  disk "$n" "disk #$n of sample.bin"
  answer o
done
wait_count 0 " bytes reconstituted." 3
wait_for 0 "Operation complete!"
answer n
wait_for 0 "Slicery ended (exit status 0)."

shell 'cmp sample.bin rebuilt.bin; echo "cmp says $?"'
wait_for 1 "cmp says 0"
show_panes

# What the disks and the folder hold, checked apart from the panes.
cmp "$demo/sample.bin" "$demo/rebuilt.bin" || fail "rebuilt.bin differs from sample.bin"
[ "$(stat -c %s "$demo/sample.bin")" -eq 3000000 ] || fail "the sample is not 3000000 bytes"
sizes="$(stat -c %s "$demo"/disk{1,2,3}/SLICERY.A2Z | tr '\n' ' ')"
[ "$sizes" = "1457064 1457064 85872 " ] || fail "chunk sizes on the disks: $sizes"
[ "$(readlink "$demo/drive")" = disk3 ] || fail "disk3 is not in the drive"
echo "demo: 1 passed, 0 failed"
