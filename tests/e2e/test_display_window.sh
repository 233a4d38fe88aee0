#!/usr/bin/env bash
# The display window under a real X server: a fresh content root gains the
# "Systeme" keys, the whole screen turns black, and a value set by the
# operator is kept on the next run.
source "$(dirname "$0")/lib.sh"

make_root
paint_root '#3060c0'
start_player RUNTIME
check "the playlist file is created with the display keys" \
  wait_until 20 grep -q '^marge=2' "$ROOT_DIR/VELANE_Afficheur.ini"
ini="$(cat "$ROOT_DIR/VELANE_Afficheur.ini")"
check "TailleEcranL defaults to 768" grep -q $'^TailleEcranL=768\r$' <<<"$ini"
check "TailleEcranW defaults to 576" grep -q $'^TailleEcranW=576\r$' <<<"$ini"
check "the keys are in section Systeme" grep -q $'^\\[Systeme\\]\r$' <<<"$ini"
check "a full-screen window is mapped" wait_until 10 fullscreen_window_mapped
sleep 2
screenshot "$ROOT_DIR/shot.png"
size="$(xdpyinfo | awk '/dimensions:/{print $2}')"
w="${size%x*}"; h="${size#*x}"
black="$(count_colour "$ROOT_DIR/shot.png" "${size}+0+0" '#000000')"
check "the whole screen is black ($black of $((w * h)) pixels)" test "$black" -eq $((w * h))
check "the player is still running" player_alive
check "its web engine is loaded" test -z "$(grep 'web engine cannot be loaded' "$ROOT_DIR/player.log")"
stop_player

# An operator's value is kept, and the window follows it.
sed -i 's/^TailleEcranL=768/TailleEcranL=1024/' "$ROOT_DIR/VELANE_Afficheur.ini"
start_player RUNTIME
check "the player starts again" wait_until 20 fullscreen_window_mapped
sleep 2
check "TailleEcranL=1024 is kept" grep -q $'^TailleEcranL=1024\r$' "$ROOT_DIR/VELANE_Afficheur.ini"
check "the key is not written twice" test "$(grep -c '^TailleEcranL=' "$ROOT_DIR/VELANE_Afficheur.ini")" -eq 1
stop_player

# A display size that is not a number: reported, and the player keeps going.
sed -i 's/^TailleEcranL=1024/TailleEcranL=768px/' "$ROOT_DIR/VELANE_Afficheur.ini"
start_player RUNTIME
sleep 4
check "the player survives TailleEcranL=768px" player_alive
check "the failure is reported on stderr" grep -q 'Afficheur.Form_Load.*768px' "$ROOT_DIR/player.log"
stop_player

# A copy of the player without its web engine's module: told, and the
# screen stays black with the player running.
sed -i 's/^TailleEcranL=768px/TailleEcranL=768/' "$ROOT_DIR/VELANE_Afficheur.ini"
rm "$ROOT_DIR/libvelane-webview.so"
start_player RUNTIME
check "the player starts without its web engine" wait_until 20 fullscreen_window_mapped
sleep 2
screenshot "$ROOT_DIR/shot.png"
black="$(count_colour "$ROOT_DIR/shot.png" "${size}+0+0" '#000000')"
check "without it the whole screen is black ($black of $((w * h)) pixels)" test "$black" -eq $((w * h))
check "the missing engine is reported" grep -q 'web engine cannot be loaded' "$ROOT_DIR/player.log"
check "the player runs without it" player_alive
finish
