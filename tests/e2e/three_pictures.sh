#!/usr/bin/env bash
# vtl as a user drives it, under a virtual display: three pictures from the command line, tiled,
# one zoomed to 400 %, the options dialog opened and cancelled, then the program closed from its
# menu. It must end by itself with status 0 (under ASan that also means no leak was reported).
# Usage: three_pictures.sh VTL SAMPLES_DIR OUT_DIR
set -euo pipefail
vtl=$1 samples=$2 out=$3
mkdir -p "$out"
rm -f "$out"/*.png
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$vtl" "$samples" "$out" "$home" <<'INNER'
set -u
vtl=$1 samples=$2 out=$3 home=$4
export VTL_HOME=$home XDG_RUNTIME_DIR=$home
# The X keyboard library reads past a buffer it hands to strndup while Qt connects to the display;
# that is outside the program, so the sanitizer's strndup check is off for this run only.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:intercept_strndup=0"
"$vtl" "$samples/landscape.bmp" "$samples/grey-ramp.png" "$samples/landscape.jpg" 2>"$out/stderr.txt" &
pid=$!
shot() { sleep 1; import -window root "$out/$1.png" 2>/dev/null || true; }
key() { xdotool key --window "$win" "$@"; sleep 0.7; }

win=""
for _ in $(seq 1 60); do
  win=$(xdotool search --name 'Vistrel' 2>/dev/null | head -n 1 || true)
  [ -n "$win" ] && break
  sleep 0.5
done
if [ -z "$win" ]; then echo "no window appeared"; kill "$pid"; exit 1; fi
xdotool windowfocus --sync "$win" 2>/dev/null || true
sleep 2
shot main-window
key alt+w; key h                    # ウインドウ → 横に並べる
shot tiled
key alt+v; key s; key Up; key Up; key Return   # 表示 → 表示サイズ → 400%
shot zoom-400
key alt+v; key o                    # 表示 → オプション
shot options-dialog
key Escape                          # キャンセル
xdotool windowfocus --sync "$win" 2>/dev/null || true
sleep 1
key alt+f; key x                    # ファイル → 終了
for _ in $(seq 1 60); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$pid" 2>/dev/null; then echo "vtl did not close"; kill -9 "$pid"; exit 1; fi
wait "$pid"
status=$?
[ "$status" -eq 0 ] || { echo "vtl ended with status $status"; cat "$out/stderr.txt"; }
exit "$status"
INNER
