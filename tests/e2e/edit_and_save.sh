#!/usr/bin/env bash
# vtl as a user edits with it, under a virtual display: a range dragged over a 256-colour picture,
# copied and pasted into a new document; a free line and a text drawn there, the text undone; the
# result saved in each of the seven kinds the save dialog offers; the JPEG save undone, and the
# document closed with "save" answered yes. Every file is then read by independent tools.
# Usage: edit_and_save.sh VTL SAMPLES_DIR OUT_DIR
set -euo pipefail
vtl=$1 samples=$2 out=$3
mkdir -p "$out"
rm -rf "$out"/edit-*.png "$out/saved"
mkdir -p "$out/saved"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# ImageMagick's own tools; another `convert` may stand first on PATH.
im=/usr/bin

xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$vtl" "$samples" "$out" "$home" <<'INNER'
set -u
vtl=$1 samples=$2 out=$3 home=$4
export VTL_HOME=$home XDG_RUNTIME_DIR=$home
# The X keyboard library reads past a buffer it hands to strndup while Qt connects to the display;
# that is outside the program, so the sanitizer's strndup check is off for this run only.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:intercept_strndup=0"
im=/usr/bin
# The new document has no folder: its save dialog starts in the working folder.
cd "$out/saved"
"$vtl" "$samples/colour-bars-rle8.bmp" 2>"$out/stderr.txt" &
pid=$!
fail() { echo "$*"; kill -9 "$pid" 2>/dev/null; exit 1; }
grab() { sleep 0.8; import -window root "$out/$1.png" 2>/dev/null || true; }
key() { xdotool key "$@"; sleep 0.4; }
# Waits until a window whose caption begins with $1 is shown.
await() {
  for _ in $(seq 1 40); do
    xdotool search --onlyvisible --name "^$1" >/dev/null 2>&1 && return 0
    sleep 0.25
  done
  fail "no window \"$1\" appeared"
}
# Without a window manager nobody gives the focus back when a dialog closes.
refocus() { sleep 0.4; xdotool windowfocus --sync "$win" 2>/dev/null || true; sleep 0.3; }
drag() { # x0 y0 x1 y1: a press, five steps of movement, a release
  xdotool mousemove "$1" "$2" mousedown 1
  for s in 1 2 3 4 5; do
    xdotool mousemove $(($1 + ($3 - $1) * s / 5)) $(($2 + ($4 - $2) * s / 5))
    sleep 0.1
  done
  xdotool mouseup 1
  sleep 0.5
}
# The top-left pixel of a picture on the screen: the first run of exactly $2 red pixels followed by
# yellow, in two rows five apart (the colour bars begin with red, then yellow).
locate() {
  "$im/convert" "$out/$1.png" -crop 800x600+0+0 txt:- | awk -v w="$2" '
    NR > 1 { split($1, p, /[,:]/); c[p[1] "," p[2]] = $3; if (p[1] > mx) mx = p[1]; if (p[2] > my) my = p[2] }
    function red(x, y) { return c[x "," y] == "#FF0000" }
    function run(x, y) { return red(x, y) && !red(x - 1, y) && red(x + w - 1, y) && c[(x + w) "," y] == "#FFFF00" }
    END { for (y = 0; y <= my - 5; y++) for (x = 1; x <= mx - w; x++) if (run(x, y) && run(x, y + 5)) { print x, y; exit } }'
}
# Pixels of colour $3 in the box $2 (WxH+X+Y) of screenshot $1.
count() { "$im/convert" "$out/$1.png" -crop "$2" txt:- | grep -c "$3" || true; }
# Save as, with the filter chosen in the dialog's type box (1-based) and a name typed in; a third
# argument says another dialog follows, which keeps the focus.
save() {
  key ctrl+s
  await 画像の保存
  key Tab; key Home
  for _ in $(seq 2 "$1"); do key Down; done
  key shift+Tab; key ctrl+a
  xdotool type --delay 30 "$2"; sleep 0.3
  key Return
  [ $# -gt 2 ] || refocus
}

win=""
for _ in $(seq 1 60); do
  win=$(xdotool search --name 'Vistrel' 2>/dev/null | head -n 1 || true)
  [ -n "$win" ] && break
  sleep 0.5
done
[ -n "$win" ] || fail "no window appeared"
xdotool windowfocus --sync "$win" 2>/dev/null || true
sleep 2
grab edit-start
read -r ox oy < <(locate edit-start 32) || fail "the picture is not on the screen"

# A range from picture point (20, 20) to (180, 110), dragged at 100 %.
drag $((ox + 20)) $((oy + 20)) $((ox + 180)) $((oy + 110))
grab edit-selection
key alt+e; key h                     # 編集 → 範囲コピー
key alt+f; key n                     # ファイル → 新規作成
key alt+e; key p                     # 編集 → 貼り付け
grab edit-pasted
# The pasted range starts 12 pixels before the red bar's end.
read -r px py < <(locate edit-pasted 12) || fail "the pasted range is not on the screen"

key alt+i; key l                     # 挿入 → 自由線
drag $((px + 5)) $((py + 70)) $((px + 150)) $((py + 70))
key alt+i; key i                     # 挿入 → 文字入力
xdotool mousemove $((px + 40)) $((py + 20)) click 1
await 文字の入力
xdotool type --delay 50 "Hi"
key Return
refocus
grab edit-text
key alt+e; key u                     # 編集 → 元に戻す: the text goes, the line stays

save 1 plain.bmp
save 2 rle.bmp
save 4 normal.png
save 5 interlaced.png
save 6 transparent.png
save 7 both.png
save 3 photo.jpg then-quality
await 品質
key ctrl+a; xdotool type "75"; key Return   # 品質
refocus
key alt+e; key u                     # back to the picture before compression: changed again
key alt+f; key c                     # ファイル → 閉じる
key y                                # save the changes? yes
await 画像の保存
key Tab; key Home; key shift+Tab; key ctrl+a
xdotool type --delay 30 "closing.bmp"; sleep 0.3
key Return
refocus
grab edit-closed
key alt+f; key x                     # ファイル → 終了
for _ in $(seq 1 60); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$pid" 2>/dev/null; then fail "vtl did not close"; fi
wait "$pid"
status=$?
[ "$status" -eq 0 ] || { echo "vtl ended with status $status"; cat "$out/stderr.txt"; exit "$status"; }

# The text was drawn in black from the click to the right and down, on the yellow and green bars;
# nothing left of the click or above it.
[ "$(count edit-text 30x16+$((px + 40))+$((py + 20)) '#000000')" -gt 10 ] || fail "no text at the click"
[ "$(count edit-text 10x16+$((px + 30))+$((py + 20)) '#000000')" -eq 0 ] || fail "text left of the click"
[ "$(count edit-text 30x8+$((px + 40))+$((py + 12)) '#000000')" -eq 0 ] || fail "text above the click"
echo "$ox $oy $px $py" >"$out/positions.txt"
INNER
status=$?
[ "$status" -eq 0 ] || exit "$status"

cd "$out/saved"
fail() { echo "$*"; exit 1; }
for f in plain.bmp rle.bmp photo.jpg normal.png interlaced.png transparent.png both.png closing.bmp; do
  [ -f "$f" ] || fail "$f was not written"
  [ "$("$im/identify" -format '%wx%h' "$f")" = 160x90 ] || fail "$f: $("$im/identify" "$f")"
done
# BMP header: 8 bits per pixel; plain, then RLE8 (compression 1).
header() { od -An -tu2 -j28 -N4 "$1" | tr -s ' '; }
[ "$(header plain.bmp)" = " 8 0" ] || fail "plain.bmp: bits and compression$(header plain.bmp)"
[ "$(header rle.bmp)" = " 8 1" ] || fail "rle.bmp: bits and compression$(header rle.bmp)"
for f in normal.png interlaced.png transparent.png both.png; do
  pngcheck -q "$f" >/dev/null || fail "pngcheck refuses $f: $(pngcheck "$f")"
done
pngcheck -v interlaced.png | grep -q ', interlaced' || fail "interlaced.png is not interlaced"
pngcheck -v both.png | grep -q ', interlaced' || fail "both.png is not interlaced"
pngcheck -v normal.png | grep -q ', non-interlaced' || fail "normal.png is interlaced"
for f in transparent.png both.png; do
  pngcheck -v "$f" | grep -q tRNS || fail "$f has no transparent colour"
done
djpeg -pnm photo.jpg | "$im/identify" -format '%wx%h' - | grep -qx 160x90 || fail "djpeg can't read photo.jpg"
[ "$("$im/identify" -format '%Q' photo.jpg)" = 75 ] || fail "photo.jpg: quality $("$im/identify" -format '%Q' photo.jpg), not 75"

# Same pixels in every lossless file; the JPEG close to them.
same() { "$im/compare" -metric AE "$1" "$2" null: 2>&1 || true; }
for f in rle.bmp normal.png interlaced.png closing.bmp; do
  [ "$(same plain.bmp "$f")" = 0 ] || fail "$f differs from plain.bmp in $(same plain.bmp "$f") pixels"
done
for f in transparent.png both.png; do
  "$im/convert" "$f" -alpha off "opaque-$f"
  [ "$(same plain.bmp "opaque-$f")" = 0 ] || fail "$f differs from plain.bmp"
  # The bottom-left colour (the red bar) is transparent, the others opaque.
  [ "$("$im/convert" "$f" -format '%[fx:p{0,89}.a]' info:)" = 0 ] || fail "$f: red is not transparent"
  [ "$("$im/convert" "$f" -format '%[fx:p{20,10}.a]' info:)" = 1 ] || fail "$f: yellow is not opaque"
done
psnr=$("$im/compare" -metric PSNR plain.bmp photo.jpg null: 2>&1 || true)
awk -v p="$psnr" 'BEGIN { exit !(p + 0 >= 25) }' || fail "photo.jpg is far from the picture (PSNR $psnr)"

# Above the line the picture is the dragged range of the sample, without the undone text; the
# line is black across the middle.
"$im/convert" "$samples/colour-bars-rle8.bmp" -crop 160x60+20+20 +repage range.png
"$im/convert" plain.bmp -crop 160x60+0+0 +repage top.png
[ "$(same range.png top.png)" = 0 ] || fail "the saved picture is not the dragged range"
[ "$("$im/convert" plain.bmp -format '%[hex:p{80,70}]' info:)" = 000000 ] || fail "no line in the saved picture"
rm -f range.png top.png opaque-*.png
echo "edit and save: all files read back"
