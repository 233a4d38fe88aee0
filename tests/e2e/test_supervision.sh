#!/usr/bin/env bash
# Kiosk supervision with a real X server: the pointer hides after about a
# second of stillness, a movement brings it back with the quit window above
# the display window (without taking the focus), "Quitter" ends the player
# with status 0, and the nightly restart runs the restart command found on
# PATH (a fake here) in the minute 03:00 only.
source "$(dirname "$0")/lib.sh"

# An X server of our own whose frame buffer (cursor included) we can read.
start_own_xvfb 140 170

# Pixels around the pointer's hot spot that are not black: the cursor drawn
# in the frame buffer over the black display window.
cursor_pixels() { "$VELANE_BUILD/xwd_count" "$FB/Xvfb_screen0" 1000 600 24 24 000000; }

make_root
paint_root '#3060c0'
BIN="$ROOT_DIR/bin"; mkdir -p "$BIN"
# The stand-in takes a second before it records the request, as a real
# restart command takes a moment to file it.
printf '#!/bin/sh\nsleep 1\necho "$@" >> "%s/shutdown.args"\n' "$ROOT_DIR" > "$BIN/shutdown"
chmod +x "$BIN/shutdown"
export PATH="$BIN:$PATH"

xdotool mousemove 1005 605
start_player RUNTIME
if wait_until 20 fullscreen_window_mapped; then pass "the display window is mapped"; else
  fail "the display window is mapped"
  player_alive || echo "the player has ended; it said:" >&2
  cat "$ROOT_DIR/player.log" >&2
fi
sleep 3
check "the pointer is hidden while the mouse rests" test "$(cursor_pixels)" -eq 0
focus_before="$(xdotool getwindowfocus 2>/dev/null || echo none)"
xdotool mousemove 1010 610
sleep 0.1
check "the pointer comes back on movement" test "$(cursor_pixels)" -gt 0
screenshot "$ROOT_DIR/quit.png"
yellow="$(count_colour "$ROOT_DIR/quit.png" '437x54+162+154' '#FFFF80')"
check "the light-yellow quit window shows above the display window ($yellow pixels)" test "$yellow" -gt 10000
check "the focus has not moved" test "$(xdotool getwindowfocus 2>/dev/null || echo none)" = "$focus_before"
cp "$ROOT_DIR/quit.png" "${VELANE_SHOTS_DIR:-/tmp}/quit-window.png" 2>/dev/null || true
sleep 2
check "the pointer hides again when the mouse rests" test "$(cursor_pixels)" -eq 0
# The quit window is up only while the mouse moves: move, then click
# "Quitter" (the button at 336,8 of the strip, 97x25) right away.
xdotool mousemove 1000 600
sleep 0.1
xdotool mousemove $((162 + 336 + 48)) $((154 + 8 + 12)) click 1
status=0
for _ in $(seq 50); do player_alive || break; sleep 0.1; done
if player_alive; then fail "the player ends on a click on Quitter"; else
  wait "$PLAYER_PID" || status=$?
  check "Quitter ends the player with status 0 (got $status)" test "$status" -eq 0
fi
PLAYER_PID=""

# The nightly restart, with the clock moved by faketime (monotonic time real).
# The player runs in a process group of its own which, as a service
# manager does with the unit's control group, is killed the moment the
# player has ended: the request survives only if it was filed by then.
# (The library itself, not the faketime wrapper, which would outlive the
# player until the restart command ends.)
test_clock 03:00:10
(cd "$ROOT_DIR" && exec setsid env "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/player.log" 2>&1) &
PLAYER_PID=$!
check "at 03:00:10 the player ends" wait_until 15 bash -c "! kill -0 $PLAYER_PID"
kill -KILL -- "-$PLAYER_PID" 2>/dev/null || true
sleep 2
check "at 03:00:10 the restart request was filed before the player ended" grep -qx -- '-r' "$ROOT_DIR/shutdown.args"
PLAYER_PID=""
rm -f "$ROOT_DIR/shutdown.args"

test_clock 02:59:56
(cd "$ROOT_DIR" && exec env "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/player.log" 2>&1) &
PLAYER_PID=$!
sleep 2
check "at 02:59:58 the player keeps running" player_alive
check "at 02:59:58 nothing is restarted" test ! -e "$ROOT_DIR/shutdown.args"
check "when the minute comes the player ends" wait_until 15 bash -c "! kill -0 $PLAYER_PID"
check "when the minute comes the restart is requested" grep -qx -- '-r' "$ROOT_DIR/shutdown.args"
PLAYER_PID=""

# A restart command that cannot be started: reported, the screen stays.
rm -f "$BIN/shutdown"
test_clock 03:00:10
(cd "$ROOT_DIR" && exec env "${TEST_CLOCK_ENV[@]}" PATH="$BIN" "$ROOT_DIR/VELANE_Afficheur" RUNTIME >"$ROOT_DIR/player.log" 2>&1) &
PLAYER_PID=$!
sleep 4
check "without a restart command the player keeps running" player_alive
check "the missing restart command is reported" grep -q 'reboot_Timer.*shutdown' "$ROOT_DIR/player.log"
finish
