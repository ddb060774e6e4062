#!/usr/bin/env bash
# vtlc on a folder of 200 photos at different -j: wall time, the speed-up against -j 1, and a
# check that every -j writes the same bytes.
#   bench/vtlc_batch.sh [BUILD_DIR] [JOBS...]      e.g. bench/vtlc_batch.sh build 1 2
set -euo pipefail
build=${1:-build}
shift || true
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(1 "$(nproc)")
vtlc=$(realpath "$build/src/tools/vtlc/vtlc")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VTL_HOME=$work/home

# Ten different 1600x1200 photo-like JPEGs (q90, 4:2:0), each present twenty times.
mkdir "$work/photos"
for i in $(seq 0 9); do
  convert -seed "$i" -size 1600x1200 plasma:fractal -blur 0x2 -quality 90 \
    -sampling-factor 2x2 "$work/photos/p$i.jpg"
done
for i in $(seq 10 199); do cp "$work/photos/p$((i % 10)).jpg" "$work/photos/p$i.jpg"; done

run() { # jobs -> seconds
  rm -rf "$work/out$1"
  local start end
  start=$(date +%s.%N)
  "$vtlc" apply -q -j "$1" -o "$work/out$1" "$work/photos" -- resize 800 600 --as jpeg
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

echo "vtlc apply -o OUT photos -- resize 800 600 --as jpeg   (200 photos of 1600x1200, $(nproc) cores)"
base=""
for j in "${jobs[@]}"; do
  best=""
  for _ in 1 2 3; do
    t=$(run "$j")
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  [ -z "$base" ] && base=$best
  awk -v j="$j" -v t="$best" -v b="$base" 'BEGIN { printf "-j %-3s %6.2f s   speed-up %.2f\n", j, t, b / t }'
  if [ "$j" != "${jobs[0]}" ] && ! diff -rq "$work/out${jobs[0]}" "$work/out$j" >/dev/null; then
    echo "-j $j wrote other bytes than -j ${jobs[0]}" >&2
    exit 1
  fi
done
