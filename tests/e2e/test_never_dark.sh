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
# The page process (not the sandbox launcher that names it) is the player's
# child, or a later descendant through the sandbox.
descends_from() {  # descends_from PID ANCESTOR
  local p="$1"
  while [[ "$p" -gt 1 ]]; do
    [[ "$p" == "$2" ]] && return 0
    p="$(awk '{print $4}' "/proc/$p/stat" 2>/dev/null || echo 0)"
  done
  return 1
}
web_process() {
  local p
  for p in $(pgrep -x WebKitWebProces || true); do  # its name, as the kernel keeps it
    if descends_from "$p" "$PLAYER_PID"; then echo "$p"; return 0; fi
  done
}

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
stop_player

# No flash between slides: two slides of one second each alternate while a
# sampler reads the centre of the display area from the frame buffer about
# a thousand times a second; every sample must be one of the two colours.
start_own_xvfb 171 200
paint_root
mkdir -p "$ROOT_DIR/flashs/00002"
printf '<html><body style="margin:0;background:#0040ff"></body></html>\r\n' >"$ROOT_DIR/flashs/00002/bleu.html"
printf '[section 0]\r\nsection suivante=1\r\n[section 1]\r\nType=html\r\nhtml=orange.html\r\ndelais secondes=0\r\nsection suivante=2\r\n[section 2]\r\nType=html\r\nhtml=bleu.html\r\ndelais secondes=0\r\nsection suivante=1\r\n' \
  > "$ROOT_DIR/VELANE_Afficheur.ini"
xdotool mousemove 1200 700
start_player RUNTIME
wait_until 20 orange_shown
result="$("$VELANE_BUILD/fb_sampler" "$FB/Xvfb_screen0" 384 288 12 FF8000 0040FF)"
echo "frame buffer at the centre: $result"
switches="$(sed -n 's/.*switches=\([0-9]*\).*/\1/p' <<<"$result")"
check "control: the sampler saw the slides change (${switches:-0} switches)" test "${switches:-0}" -ge 8
check "no sample of a third colour between slides" grep -q ' foreign=0' <<<"$result"
finish
