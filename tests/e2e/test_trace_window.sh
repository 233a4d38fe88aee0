#!/usr/bin/env bash
# Start-up: without arguments the trace window comes up above the display
# window with its black trace area and green text; with RUNTIME it never
# shows, while the display window does.
source "$(dirname "$0")/lib.sh"

make_root
paint_root '#3060c0'
start_player
check "a window titled \"VELANE Afficheur\" is visible" wait_until 20 visible_window "VELANE Afficheur"
check "the display window is mapped" wait_until 10 fullscreen_window_mapped
sleep 2
wid="$(visible_window "VELANE Afficheur")"
eval "$(xdotool getwindowgeometry --shell "$wid")"  # X, Y, WIDTH, HEIGHT
check "the trace window has its design size (546x389, got ${WIDTH}x${HEIGHT})" \
  test "$WIDTH" -eq 546 -a "$HEIGHT" -eq 389
# The trace window was shown after the display window, so it is above it
# (xwininfo lists the root's children from the top of the stack down).
stack="$(xwininfo -root -children)"
trace_line="$(grep -n "\"VELANE Afficheur\"" <<<"$stack" | cut -d: -f1 | awk 'NR==1')"
display_line="$(grep -nE ' 1280x720\+0\+0 ' <<<"$stack" | cut -d: -f1 | awk 'NR==1')"
check "the trace window lies above the display window" test "${trace_line:-999}" -lt "${display_line:-0}"
screenshot "$ROOT_DIR/shot.png"
area="529x113+$((X + 8))+$((Y + 144))"
black="$(count_colour "$ROOT_DIR/shot.png" "$area" '#000000')"
green="$(count_colour "$ROOT_DIR/shot.png" "$area" '#00FF00')"
check "the trace area is black ($black pixels)" test "$black" -gt 40000
check "the trace area shows green text ($green pixels)" test "$green" -gt 50
import -window "$wid" "${VELANE_SHOTS_DIR:-/tmp}/trace-window.png" 2>/dev/null || true

stop_player

start_player RUNTIME
check "with RUNTIME the display window is mapped" wait_until 20 fullscreen_window_mapped
sleep 2
check "with RUNTIME no trace window is visible" test -z "$(visible_window "VELANE Afficheur")"
finish
