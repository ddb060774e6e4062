#!/usr/bin/env bash
# Leaving vtl with changed documents, as a user does under a virtual display: three pictures open,
# two of them inverted, then ファイル → 終了 three times. A cancelled save and a save that cannot be
# written keep the program running with the changes; the third time the first picture is saved
# under a new name and the second one's changes are declined, and the program ends with status 0.
# The saved file is then read by ImageMagick, and every other file must be untouched.
# Usage: exit_saves.sh VTL SAMPLES_DIR OUT_DIR
set -euo pipefail
vtl=$1 samples=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$out/exit-saves
mkdir -p "$out"
rm -rf "$work" "$out"/exit-*.png
# The pictures are opened from a scratch folder; "before" keeps their bytes for comparison.
mkdir -p "$work/scratch" "$work/before"
pictures=(landscape.bmp colour-bars-rle8.bmp grey-ramp.png)
for p in "${pictures[@]}"; do
  cp "$samples/$p" "$work/scratch/$p"
  cp "$samples/$p" "$work/before/$p"
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# ImageMagick's own tools; another `convert` may stand first on PATH.
im=/usr/bin

xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$vtl" "$work" "$out" "$home" "$here" <<'INNER'
set -u
vtl=$1 work=$2 out=$3 home=$4 here=$5
. "$here/lib.sh"
export VTL_HOME=$home XDG_RUNTIME_DIR=$home
shot_name=exit-failure
scratch=$work/scratch
first=$scratch/landscape.bmp second=$scratch/colour-bars-rle8.bmp third=$scratch/grey-ramp.png
question='^vtl$' saving='^画像の保存$'

"$vtl" "$first" "$second" "$third" 2>"$out/exit-stderr.txt" &
pid=$!
find_main_window
# The command line is opened after the first activation; the last picture ends up active, named
# by its caption or, once activated, by its path.
await_title "*grey-ramp.png - Vistrel"
sleep 1

# Documents are activated from the window list (&1, &2 … in the order they were opened).
activate() { key alt+w; key "$1"; await_title "$2 - Vistrel"; }
activate 1 "$first"
key alt+e; key x                     # 編集 → 色反転
activate 2 "$second"
key alt+e; key x
# The third picture active again: the question must bring the first one forward.
activate 3 "$third"

# Still running, nothing asking, the first picture named in the caption: the program kept the
# document after a save that did not happen.
kept() {
  sleep 1
  shown "$question" && fail "$1: another question followed"
  shown "$saving" && fail "$1: the save dialog is still up"
  kill -0 "$pid" 2>/dev/null || fail "$1: vtl ended"
  xdotool search --onlyvisible --name Vistrel | grep -qx "$win" || fail "$1: the main window is gone"
  await_title "$first - Vistrel"
  refocus
}
# Types a name into the save dialog, with the first type (plain BMP) chosen.
save_as() {
  await "$saving"
  key Tab; key Home; key shift+Tab; key ctrl+a
  xdotool type --delay 30 "$1"; sleep 0.3
  key Return
  await_gone "$saving"
}

# 1. The first changed document is asked about; Esc leaves the question up; the save is cancelled.
key alt+f; key x                     # ファイル → 終了
await "$question"
await_title "$first - Vistrel"
# The same box must still be there: a new one would be the next document's question.
box=$(xdotool search --onlyvisible --name "$question" | head -n 1)
key Escape
sleep 1
[ "$(xdotool search --onlyvisible --name "$question" | head -n 1)" = "$box" ] ||
  fail "Escape answered the question"
await_title "$first - Vistrel"
shown "$saving" && fail "Escape opened the save dialog"
kill -0 "$pid" 2>/dev/null || fail "Escape ended vtl"
key y
await "$saving"
key Escape
await_gone "$saving"
kept "cancelled save"

# 2. A name in a folder that does not exist: an error, and the program stays.
key alt+f; key x
await "$question"
await_title "$first - Vistrel"
key y
save_as missing/x.bmp
await "$question"                    # the error, under the program's name
key Return
await_gone "$question"
kept "failed save"
[ -e "$scratch/missing" ] && fail "the failed save made a folder"

# 3. Saved under a new name; the second document's changes are declined; the program ends.
key alt+f; key x
await "$question"
await_title "$first - Vistrel"
key y
save_as inverted.bmp
await "$question"
await_title "$second - Vistrel"
key n
status=0
await_exit || status=$?
[ "$status" -eq 0 ] || { echo "vtl ended with status $status"; cat "$out/exit-stderr.txt"; exit 1; }
exit 0
INNER

cd "$work"
fail() { echo "$*"; exit 1; }
# The first picture kept its changes through the cancelled and the failed save: what was written
# in the end is the inverted sample.
[ -f scratch/inverted.bmp ] || fail "inverted.bmp was not written"
size=$("$im/identify" -format '%wx%h' scratch/inverted.bmp) || fail "identify cannot read inverted.bmp"
[ "$size" = "$("$im/identify" -format '%wx%h' before/landscape.bmp)" ] || fail "inverted.bmp is $size"
"$im/convert" before/landscape.bmp -negate negated.png
diff=$("$im/compare" -metric AE negated.png scratch/inverted.bmp null: 2>&1 || true)
[ "$diff" = 0 ] || fail "inverted.bmp differs from the inverted picture in $diff pixels"
# The declined and the untouched pictures, and the first one's own file, are as they were; nothing
# else was written.
for p in "${pictures[@]}"; do
  cmp -s "before/$p" "scratch/$p" || fail "$p was changed"
done
extra=$(cd scratch && ls -A | grep -vxE 'landscape\.bmp|colour-bars-rle8\.bmp|grey-ramp\.png|inverted\.bmp' || true)
[ -z "$extra" ] || fail "unexpected files in the scratch folder: $extra"
rm -f negated.png
echo "exit with changes: saved, kept and declined as asked"
