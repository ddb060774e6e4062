#!/usr/bin/env bash
# A second start of vtl while one runs, as a user types it in a terminal under a virtual display:
# `vtl NAME` with a relative name hands the file to the running program and ends at once with
# status 0, and the running program opens it by its full path; a setting file named the same way
# restores its document; "-n" first opens nothing. With the lock held and nobody answering on the
# socket, the second start says so and names every file it did not open, with status 1.
# Usage: second_start.sh VTL SAMPLES_DIR OUT_DIR
set -euo pipefail
vtl=$1 samples=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$out/second-start
mkdir -p "$out"
rm -rf "$work" "$out"/second-*.png
mkdir -p "$work/pictures/a folder"
cp "$samples/landscape.bmp" "$work/pictures/a folder/first one.bmp"
cp "$samples/grey-ramp.png" "$work/pictures/ramp.png"
# A setting file: the marker line, then zoom, path, caption and bounds of one document.
printf '%%vtl%%\r\n3,%s,restored-ramp,20,20,300,200\r\n' "$work/pictures/ramp.png" >"$work/pictures/set.vtl"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$vtl" "$work" "$out" "$home" "$here" <<'INNER'
set -u
vtl=$1 work=$2 out=$3 home=$4 here=$5
. "$here/lib.sh"
export VTL_HOME=$home XDG_RUNTIME_DIR=$home
shot_name=second-failure

"$vtl" 2>"$out/second-stderr.txt" &
pid=$!
find_main_window
await_title "Vistrel"

# Named relative to the second start's own folder, with a blank in it.
second() {
  local status=0 start=$SECONDS
  (cd "$work/pictures" && "$vtl" "$@") >"$out/second-run.txt" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "vtl $* ended with status $status: $(cat "$out/second-run.txt")"
  (( SECONDS - start <= 10 )) || fail "vtl $* took $(( SECONDS - start )) s"
  kill -0 "$pid" 2>/dev/null || fail "the running vtl ended"
}
second "a folder/first one.bmp"
await_title "*first one.bmp - Vistrel"
shot second-file

second set.vtl
await_title "*ramp.png - Vistrel"        # named only inside the setting file

# "-n" first: nothing is opened, as on a first start.
second -n ramp.png
sleep 2
await_title "*ramp.png - Vistrel"        # still the setting file's document
shot second-settings

# Activated from the window list, a document's caption names it by its path: the full one, made
# where the second start ran, not in the running program's folder.
refocus
key alt+w; key 1
await_title "$work/pictures/a folder/first one.bmp - Vistrel"
key alt+w; key 2
await_title "$work/pictures/ramp.png - Vistrel"

refocus
key alt+f; key x                     # ファイル → 終了
status=0
await_exit || status=$?
[ "$status" -eq 0 ] || { echo "vtl ended with status $status"; cat "$out/second-stderr.txt"; exit 1; }
pid=""

# The lock held by a program that never listens: the second start waits, then says so.
# The holder is the sleeping process itself, so that killing it frees the lock and ends the run.
( exec 9>"$home/Tamsol_vtl"; flock 9; exec sleep 60 ) >/dev/null 2>&1 &
holder=$!
sleep 0.5
status=0
(cd "$work/pictures" && VTL_OPEN_WAIT=2 "$vtl" ramp.png set.vtl) >"$out/second-run.txt" 2>&1 || status=$?
kill "$holder" 2>/dev/null
[ "$status" -eq 1 ] || fail "with nobody answering the second start ended with status $status"
grep -q "does not answer" "$out/second-run.txt" || fail "no message: $(cat "$out/second-run.txt")"
for name in "$work/pictures/ramp.png" "$work/pictures/set.vtl"; do
  grep -qxF "  $name" "$out/second-run.txt" || fail "$name is not named: $(cat "$out/second-run.txt")"
done
echo "second start: handed over, restored, -n respected, silence reported"
exit 0
INNER
