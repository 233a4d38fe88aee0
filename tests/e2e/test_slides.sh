#!/usr/bin/env bash
# The player plays: three slides of distinct solid colours (an html page, a
# picture and a web address), one second each (longer under emulation), follow the chain in order in
# the display area while the rest of the screen stays black; each composed
# page holds the expected bytes; the trace window lists the slides.
source "$(dirname "$0")/lib.sh"

make_root
paint_root
M="$ROOT_DIR/modeles"
mkdir -p "$ROOT_DIR"/flashs/{00000,00001,00002,00003}
head='<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"><style>html,body{margin:0;height:100%;overflow:hidden}</style></head>'
printf '%s\r\n' "$head" '<body style="background:#000"><img src="%FICHIER%" style="display:block;width:100%;height:100%"></body></html>' > "$M/image.html"
printf '%s\r\n' "$head" '<body style="background:#000"><iframe src="%URL%" style="border:0;width:100%;height:100%"></iframe></body></html>' > "$M/url.html"
printf '[1]\r\nhtml=<!--t1-->\r\n[2]\r\nhtml=<style>body{animation:none}</style>\r\n' > "$M/transitions.ini"
printf '%s\r\n' "$head" '<body style="background:#FF0000"></body></html>' > "$ROOT_DIR/flashs/00001/rouge.html"
printf '<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100"><rect width="100" height="100" fill="#0000FF"/></svg>' \
  > "$ROOT_DIR/flashs/00002/bleu.svg"
printf '%s\r\n' "$head" '<body style="background:#FFFF00"></body></html>' > "$ROOT_DIR/flashs/00003/jaune.html"
printf '%s\r\n' '[section 0]' 'section suivante=1' \
  '[section 1]' 'Type=html' 'html=rouge.html' "delais secondes=$SLOW" 'Transition=1' 'section suivante=2' \
  '[section 2]' 'Type=image' 'image=bleu.svg' "delais secondes=$SLOW" 'section suivante=3' \
  '[section 3]' 'Type=url' 'url=jaune.html' "delais secondes=$SLOW" 'Transition=2' 'section suivante=1' \
  > "$ROOT_DIR/VELANE_Afficheur.ini"

start_player
check "the trace window is visible" wait_until 20 visible_window "VELANE Afficheur"
seen=""
outside_black=1
for i in $(seq $((40 * SLOW))); do
  screenshot "$ROOT_DIR/s.png"
  c="$(pixel "$ROOT_DIR/s.png" 384 288)"
  case "$c" in
    "#FF0000") s=R ;; "#0000FF") s=B ;; "#FFFF00") s=Y ;; *) s="" ;;
  esac
  [[ -n "$s" && "${seen: -1}" != "$s" ]] && seen+="$s"
  # From the first slide on (a slow machine may paint the window later).
  [[ -z "$seen" || ( "$(pixel "$ROOT_DIR/s.png" 772 100)" == "#000000" \
     && "$(pixel "$ROOT_DIR/s.png" 300 579)" == "#000000" \
     && "$(pixel "$ROOT_DIR/s.png" 1200 700)" == "#000000" ) ]] || outside_black=0
  ((i == 12)) && cp "$ROOT_DIR/s.png" "${VELANE_SHOTS_DIR:-/tmp}/slides.png" 2>/dev/null || true
  sleep 0.25
done
echo "colours seen in order: $seen"
in_chain_order() {
  local cycle="RBY"
  while ((${#cycle} < ${#seen} + 3)); do cycle+="RBY"; done
  [[ ${#seen} -ge 4 && "$cycle" == *"$seen"* ]]
}
check "the slides follow the chain 1, 2, 3, 1, ... ($seen)" in_chain_order
check "the screen beyond the display area stays black" test "$outside_black" -eq 1

expected1="$(printf '%s\r\n' "${head/<meta/<!--t1--><meta}" '<body scroll=NO style="background:#FF0000"></body></html>' ''; echo x)"
check "flashs/00001/temporaire.html holds the composed page" \
  test "$(cat "$ROOT_DIR/flashs/00001/temporaire.html"; echo x)" = "$expected1"
check "the picture slide names its file" grep -q '<img src="bleu.svg"' "$ROOT_DIR/flashs/00002/temporaire.html"
check "the picture slide's body gets scroll=NO" grep -q '<body scroll=NO style="background:#000">' "$ROOT_DIR/flashs/00002/temporaire.html"
check "the web address slide gets its transition" grep -q '<style>body{animation:none}</style><meta' "$ROOT_DIR/flashs/00003/temporaire.html"
check "the web address slide frames its address" grep -q '<iframe src="jaune.html"' "$ROOT_DIR/flashs/00003/temporaire.html"

# The trace lists one line per slide shown (green text on black): count the
# bands of text rows in the trace area.
wid="$(visible_window "VELANE Afficheur")"
eval "$(xdotool getwindowgeometry --shell "$wid")"
screenshot "$ROOT_DIR/t.png"
lines="$(convert "$ROOT_DIR/t.png" -crop "529x113+$((X + 8))+$((Y + 144))" +repage -depth 8 txt:- \
  | awk -F'[,:]' '/#00FF00/{rows[$2]=1} END{n=0; prev=-5; for (y=0; y<113; y++) if (y in rows) { if (y > prev+1) n++; prev=y } print n}')"
check "the trace shows several section lines ($lines text lines)" test "$lines" -ge 4
finish
