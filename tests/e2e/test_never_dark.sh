#!/usr/bin/env bash
# Never dark: a web page process that dies is replaced and the slide comes
# back without waiting for the next advance.
source "$(dirname "$0")/lib.sh"

make_root
paint_root
mkdir -p "$ROOT_DIR/flashs/00001"
printf '<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"></head><body style="margin:0;background:#ff8000"></body></html>\r\n' \
  > "$ROOT_DIR/flashs/00001/orange.html"
printf '[section 0]\r\nsection suivante=1\r\n[section 1]\r\nType=html\r\nhtml=orange.html\r\ndelais secondes=3600\r\nsection suivante=1\r\n' \
  > "$ROOT_DIR/VELANE_Afficheur.ini"

orange_shown() {
  screenshot "$ROOT_DIR/shot.png"
  [[ "$(pixel "$ROOT_DIR/shot.png" 300 300)" == "#FF8000" ]]
}
web_process() { pgrep -P "$PLAYER_PID" -f WebKitWebProcess | awk 'NR==1'; }

start_player RUNTIME
check "the slide is shown" wait_until 20 orange_shown

old="$(web_process)"
check "the web page process runs" test -n "$old"
kill -KILL "$old"
sleep 0.3
check "the slide is back within 2 s" wait_until 2 orange_shown
new="$(web_process)"
check "a new web page process took over ($old -> ${new:-none})" test -n "$new" -a "$new" != "$old"
check "the player is still running" player_alive
check "the crash is reported" grep -q 'web page process ended' "$ROOT_DIR/player.log"
check "the crash is in the trace log" grep -q 'web page process ended' "$ROOT_DIR/debugger.log"
finish
