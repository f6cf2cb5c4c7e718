#!/usr/bin/env bash
# Drives the real slicery.exe under Wine through its message boxes:
#   tests/windows/smoke_test.sh <slicery.exe>
# Needs an X display (xvfb-run), xdotool, WINEPREFIX set to a prefix whose drive
# A is mapped, and SLICERY_WINE_VOLUME naming the folder behind A:
# (tests/windows/run-under-wine.sh provides all of it).
#
# 1. The menu appears with the caption "Slicery"; Escape answers Cancel and the
#    program ends with status 0.
# 2. A one-volume split of a small file onto A:, then its reconstitution to a new
#    location, answered with keys; typed names come from standard input. The
#    rebuilt file, the volume's files and each box's text are checked.
# 3. With --volume e:, a split onto drive E (SLICERY_WINE_OTHER_VOLUME names
#    the folder behind it), which leaves drive A as it was; --volume E:/ is
#    refused with status 2 before any box.
# Every wait is bounded, so a box that never comes fails the test instead of
# hanging it. KEEP=1 keeps the scratch folder with the console and box logs.
set -euo pipefail
exe="$1"
: "${WINEPREFIX:?WINEPREFIX must name a Wine prefix with drive A mapped}"
: "${SLICERY_WINE_VOLUME:?SLICERY_WINE_VOLUME must name the folder behind A:}"
: "${DISPLAY:?an X display is needed (run under xvfb-run)}"
BOX_TIMEOUT="${BOX_TIMEOUT:-60}"  # seconds for a box to come or the program to end
volume="$SLICERY_WINE_VOLUME"
work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do
    [ -f "$f" ] && { echo "--- $f" >&2; cat -A "$f" | tail -40 >&2; }
  done
  exit 1
}

# Starts the program with standard input from $1 and the arguments after it;
# its console goes to run.out, the text of each box to run.err (Wine's msgbox
# trace).
start() {
  local input="$1"
  shift
  rm -f "$work"/run.out "$work"/run.err
  WINEDEBUG=-all,trace+msgbox wine "$exe" "$@" <"$input" >"$work/run.out" 2>"$work/run.err" &
  pid=$!
  answered=" "  # window ids are handed out afresh to each process
}

# Waits for a new visible box with caption $1 and answers it with key $2. Wine
# can leave a closed box's window on screen for a moment, so the boxes already
# answered by this process are remembered and passed over.
answer() {
  local caption="$1" key="$2" win="" id deadline=$((SECONDS + BOX_TIMEOUT))
  while [ -z "$win" ]; do
    [ $SECONDS -lt $deadline ] || fail "no new \"$caption\" box within ${BOX_TIMEOUT}s"
    kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for \"$caption\""
    for id in $(timeout 10 xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null || true); do
      [[ "$answered" == *" $id "* ]] || win="$id"
    done
    [ -n "$win" ] || sleep 0.1
  done
  answered+="$win "
  timeout 10 xdotool windowfocus --sync "$win" || fail "cannot focus \"$caption\""
  timeout 10 xdotool key "$key" || fail "cannot press $key"
}

# Waits for the program to end and checks its status is 0.
finish() {
  local deadline=$((SECONDS + BOX_TIMEOUT)) status=0
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the program did not end"
    sleep 0.1
  done
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "exit status $status"
}

# The box texts shown, in order, one per line, as Wine traces them.
box_texts() { sed -n 's/.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"\r*$/\1/p' "$work/run.err"; }

menu='Slicerer- Hollowmere Software\nVersion 1.0\nIf you would like to Slicery a file, please click YES.\nIf you would like to reconstitute a file, please click NO.'
complete='\n          Operation complete!          \nWould you like to begin another operation?'

echo "-- menu, then Escape"
: >"$work/empty.in"
start "$work/empty.in"
answer Slicery Escape
finish
[ "$(box_texts)" = "$menu" ] || fail "menu text: $(box_texts)"

echo "-- split onto A:, then reconstitute elsewhere"
rm -f "$volume"/SLICERY.*
{
  printf 'line\nCRLF\r\nEOF\x1a\0nul'
  head -c 3000 /dev/urandom
} >"$work/SOURCE.BIN"
size=$(stat -c %s "$work/SOURCE.BIN")
# Typed in lower case: the Windows host upper-cases typed paths.
win_dir="Z:${work//\//\\}"
source_typed="$(printf '%s\\source.bin' "$win_dir")"
source_path="$(printf '%s\\SOURCE.BIN' "${win_dir^^}")"
printf '%s\n%s\\out.bin\n' "$source_typed" "$win_dir" >"$work/typed.in"
start "$work/typed.in"
answer Slicery y             # menu: split
answer 'Insert Disk' Return  # OK: a blank disk is in A:
answer Slicery y             # complete; another operation
answer Slicery n             # menu: reconstitute
answer Slicery Return        # OK: the disk is in A:
answer Slicery n             # not at the recorded path: type a location
answer Slicery Return        # OK: disk #1 is in A:
answer Slicery n             # complete; no other operation
finish

expected_texts="$(printf '%s\n' "$menu" \
  'Please insert a disk into drive.  (No data on disk will be overwritten.)' \
  "$complete" "$menu" 'Please insert a disk into drive.' \
  "This operation contains a file entitled\\n${source_path//\\/\\\\}\\nWould you like to reconstitute the file at this location?" \
  'Please insert Disk #1' "$complete")"
[ "$(box_texts)" = "$expected_texts" ] ||
  fail "box texts differ:$(diff <(echo "$expected_texts") <(box_texts))"
[ -f "$work/OUT.BIN" ] || fail "no OUT.BIN (typed out.bin, upper-cased)"
cmp "$work/SOURCE.BIN" "$work/OUT.BIN" || fail "rebuilt file differs"
cmp "$work/SOURCE.BIN" "$volume/SLICERY.A2Z" || fail "chunk differs"
{ [ -f "$volume/SLICERY.L2Z" ] && [ ! -s "$volume/SLICERY.L2Z" ]; } || fail "probe file"
record="$(od -An -c "$volume/SLICERY.Q2Z" | tr -s ' \n' ' ')"
id="$(tr -d '\r' <"$volume/SLICERY.Q2Z" | sed -n 5p)"
{ [[ "$id" =~ ^[0-9]+$ ]] && [ "$id" -le 32767 ]; } || fail "operation id '$id'"
expected_record="$(printf '%s\r\n0\r\n*\r\n%s\r\n%s' "$source_path" "$size" "$id" |
  od -An -c | tr -s ' \n' ' ')"
[ "$record" = "$expected_record" ] || fail "record bytes: $record"
grep -qF "Filename: $source_path" "$work/run.out" || fail "split header"
grep -qF "] $size bytes written" "$work/run.out" || fail "split progress line"
grep -qF "] $size bytes reconstituted." "$work/run.out" || fail "reconstitute line"

echo "-- split onto drive E, named with --volume"
other="${SLICERY_WINE_OTHER_VOLUME:-}"
if [ -n "$other" ]; then
  rm -f "$other"/SLICERY.*
  cp "$volume/SLICERY.Q2Z" "$work/a-record"
  start "$work/typed.in" --volume e:
  answer Slicery y             # menu: split
  answer 'Insert Disk' Return  # OK: a blank disk is in E:
  answer Slicery n             # complete; no other operation
  finish
  cmp "$work/SOURCE.BIN" "$other/SLICERY.A2Z" || fail "chunk on E: differs"
  [ -f "$other/SLICERY.Q2Z" ] && [ -f "$other/SLICERY.L2Z" ] || fail "record or probe on E:"
  cmp "$work/a-record" "$volume/SLICERY.Q2Z" || fail "drive A was written to"
  printf '' >"$work/empty.in"
  status=0
  wine "$exe" --volume E:/ <"$work/empty.in" >"$work/bad.out" 2>"$work/bad.err" || status=$?
  [ "$status" -eq 2 ] || fail "--volume E:/ ended with status $status"
  grep -qF 'slicery: --volume must name a drive on Windows' "$work/bad.err" ||
    fail "no message for --volume E:/"
  [ ! -s "$work/bad.out" ] || fail "--volume E:/ wrote to the console"
else
  echo "skipped: SLICERY_WINE_OTHER_VOLUME names no folder behind drive E"
fi
echo "smoke test passed: menu, split and reconstitute of $size bytes, split onto E:"
