# Helpers for the end-to-end scripts, sourced inside xvfb-run. The caller sets `out` (where
# screenshots go) and, once vtl runs, `pid` (the program) and `win` (its main window).
# There is no window manager on the virtual display: nobody decorates, raises or refocuses windows.

# The X keyboard library reads past a buffer it hands to strndup while Qt connects to the display;
# that is outside the program, so the sanitizer's strndup check is off for these runs.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:intercept_strndup=0"

# Seconds to wait for a window to come or go; a sanitizer build is several times slower.
e2e_wait=${E2E_WAIT:-30}

shot() { import -window root "$out/$1.png" 2>/dev/null || true; }

# Stops the run: the screen as it was is kept as ${shot_name:-failure}.png.
fail() {
  echo "$*"
  shot "${shot_name:-failure}"
  [ -n "${pid:-}" ] && kill -9 "$pid" 2>/dev/null
  exit 1
}

# Keys go to whichever window has the focus, as a user's would.
key() { xdotool key "$@"; sleep 0.4; }

# Whether a window whose caption matches the regular expression $1 is shown.
shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

await() {
  local i
  for ((i = 0; i < e2e_wait * 4; i++)); do
    shown "$1" && return 0
    sleep 0.25
  done
  fail "no window \"$1\" appeared"
}

await_gone() {
  local i
  for ((i = 0; i < e2e_wait * 4; i++)); do
    shown "$1" || return 0
    sleep 0.25
  done
  fail "the window \"$1\" stayed"
}

# Sets `win` to vtl's main window once it is shown and gives it the focus.
find_main_window() {
  local i
  win=""
  for ((i = 0; i < e2e_wait * 2; i++)); do
    win=$(xdotool search --onlyvisible --name 'Vistrel' 2>/dev/null | head -n 1 || true)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "vtl ended before showing a window"
    sleep 0.5
  done
  [ -n "$win" ] || fail "no main window appeared"
  xdotool windowfocus --sync "$win" 2>/dev/null || true
}

# Without a window manager nobody gives the focus back when a dialog closes.
refocus() { sleep 0.4; xdotool windowfocus --sync "$win" 2>/dev/null || true; sleep 0.3; }

# Waits until the main window's caption matches the shell pattern $1 (quote literal parts).
await_title() {
  local i
  for ((i = 0; i < e2e_wait * 4; i++)); do
    [[ "$(xdotool getwindowname "$win" 2>/dev/null)" == $1 ]] && return 0
    sleep 0.25
  done
  fail "the main window is \"$(xdotool getwindowname "$win" 2>/dev/null)\", not \"$1\""
}

# Waits for vtl to end by itself and returns its status.
await_exit() {
  local i
  for ((i = 0; i < e2e_wait * 2; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  kill -0 "$pid" 2>/dev/null && fail "vtl did not close"
  local status=0
  wait "$pid" || status=$?
  return "$status"
}
