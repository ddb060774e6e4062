#!/usr/bin/env bash
# Whole-process speed and peak memory of vtlc against its peers, on inputs made here: a 6000x4000
# photo-like picture as 24-bit BMP, PNG (zlib level 7, adaptive filters) and JPEG q90 4:2:0, and
# 200 photo-like JPEGs of 1600x1200 for thumbnails.
#
#   bench/whole_process.sh [BUILD_DIR] [RUNS] [FILTER]    e.g. bench/whole_process.sh build 5 blur
#
# Each row runs vtlc and the peer with hyperfine (both in one invocation, RUNS timed runs each
# after a warm-up) and prints the two medians and their ratio, vtlc / peer: below 1 vtlc is faster.
# Peak memory (maximum resident set) comes from GNU time on one more run of each. FILTER keeps only
# the rows whose name contains it. The inputs are kept in $VTL_BENCH_DIR when it is set, so that
# runs after the first skip making them.
set -euo pipefail
build=${1:-build}
runs=${2:-5}
filter=${3:-}
vtlc=$(realpath "$build/src/tools/vtlc/vtlc")
for tool in hyperfine convert djpeg cjpeg vipsthumbnail /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "whole_process: $tool is missing (tools/install-deps)" >&2; exit 2; }
done
python=/usr/bin/python3

if [ -n "${VTL_BENCH_DIR:-}" ]; then
  work=$VTL_BENCH_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
export VTL_HOME=$work/home
in=$work/in
out=$work/out
mkdir -p "$in" "$out"

# ---- inputs ----
if [ ! -f "$in/photo.bmp" ]; then
  echo "making the inputs in $work ..." >&2
  # A fractal landscape softened as a lens would, with fine grain: neither flat nor noise.
  convert -seed 7 -size 6000x4000 plasma:fractal -blur 0x3 -attenuate 0.4 +noise Gaussian \
    -depth 8 -type TrueColor "BMP3:$in/photo.bmp"
  convert "$in/photo.bmp" "$in/photo.ppm"
  convert "$in/photo.bmp" -define png:compression-level=7 -define png:compression-filter=5 \
    "$in/photo.png"
  cjpeg -quality 90 -sample 2x2 -outfile "$in/photo.jpg" "$in/photo.ppm"
  mkdir -p "$in/photos"
  for i in $(seq 0 9); do
    convert -seed "$i" -size 1600x1200 plasma:fractal -blur 0x2 -quality 90 \
      -sampling-factor 2x2 "$in/photos/p$i.jpg"
  done
  for i in $(seq 10 199); do cp "$in/photos/p$((i % 10)).jpg" "$in/photos/p$i.jpg"; done
fi

cat >"$work/pillow_thumbs.py" <<'EOF'
# Thumbnails of every JPEG in a folder, decoded at a reduced scale (draft mode), kept in memory
# and written as one strip, as a thumbnail cache would be.
import sys, pathlib
from PIL import Image
folder = pathlib.Path(sys.argv[1])
thumbs = []
for path in sorted(folder.glob("*.jpg")):
    with Image.open(path) as im:
        im.draft("RGB", (64, 48))
        im.thumbnail((64, 48))
        thumbs.append(im.convert("RGB"))
strip = Image.new("RGB", (64, 48 * len(thumbs)))
for i, t in enumerate(thumbs):
    strip.paste(t, (0, 48 * i))
strip.save(sys.argv[2])
EOF

# ---- one row ----
printf '%-34s %10s %10s %7s %9s %9s\n' "work" "vtlc (s)" "peer (s)" "ratio" "vtlc MiB" "peer MiB"
median() { # hyperfine JSON, command index
  "$python" -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]["median"])' "$1" "$2"
}
peak() { # command... -> MiB of maximum resident set
  /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.0f", $1 / 1024 }' "$work/time.txt"
}
row() { # name, vtlc command, peer command, [prepare command]
  local name=$1 ours=$2 peer=$3 prepare=${4:-true}
  if [ -n "$filter" ] && [[ "$name" != *"$filter"* ]]; then return; fi
  hyperfine --style none --warmup 1 --runs "$runs" --prepare "$prepare" \
    --export-json "$work/row.json" "$ours" "$peer" >/dev/null 2>&1
  local a b
  a=$(median "$work/row.json" 0)
  b=$(median "$work/row.json" 1)
  eval "$prepare"
  local ma mb
  ma=$(peak bash -c "$ours")
  eval "$prepare"
  mb=$(peak bash -c "$peer")
  awk -v n="$name" -v a="$a" -v b="$b" -v ma="$ma" -v mb="$mb" \
    'BEGIN { printf "%-34s %10.3f %10.3f %7.3f %9s %9s\n", n, a, b, a / b, ma, mb }'
}

V=$vtlc
I=$in
O=$out
row "JPEG -> 24-bit BMP (djpeg)" "$V convert $I/photo.jpg $O/a.bmp" "djpeg -bmp -outfile $O/b.bmp $I/photo.jpg"
row "BMP -> JPEG q90 (cjpeg, from PPM)" "$V convert $I/photo.bmp $O/a.jpg --quality 90" \
  "cjpeg -quality 90 -outfile $O/b.jpg $I/photo.ppm"
row "PNG -> BMP" "$V convert $I/photo.png $O/a.bmp" "convert $I/photo.png BMP3:$O/b.bmp"
row "BMP -> PNG" "$V convert $I/photo.bmp $O/a.png" "convert $I/photo.bmp $O/b.png"
row "BMP -> BMP" "$V convert $I/photo.bmp $O/a.bmp" "convert $I/photo.bmp BMP3:$O/b.bmp"
op() { # name, vtlc operation, ImageMagick operation
  row "$1" "$V apply $I/photo.bmp $O/a.bmp $2" "convert $I/photo.bmp $3 BMP3:$O/b.bmp"
}
op "gray" "gray" "-colorspace gray"
op "blur small" "blur small" "-blur 0x1"
op "sharpen" "sharpen" "-morphology Convolve 3x3:0,-1,0,-1,5,-1,0,-1,0"
op "median" "median" "-statistic Median 3x3"
op "oil small" "oil small" "-paint 3"
op "256 colours, dithered" "reduce256 dynamic dither" "-dither FloydSteinberg -colors 256"
op "16 colours, dithered" "reduce16 dynamic1 dither" "-dither FloydSteinberg -colors 16"
op "rotate 45" "rotate 45" "-rotate 45"
op "rotate 90" "rotate right" "-rotate 90"
op "resize 50 %" "resize 3000 2000" "-resize 50%"
cold="rm -f $I/photos/vtl.snx; rm -rf $O/vips; mkdir -p $O/vips"
row "cold thumbnails, 200 photos (Pillow)" "$V thumbs $I/photos" \
  "$python $work/pillow_thumbs.py $I/photos $O/strip.png" "$cold"
row "cold thumbnails, 200 photos (vips)" "$V thumbs $I/photos" \
  "vipsthumbnail -s 64x48 -o $O/vips/%s.jpg $I/photos/*.jpg" "$cold"
"$V" thumbs "$I/photos" >/dev/null
row "warm thumbnails (vs cold)" "$V thumbs $I/photos" \
  "rm -f $I/photos/vtl.snx; $V thumbs $I/photos"
echo "($(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), medians of $runs runs)"
