#!/usr/bin/env bash
# Builds Slicery and runs it on demo disks: folders disk1, disk2, disk3 in the
# demo folder (build/demo), one of which at a time is in the demo drive, a
# folder that behaves as a 1.44 MB floppy drive. scripts/demo-disk.sh changes
# the disk. A sample file to split waits beside them.
#   scripts/demo.sh          start with blank disks and no rebuilt file
#   scripts/demo.sh --keep   keep the disks and the rebuilt file of the last run
# In a terminal with tmux: two panes, Slicery in one, the instructions and a
# shell for the disk commands in the other. Otherwise the instructions are
# printed before Slicery starts. They are also in HOW-TO.txt in the demo folder.
# SLICERY_DEMO_DIR names another demo folder; SLICERY_DEMO_PROGRAM runs that
# slicery instead of building one (both for the tests).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
demo="${SLICERY_DEMO_DIR:-$root/build/demo}"
export SLICERY_DEMO_DIR="$demo"
volume_size=1457664
sample_size=3000000

# Runs Slicery in the demo folder with the demo drive as its volume, and the
# demo's own state folder for the journal of a split.
run_program() {
  cd "$demo"
  local status=0
  SLICERY_VOLUME="$demo/drive" SLICERY_VOLUME_SIZE=$volume_size \
    XDG_STATE_HOME="$demo/state" "$SLICERY_DEMO_PROGRAM" || status=$?
  echo
  echo "Slicery ended (exit status $status)."
}

write_howto() {
  cat >"$demo/HOW-TO.txt" <<EOT
Slicery demo in $demo: split sample.bin ($sample_size bytes)
onto 1.44 MB disks (folders disk1..disk3; the drive holds one of them at a
time), then rebuild it as rebuilt.bin. Answer Slicery with a letter, then
Enter; change disks with these commands, beside it or in another terminal:
  disk insert N   put diskN in the drive     disk eject    disk list
Split:   Y; type sample.bin, Enter; O (disk1 is in). At the next "Insert
         Disk": disk insert 2 here, then O there; disk insert 3, O.
         At "Operation complete!": Y, back to the menu.
Rebuild: N; O (any disk of the set will do); N to "at this location?";
         type rebuilt.bin, Enter. "Please insert Disk #1": disk insert 1, O;
         the same for #2 and #3. At "Operation complete!": N ends Slicery.
Check:   cmp sample.bin rebuilt.bin && echo identical
(disk is $root/scripts/demo-disk.sh)
EOT
}

# The shell of the instructions pane: `disk` changes the disk and shows the
# instructions again above the result, so they stay in view.
write_shell_rc() {
  local q_root q_demo
  q_root="$(printf %q "$root")"
  q_demo="$(printf %q "$demo")"
  cat >"$demo/.demo-shell.rc" <<EOT
[ -f ~/.bashrc ] && . ~/.bashrc
export SLICERY_DEMO_DIR=$q_demo
howto() { clear; cat $q_demo/HOW-TO.txt; }
disk() { local out; out="\$($q_root/scripts/demo-disk.sh "\$@" 2>&1)"; howto; echo "\$out"; }
cd $q_demo
PS1='demo\$ '
howto
EOT
}

# Unless asked to keep them, what the last run left goes: the disk set's three
# files on each demo disk and the rebuilt file, with what a rebuild over it
# that stopped early left beside it, and the journal of a split. Then disk1 in the drive, the sample and
# the instructions.
prepare() {
  local keep="$1" n
  mkdir -p "$demo"
  [ -f "$demo/sample.bin" ] || head -c $sample_size /dev/urandom >"$demo/sample.bin"
  for n in 1 2 3; do mkdir -p "$demo/disk$n"; done
  if [ "$keep" = 0 ]; then
    rm -f "$demo"/disk[0-9]*/SLICERY.A2Z "$demo"/disk[0-9]*/SLICERY.Q2Z \
      "$demo"/disk[0-9]*/SLICERY.L2Z "$demo/rebuilt.bin" \
      "$demo"/rebuilt.bin.slicery-partial*
    rm -rf "$demo/state"
  fi
  "$root/scripts/demo-disk.sh" insert 1 >/dev/null
  write_howto
  write_shell_rc
}

# Opens the instructions pane beside the current one and prints its id: side by
# side where the window is wide enough for both, otherwise below, as tall as the
# text.
open_instructions_pane() {
  local width height lines
  width="$(tmux display-message -p '#{window_width}')"
  height="$(tmux display-message -p '#{window_height}')"
  local shell=(bash --rcfile "$demo/.demo-shell.rc" -i)
  if [ "$width" -ge 150 ]; then
    tmux split-window -h -d -P -F '#{pane_id}' -c "$demo" "$(printf '%q ' "${shell[@]}")"
  else
    lines=$(($(wc -l <"$demo/HOW-TO.txt") + 3))
    [ "$lines" -le $((height / 2 + 4)) ] || lines=$((height / 2 + 4))
    tmux split-window -v -d -P -F '#{pane_id}' -l "$lines" -c "$demo" \
      "$(printf '%q ' "${shell[@]}")"
  fi
}

# Inside the demo's own tmux session: titles and mouse for this session only,
# the two panes, Slicery, then the session closes, also when Slicery is
# interrupted.
run_in_own_session() {
  local session="$1"
  # shellcheck disable=SC2064  # the name is fixed now, while it is in scope
  trap "tmux kill-session -t $(printf %q "$session")" EXIT
  tmux set-option -t "$session" mouse on >/dev/null
  tmux set-option -t "$session" pane-border-status top >/dev/null
  tmux select-pane -T "Slicery: answer here"
  local pane
  pane="$(open_instructions_pane)"
  tmux select-pane -t "$pane" -T "disk commands here (change pane: a click, or Ctrl-b then an arrow key)"
  run_program
  read -r -p "Press Enter to close the demo. " _ || true
}

main() {
  local keep=0
  case "${1:-}" in
    --keep) keep=1 ;;
    --own-session)
      run_in_own_session "$2"
      return
      ;;
    "") ;;
    *)
      echo "usage: scripts/demo.sh [--keep]" >&2
      exit 2
      ;;
  esac
  if [ -z "${SLICERY_DEMO_PROGRAM:-}" ]; then
    "$root/scripts/ensure-packages.sh" g++ cmake make libgtest-dev libisal-dev libxxhash-dev tmux
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build" --target slicery -j"$(nproc)" >/dev/null
    export SLICERY_DEMO_PROGRAM="$root/build/slicery"
  fi
  prepare "$keep"
  if [ -t 0 ] && [ -t 1 ] && command -v tmux >/dev/null; then
    if [ -n "${TMUX:-}" ]; then
      # Already in tmux: the instructions go beside this pane.
      open_instructions_pane >/dev/null
      run_program
      echo "The instructions pane stays open; 'exit' there closes it."
    else
      local session="slicery-demo-$$"
      exec tmux new-session -s "$session" -c "$demo" \
        "$(printf '%q ' env SLICERY_DEMO_DIR="$demo" \
          SLICERY_DEMO_PROGRAM="$SLICERY_DEMO_PROGRAM" bash "$root/scripts/demo.sh" \
          --own-session "$session")"
    fi
  else
    cat "$demo/HOW-TO.txt"
    if [ -t 0 ]; then read -r -p "Press Enter to start Slicery. " _ || true; fi
    run_program
  fi
}

main "$@"
