#!/usr/bin/env bash
# The player in a Wayland session: a headless sway, as a desktop would run
# it (title bars, tiling). The display window covers the output with the
# display area at its corner, the page lays out at the browser control's
# size, the slides follow the chain, the cursor and the quit window come and
# go with the mouse (which leaves the focus where it was), the output does
# not idle while the player runs (and does again once it has ended), and
# the trace window floats above the display window unless RUNTIME is given;
# in screen-off hours the output's power goes off, and on again after.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland.sh"

wl_skip() { echo "SKIP: $*"; exit 77; }  # ctest reports it as skipped
wl_cleanup() {
  wl_stop_player
  wl_stop
}
trap wl_cleanup EXIT
wl_stop_player() {
  local p; p="$(wl_player_pid 2>/dev/null || true)"
  if [[ -n "$p" ]]; then kill "$p" 2>/dev/null || true; fi
  if [[ -n "${PLAYER_PID:-}" ]]; then wait "$PLAYER_PID" 2>/dev/null || true; fi
  PLAYER_PID=""
}
POINTER_TOOL="$VELANE_BUILD/wl_pointer"
[[ -x "$POINTER_TOOL" ]] || wl_skip "$POINTER_TOOL is not built"
command -v swayidle >/dev/null || wl_skip "swayidle is not installed"

wl_start "$PLAYER_BIN"
R="$WL_WORK/root"
head='<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"><style>html,body{margin:0;height:100%;overflow:hidden}</style></head>'
mkdir -p "$R"/flashs/{00000,00001,00002}
# The demo's kind of page: a block centred in the page, on a coloured ground.
printf '%s\r\n' "$head" '<body style="background:#00C000;display:flex;align-items:center;justify-content:center"><div style="width:200px;height:100px;background:#FF00FF"></div></body></html>' \
  >"$R/flashs/00001/centre.html"
printf '%s\r\n' "$head" '<body style="background:#C00000"></body></html>' >"$R/flashs/00002/rouge.html"
: >"$R/modeles/transitions.ini"
printf '%s\r\n' '[section 0]' 'section suivante=1' \
  '[section 1]' 'Type=html' 'html=centre.html' 'delais secondes=1' 'section suivante=2' \
  '[section 2]' 'Type=html' 'html=rouge.html' 'delais secondes=1' 'section suivante=1' >"$R/VELANE_Afficheur.ini"
chown -R "$WL_USER" "$R"

check "a virtual pointer moves in the headless session" wl_pointer_start "$POINTER_TOOL"
wl_move 1000 500

# swayidle runs the command when the output has been idle for a second.
idles() {  # idles NAME: true when the output went idle within 3 s
  rm -f "$WL_WORK/idle-$1"
  wl_run timeout 3 swayidle -w timeout 1 "touch $WL_WORK/idle-$1" >/dev/null 2>&1 || true
  [[ -e "$WL_WORK/idle-$1" ]]
}
check "without the player the output idles (control)" idles before

tree() { wl_run swaymsg -t get_tree; }
# The player's full-screen window covering the output: "x y w h focused".
fullscreen_view() {
  tree | python3 -c '
import json, sys
def walk(n):
    if n.get("fullscreen_mode") == 1 and n.get("type") == "con":
        r = n["rect"]; print(r["x"], r["y"], r["width"], r["height"], n.get("focused")); sys.exit(0)
    for c in n.get("nodes", []) + n.get("floating_nodes", []): walk(c)
walk(json.load(sys.stdin)); sys.exit(1)'
}

trace_view() {
  tree | python3 -c '
import json, sys
def walk(n, floating):
    if n.get("name") == "VELANE Afficheur" and floating and n.get("visible"):
        sys.exit(0)
    for c in n.get("nodes", []): walk(c, floating)
    for c in n.get("floating_nodes", []): walk(c, True)
walk(json.load(sys.stdin), False); sys.exit(1)'
}

wl_player_start RUNTIME
check "the display window is full screen" wait_until 20 fullscreen_view
view="$(fullscreen_view || true)"
check "it covers the whole output, from its corner ($view)" test "${view% *}" = "0 0 $WL_WIDTH $WL_HEIGHT"
no_trace=1; trace_view && no_trace=0
check "with RUNTIME no trace window is shown" test "$no_trace" -eq 1

# Colours at the display area's corners and beyond, and the centred block.
seen=""
centre=""
outside_black=1
for i in $(seq 30); do
  wl_shot "$WL_WORK/s.png"
  c="$(pixel "$WL_WORK/s.png" 1 1)"
  case "$c" in "#00C000") s=G ;; "#C00000") s=R ;; *) s="" ;; esac
  [[ -n "$s" && "${seen: -1}" != "$s" ]] && seen+="$s"
  if [[ "$s" == G && -z "$centre" && "$(pixel "$WL_WORK/s.png" 766 574)" == "#00C000" ]]; then
    # The block's bounding box: page offset of the trimmed magenta area.
    centre="$(convert "$WL_WORK/s.png" -fill black +opaque '#FF00FF' -trim -format '%w %h %X %Y' info:)"
    cp "$WL_WORK/s.png" "${VELANE_SHOTS_DIR:-/tmp}/wayland.png" 2>/dev/null || true
  fi
  [[ "$(pixel "$WL_WORK/s.png" 775 100)" == "#000000" && "$(pixel "$WL_WORK/s.png" 300 582)" == "#000000" \
     && "$(pixel "$WL_WORK/s.png" 1270 710)" == "#000000" ]] || outside_black=0
  [[ ${#seen} -ge 4 && -n "$centre" ]] && break
  sleep 0.3
done
echo "colours seen in order: $seen; centred block: $centre"
check "the slides follow the chain 1, 2, 1, ... ($seen)" \
  bash -c '[[ ${#1} -ge 3 && "GRGRGRGRGRGRGRGR" == *"$1"* ]]' _ "$seen"
centred() {
  read -r w h x y <<<"$centre"
  [[ "$w" == 200 && "$h" == 100 ]] || return 1
  local cx=$((x + w / 2)) cy=$((y + h / 2))
  ((cx >= 383 && cx <= 385 && cy >= 287 && cy <= 289))
}
check "the page is laid out in the display area: its block is centred on (384, 288)" centred
check "beyond the display area the output is black" test "$outside_black" -eq 1

# The mouse: still since start, so hidden; a movement brings the cursor and
# the quit window; half a second still hides both again.
quit_yellow() { count_colour "$WL_WORK/c.png" 437x54+162+154 '#FFFF80'; }
cursor_pixels() {  # not black around the pointer at (X, Y)
  local total black
  black="$(count_colour "$WL_WORK/c.png" 24x24+"$1"+"$2" '#000000')"
  echo $((576 - black))
}
sleep 1.5
wl_shot -c "$WL_WORK/c.png"
check "still: no cursor ($(cursor_pixels 1000 500) pixels)" test "$(cursor_pixels 1000 500)" -eq 0
check "still: no quit window" test "$(quit_yellow)" -eq 0
for p in "1010 505" "1020 510" "1030 515"; do wl_move $p; sleep 0.05; done
sleep 0.2
wl_shot -c "$WL_WORK/c.png"
check "moved: the cursor shows ($(cursor_pixels 1030 515) pixels)" test "$(cursor_pixels 1030 515)" -gt 20
check "moved: the quit window shows at its place ($(quit_yellow) pixels)" test "$(quit_yellow)" -gt 15000
view="$(fullscreen_view || true)"
check "the display window keeps the focus" test "${view##* }" = "True"
sleep 1.5
wl_shot -c "$WL_WORK/c.png"
check "still again: no cursor" test "$(cursor_pixels 1030 515)" -eq 0
check "still again: no quit window" test "$(quit_yellow)" -eq 0

awake=1; idles during && awake=0
check "while the player runs the output does not idle" test "$awake" -eq 1
wl_stop_player
check "once the player has ended the output idles again" idles after

# Without RUNTIME the trace window floats above the display window.
wl_player_start
check "the trace window floats, visible, above the display window" wait_until 20 trace_view
check "the display window is still full screen" wait_until 5 fullscreen_view

# Screen-off hours: the player asks the compositor to power the output
# down, and up again when they end (sway 1.7 says "dpms", later "power").
output_power() {
  wl_run swaymsg -t get_outputs | python3 -c '
import json, sys
o = json.load(sys.stdin)[0]
print(str(o.get("power", o.get("dpms"))).lower())'
}
powered() { [[ "$(output_power)" == "$1" ]]; }
screen_off_hours() {
  wl_run afficheur-settings set --file "$R/VELANE_Afficheur.ini" \
    Systeme "ecran eteint" "$1" >/dev/null
}
check "the output is powered before the screen-off hours (control)" powered true
# Whether this sway can switch its headless output off at all: sway 1.7
# cannot (it logs "Failed to commit output"); there the player's request is
# seen arriving in sway's log instead.
wl_run swaymsg output '*' dpms off >/dev/null 2>&1 || true
can_power=0
wait_until 2 powered false && can_power=1
wl_run swaymsg output '*' dpms on >/dev/null 2>&1 || true
check "the output is powered again after the control" wait_until 5 powered true
refusals() { grep -c "Failed to commit output" "$WL_WORK/sway.log" || true; }
refused="$(refusals)"
screen_off_hours 00:00-24:00
if ((can_power)); then
  check "in the screen-off hours the output's power goes off" wait_until 10 powered false
else
  echo "note: this sway cannot switch its headless output off"
  check "in the screen-off hours the player asks sway to switch the output off" \
    wait_until 10 bash -c '(( $(grep -c "Failed to commit output" "$1") > $2 ))' _ "$WL_WORK/sway.log" "$refused"
fi
screen_off_hours ""
check "at their end it comes back on" wait_until 10 powered true
check "the player said when the screen-off hours began and ended" wait_until 5 \
  bash -c 'grep -q "screen-off hours from" "$1" && grep -q "end of the screen-off hours" "$1"' _ "$WL_WORK/player.log"
check "the player never reported a failure" bash -c '! grep -i "fail\|error\|cannot be powered" "$1"' _ "$WL_WORK/player.log"
finish
