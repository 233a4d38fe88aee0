# Shared by the end-to-end tests: a fresh content root with a copy of the
# player (the content root is the executable's folder), the player started
# and stopped, and looks at the X screen. Needs DISPLAY (scripts/test).
set -euo pipefail

: "${VELANE_BUILD:?VELANE_BUILD must point at the build folder}"
: "${DISPLAY:?the end-to-end tests need an X display (scripts/test starts Xvfb)}"
PLAYER_BIN="$VELANE_BUILD/player/VELANE_Afficheur"
SETTINGS_BIN="$VELANE_BUILD/player/afficheur-settings"
# Whatever the hour, no player started here may restart the machine: a
# stand-in for the restart command comes first on PATH.
FAKE_RESTART_BIN="$VELANE_BUILD/fake-restart"
mkdir -p "$FAKE_RESTART_BIN"
printf '#!/bin/sh\necho "fake shutdown (nothing restarted): shutdown $*" >&2\n' >"$FAKE_RESTART_BIN/shutdown"
chmod +x "$FAKE_RESTART_BIN/shutdown"
export PATH="$FAKE_RESTART_BIN:$PATH"
# A player built for another architecture runs in a root tree of that
# architecture (VELANE_FOREIGN_ROOT), through the kernel's emulation of it:
# its content roots live inside that tree, and the stand-in for the restart
# command too. Emulation is slow: VELANE_E2E_SLOW stretches every wait.
FOREIGN_ROOT="${VELANE_FOREIGN_ROOT:-}"
SLOW="${VELANE_E2E_SLOW:-1}"
if [[ -n "$FOREIGN_ROOT" ]]; then
  mkdir -p "$FOREIGN_ROOT/velane-fake-restart" "$FOREIGN_ROOT/tmp"
  cp "$FAKE_RESTART_BIN/shutdown" "$FOREIGN_ROOT/velane-fake-restart/shutdown"
fi
PLAYER_PID=""
ROOT_DIR=""
FAILURES=0

# Every player a test starts runs at a local time the test chose, never at
# the hour the suite happens to run: a player started during the minute
# 03:00 would ask for the nightly restart and end. By default midday, today;
# `test_clock HH:MM:SS` chooses another start for the players that follow.
# The clock starts there and runs on at the real pace; monotonic time stays
# real (the player's timers and the tests' waits), and so do file times
# (NO_FAKE_STAT: libfaketime would also serialise every stat through a lock
# that a process killed in the middle of one keeps). Players are started with
# `env "${TEST_CLOCK_ENV[@]}" ...` (the library itself, not the faketime
# wrapper, which would stay behind as the player's parent); TEST_CLOCK_VARS
# are the same settings alone, for `env -i`. A clock faked around the whole
# suite (scripts/test-at) leaves its shared state in FAKETIME_SHARED, through
# which a player started minutes later would count its time from the
# suite's start: the player leaves it.
FAKETIME_LIB="$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)"
[[ -n "$FAKETIME_LIB" || -n "$FOREIGN_ROOT" ]] || { echo "libfaketime is missing (package faketime)" >&2; exit 1; }
TEST_CLOCK_ENV=()
TEST_CLOCK_VARS=()
test_clock() {  # test_clock HH:MM:SS
  local preload="$FAKETIME_LIB"
  if [[ -n "$FOREIGN_ROOT" ]]; then  # the library of the foreign tree, seen from inside it
    preload="$(cd "$FOREIGN_ROOT" && ls usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)"
    preload="${preload:+/$preload}"
  fi
  # The page process runs in the web engine's sandbox, where the clock the
  # library shares between a process and its children (in /dev/shm) cannot
  # be reached: it is left at the real time, which no check reads.
  TEST_CLOCK_VARS=(FAKETIME="@$(date +%F) $1" FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1
    FAKETIME_SKIP_CMDS=WebKitWebProcess)
  [[ -n "$preload" ]] && TEST_CLOCK_VARS+=(LD_PRELOAD="$preload")
  TEST_CLOCK_ENV=(-u FAKETIME_SHARED "${TEST_CLOCK_VARS[@]}")
}
test_clock "${VELANE_TEST_TIME:-12:00:00}"

fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }
check() {  # check "description" command...
  local what="$1"; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

cleanup() {
  stop_player
  if [[ -n "$ROOT_DIR" && -d "$ROOT_DIR" ]]; then rm -rf "$ROOT_DIR"; fi
}
trap cleanup EXIT

# A new content root holding a copy of the player (with its web engine
# module, which it finds beside itself); any other files are the test's to
# add.
make_root() {
  ROOT_DIR="$(mktemp -d "$FOREIGN_ROOT/tmp/velane-e2e-XXXXXX")"
  cp "$PLAYER_BIN" "$(dirname "$PLAYER_BIN")/libvelane-webview.so" "$ROOT_DIR/"
  mkdir -p "$ROOT_DIR/modeles" "$ROOT_DIR/flashs"
}

# Proves the screen's root is not black where no window is (Xvfb runs with
# -wr), so a black area in a screenshot can only come from the player.
paint_root() {
  xsetroot -solid "${1:-#3060c0}" 2>/dev/null || true
  local shot; shot="$(mktemp /tmp/velane-root-XXXXXX.png)"
  import -window root -crop 1x1+0+0 "$shot"
  local c; c="$(convert "$shot" -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | awk 'NR==1')"
  rm -f "$shot"
  if [[ "$c" == "#000000" ]]; then
    echo "the root window is black: start Xvfb with -wr" >&2; exit 1
  fi
}

start_player() {  # start_player [args...]; stdout/stderr to $ROOT_DIR/player.log
  if [[ -n "$FOREIGN_ROOT" ]]; then
    (exec chroot "$FOREIGN_ROOT" /usr/bin/env "${TEST_CLOCK_ENV[@]}" /bin/sh -c \
      'cd "$1" && shift && PATH="/velane-fake-restart:$PATH" exec ./VELANE_Afficheur "$@"' \
      sh "${ROOT_DIR#"$FOREIGN_ROOT"}" "$@" >"$ROOT_DIR/player.log" 2>&1) &
  else
    (cd "$ROOT_DIR" && exec env "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur "$@" >"$ROOT_DIR/player.log" 2>&1) &
  fi
  PLAYER_PID=$!
}

stop_player() {
  if [[ -n "$PLAYER_PID" ]] && kill -0 "$PLAYER_PID" 2>/dev/null; then
    kill "$PLAYER_PID" 2>/dev/null || true
    wait "$PLAYER_PID" 2>/dev/null || true
  fi
  PLAYER_PID=""
}

player_alive() { [[ -n "$PLAYER_PID" ]] && kill -0 "$PLAYER_PID" 2>/dev/null; }

# Waits until the command succeeds or the seconds run out.
wait_until() {  # wait_until SECONDS command...
  local limit=$(( $1 * 10 * SLOW )); shift
  for ((i = 0; i < limit; i++)); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

# Visible windows whose title is exactly the name.
visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | awk 'NR==1'; }

# A mapped top-level window of the player covering the whole screen.
fullscreen_window_mapped() {
  local geometry
  geometry="$(xdpyinfo | awk '/dimensions:/{print $2}')"
  xwininfo -root -children | grep -E "^ +0x[0-9a-f]+ .*: \(\)  ?${geometry}\+0\+0" >/dev/null \
    || xwininfo -root -tree | grep -E " ${geometry}\+0\+0 " >/dev/null
}

screenshot() { import -window root "$1"; }

# An X server of the test's own whose frame buffer (cursor included) can be
# read from the file "$FB/Xvfb_screen0"; sets FB and DISPLAY.
start_own_xvfb() {  # start_own_xvfb FIRST_DISPLAY LAST_DISPLAY
  FB="$(mktemp -d /tmp/velane-fb-XXXXXX)"
  for n in $(seq "$1" "$2"); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    # -noreset: the server is not started afresh (its root painted white
    # again) each time its last client, xdotool or xdpyinfo, leaves.
    Xvfb ":$n" -screen 0 1280x720x24 -fbdir "$FB" -wr -noreset -nolisten tcp >/dev/null 2>&1 &
    XVFB_OWN=$!
    export DISPLAY=":$n"
    break
  done
  trap 'cleanup; kill $XVFB_OWN 2>/dev/null || true; rm -rf "$FB"' EXIT
  wait_until 10 xdpyinfo || { echo "own Xvfb did not start"; exit 1; }
}

# The colour of one pixel of a screenshot, as #RRGGBB.
pixel() {  # pixel FILE X Y
  convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | awk 'NR==1'
}

# How many pixels of a region have exactly that colour.
count_colour() {  # count_colour FILE WxH+X+Y '#RRGGBB'
  convert "$1" -crop "$2" +repage -depth 8 txt:- | grep -ci "$3" || true
}

finish() {
  if ((FAILURES)); then
    # What the last player said, for a failure seen only in CI.
    if [[ -s "$ROOT_DIR/player.log" ]]; then
      echo "--- the last player's output (tail):" >&2
      tail -n 40 "$ROOT_DIR/player.log" >&2
    fi
    echo "$FAILURES check(s) failed" >&2; exit 1
  fi
  echo "all checks passed"
}
