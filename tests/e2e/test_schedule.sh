#!/usr/bin/env bash
# Slides on a schedule and the screen-off hours, on a clock the test sets
# (16:59:50, under faketime): a red slide until 17:00 and a green one from
# 17:00, the screen sampled across 17:00; then screen-off hours entered and
# left: black, no page written, the display's power asked for (where the X
# server has no DPMS, the player says so once), and the chain from its
# start afterwards.
source "$(dirname "$0")/lib.sh"

make_root
paint_root
mkdir -p "$ROOT_DIR"/flashs/{00000,00001,00002}
head='<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"><style>html,body{margin:0;height:100%;overflow:hidden}</style></head>'
printf '%s\r\n' "$head" '<body style="background:#FF0000"></body></html>' >"$ROOT_DIR/flashs/00001/rouge.html"
printf '%s\r\n' "$head" '<body style="background:#00FF00"></body></html>' >"$ROOT_DIR/flashs/00002/vert.html"
INI="$ROOT_DIR/VELANE_Afficheur.ini"
printf '%s\r\n' '[Systeme]' 'TailleEcranL=768' 'TailleEcranW=576' 'marge=2' \
  '[section 0]' 'section suivante=1' \
  '[section 1]' 'Type=html' 'html=rouge.html' 'delais secondes=2' 'heures=08:00-17:00' 'section suivante=2' \
  '[section 2]' 'Type=html' 'html=vert.html' 'delais secondes=2' 'heures=17:00-23:00' 'section suivante=1' \
  >"$INI"

# The colour in the middle of the display area: R, G, K (black) or "".
sample() {
  screenshot "$ROOT_DIR/s.png"
  case "$(pixel "$ROOT_DIR/s.png" 384 288)" in
    "#FF0000") echo R ;; "#00FF00") echo G ;; "#000000") echo K ;; *) echo "" ;;
  esac
}
# Whether the colour in the middle is c now.
shows() { [[ "$(sample)" == "$1" ]]; }
mtime() { stat -c %Y.%y "$1" 2>/dev/null || echo none; }
set_key() { "$SETTINGS_BIN" set --file "$INI" "$1" "$2" "$3" >/dev/null; }

test_clock 16:59:50
start_player
check "the red slide plays before 17:00" wait_until 8 shows R

# Across 17:00: red, then green only; the red slide is passed over from
# then on, without its page being written again.
seen=""
for i in $(seq $((60 * SLOW))); do
  s="$(sample)"
  [[ -n "$s" && "${seen: -1}" != "$s" ]] && seen+="$s"
  [[ "$seen" == *G ]] && break
  sleep 0.25
done
red_page="$(mtime "$ROOT_DIR/flashs/00001/temporaire.html")"
for i in $(seq $((24 * SLOW))); do
  s="$(sample)"
  [[ -n "$s" && "${seen: -1}" != "$s" ]] && seen+="$s"
  sleep 0.25
done
echo "colours seen across 17:00: $seen"
check "red until 17:00, then green only ($seen)" test "$seen" = RG
check "the red slide's page is not written while it is passed over" \
  test "$(mtime "$ROOT_DIR/flashs/00001/temporaire.html")" = "$red_page"
check "the player tells once that section 1 is passed over" \
  test "$(grep -c 'section 1 passed over: its schedule does not hold at 17:00' "$ROOT_DIR/player.log")" -eq 1

# Screen-off hours that hold now: black, no page; then gone: the chain from
# its start (section 1 is still passed over: green again, its page written
# anew). Twice, so that a missing DPMS is told once.
dpms=0
xdpyinfo -queryExtensions | grep -q '^ *DPMS' && dpms=1
for round in 1 2; do
  check "round $round: green before the screen-off hours" shows G
  set_key Systeme "ecran eteint" "16:00-18:00"
  check "round $round: black in the screen-off hours" wait_until 5 shows K
  green_page="$(mtime "$ROOT_DIR/flashs/00002/temporaire.html")"
  sleep $((3 * SLOW))
  check "round $round: still black, no page written" \
    test "$(sample)" = K -a "$(mtime "$ROOT_DIR/flashs/00002/temporaire.html")" = "$green_page"
  ((dpms)) && check "round $round: the monitor is off (DPMS)" bash -c 'xset q | grep -q "Monitor is Off"'
  set_key Systeme "ecran eteint" ""
  check "round $round: the chain starts again after the screen-off hours" wait_until 5 shows G
  check "round $round: the green page is written anew" \
    test "$(mtime "$ROOT_DIR/flashs/00002/temporaire.html")" != "$green_page"
  ((dpms)) && check "round $round: the monitor is on again (DPMS)" bash -c 'xset q | grep -q "Monitor is On"'
done
check "the player says when the screen-off hours begin and end" \
  test "$(grep -c 'screen-off hours from 17:0' "$ROOT_DIR/player.log")" -eq 2 \
  -a "$(grep -c 'end of the screen-off hours at 17:0.*starts again from section 0' "$ROOT_DIR/player.log")" -eq 2
if ((!dpms)); then
  check "without DPMS the player says so once" \
    test "$(grep -c 'the display cannot be powered down (the X server has no DPMS extension)' "$ROOT_DIR/player.log")" -eq 1
fi
check "the player is still running" player_alive
stop_player
check "the schedule keys are not written back" \
  test "$(grep -c -e '^jours' -e '^du=' -e '^au=' -e '^jours eteint' "$INI")" -eq 0
sed 's/^/  player: /' "$ROOT_DIR/player.log" | head -40
finish
