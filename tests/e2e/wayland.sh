# A headless Wayland session (sway, with XWayland) for the player, run as an
# unprivileged user since sway refuses root: sourced by test_wayland.sh and
# scripts/measure-wayland. Sets WL_WORK (a folder that user owns, holding
# the content root WL_WORK/root), WL_USER and WL_DISPLAY (XWayland's).
# wl_skip is called when the compositor cannot run here.

WL_WIDTH=1280
WL_HEIGHT=720
WL_WORK=""
WL_USER=""
WL_MADE_USER=""
WL_SWAY_PID=""
WL_POINTER_PID=""
WL_DISPLAY=""

# Runs a command as the session's user, in the session's environment.
wl_run() {
  local envs=(PATH="$WL_WORK/bin:/usr/local/bin:/usr/bin:/bin" HOME="$WL_WORK" LANG=C.UTF-8
    XDG_RUNTIME_DIR="$WL_WORK/run" WLR_BACKENDS=headless WLR_RENDERER=pixman
    WLR_LIBINPUT_NO_DEVICES=1 "${WL_EXTRA_ENV[@]}")
  if [[ $(id -u) -eq 0 ]]; then
    # runuser itself starts from an empty environment: a library preloaded
    # for the whole run (libfaketime under scripts/test-at) would otherwise
    # load into the first program run as the user, and fail there on the
    # clock root shares with its children.
    env -i "$(command -v runuser)" -u "$WL_USER" -- "$(command -v env)" -i "${envs[@]}" "$@"
  else
    env -i "${envs[@]}" "$@"
  fi
}
WL_EXTRA_ENV=()

# Starts sway on a private runtime folder with a coloured background (so a
# black area can only come from the player) and XWayland started at once.
wl_start() {  # wl_start PLAYER_BIN
  local tool
  for tool in sway swaymsg grim Xwayland convert; do
    command -v "$tool" >/dev/null || wl_skip "$tool is not installed"
  done
  WL_WORK="$(mktemp -d /tmp/velane-wayland-XXXXXX)"
  chmod 755 "$WL_WORK"
  if [[ $(id -u) -eq 0 ]]; then
    WL_USER="velane-wl$$"
    useradd -M -d "$WL_WORK" -s /usr/sbin/nologin "$WL_USER" || wl_skip "cannot create a test user"
    WL_MADE_USER=1
  else
    WL_USER="$(id -un)"
  fi
  mkdir -p "$WL_WORK/run" "$WL_WORK/bin" "$WL_WORK/root/modeles" "$WL_WORK/root/flashs"
  chmod 700 "$WL_WORK/run"
  # No player started here may restart the machine.
  printf '#!/bin/sh\necho "fake shutdown (nothing restarted): shutdown $*" >&2\n' >"$WL_WORK/bin/shutdown"
  chmod 755 "$WL_WORK/bin/shutdown"
  cp "$1" "$(dirname "$1")/libvelane-webview.so" "$WL_WORK/root/"
  # The test user may not reach the build tree (a clone in root's folder).
  cp "$(dirname "$1")/afficheur-settings" "$WL_WORK/bin/"
  cat >"$WL_WORK/sway.conf" <<CONF
output HEADLESS-1 resolution ${WL_WIDTH}x${WL_HEIGHT} bg #3060c0 solid_color
xwayland force
exec sh -c 'echo \$DISPLAY > $WL_WORK/display'
CONF
  chown -R "$WL_USER" "$WL_WORK"
  wl_run sway -c "$WL_WORK/sway.conf" >"$WL_WORK/sway.log" 2>&1 &
  WL_SWAY_PID=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$WL_WORK/display" ]] && ls "$WL_WORK"/run/sway-ipc.* >/dev/null 2>&1 && break
    kill -0 "$WL_SWAY_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -s "$WL_WORK/display" ]]; then
    tail -5 "$WL_WORK/sway.log" >&2
    wl_skip "sway (headless) did not start here"
  fi
  WL_DISPLAY="$(cat "$WL_WORK/display")"
  local sock; sock="$(ls "$WL_WORK"/run/sway-ipc.* | head -1)"
  WL_EXTRA_ENV=(WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$sock" DISPLAY="$WL_DISPLAY")
  local name; name="$(ls "$WL_WORK/run" | grep -E '^wayland-[0-9]+$' | head -1)"
  WL_EXTRA_ENV[0]="WAYLAND_DISPLAY=$name"
}

wl_stop() {
  if [[ -n "$WL_POINTER_PID" ]]; then
    exec 7>&- 2>/dev/null || true
    kill "$WL_POINTER_PID" 2>/dev/null || true
    wait "$WL_POINTER_PID" 2>/dev/null || true
  fi
  if [[ -n "$WL_SWAY_PID" ]]; then
    wl_run swaymsg exit >/dev/null 2>&1 || kill "$WL_SWAY_PID" 2>/dev/null || true
    wait "$WL_SWAY_PID" 2>/dev/null || true
  fi
  WL_SWAY_PID=""
  WL_POINTER_PID=""
  if [[ -n "$WL_MADE_USER" ]]; then
    # Whatever the user still runs (the page processes of a killed player).
    local p; for p in $(pgrep -u "$WL_USER" || true); do kill "$p" 2>/dev/null || true; done
    sleep 0.2
    userdel "$WL_USER" 2>/dev/null || true
    WL_MADE_USER=""
  fi
  [[ -n "$WL_WORK" && -d "$WL_WORK" ]] && rm -rf "$WL_WORK"
  WL_WORK=""
}

# A headless sway has no input device: a virtual pointer of our own, moved
# by wl_move X Y (output pixels).
wl_pointer_start() {  # wl_pointer_start TOOL
  cp "$1" "$WL_WORK/bin/wl_pointer"
  rm -f "$WL_WORK/pointer.in"
  mkfifo "$WL_WORK/pointer.in"
  chown "$WL_USER" "$WL_WORK/bin/wl_pointer" "$WL_WORK/pointer.in"
  wl_run wl_pointer "$WL_WIDTH" "$WL_HEIGHT" <"$WL_WORK/pointer.in" >"$WL_WORK/pointer.log" 2>&1 &
  WL_POINTER_PID=$!
  exec 7>"$WL_WORK/pointer.in"
  local i
  for ((i = 0; i < 50; i++)); do grep -q ready "$WL_WORK/pointer.log" && return 0; sleep 0.1; done
  cat "$WL_WORK/pointer.log" >&2
  return 1
}
wl_move() { echo "$1 $2" >&7; }

# The player from the content root, as the session's user.
wl_player_start() {  # wl_player_start [args...]
  (cd "$WL_WORK/root" && wl_run env "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur "$@" >"$WL_WORK/player.log" 2>&1) &
  PLAYER_PID=$!
}
wl_player_pid() { pgrep -u "$WL_USER" -x VELANE_Afficheu | head -1; }

wl_shot() { wl_run grim "$@"; }
