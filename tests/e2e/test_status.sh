#!/usr/bin/env bash
# Watching a fleet: two screens (two players, each on an X server of its
# own) play one content root. Each writes its status and a picture of its
# slide into the root's etat/ folder; the status follows the slides and the
# picture shows them. One player is killed: once its status is older than
# three minutes (its file's time set back, not waited for), afficheur-check
# --status marks it silent and exits 2, and the fleet page, opened in
# headless Chromium, shows both cards, the silent one in red.
source "$(dirname "$0")/lib.sh"

CHECK_BIN="$VELANE_BUILD/player/afficheur-check"
XVFB_PIDS=()
PLAYERS=()
WORK="$(mktemp -d /tmp/velane-status-XXXXXX)"
status_cleanup() {
  for pid in "${PLAYERS[@]}" "${XVFB_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PLAYERS[@]}" "${XVFB_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
  cleanup
}
trap status_cleanup EXIT

# The pages are looked at in headless Chromium, which the test installs
# when it is missing (as root; otherwise the test is skipped).
if ! command -v chromium >/dev/null; then
  if [[ "$(id -u)" -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 \
      install --no-install-recommends chromium >/dev/null 2>&1 || true
  fi
  command -v chromium >/dev/null || { echo "SKIP: chromium is not installed"; exit 77; }
fi
shoot_page() {  # shoot_page FILE.html OUT.png
  local profile; profile="$(mktemp -d "$WORK/chromium-XXXXXX")"
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars --window-size=1040,420 \
    --screenshot="$2" "file://$1" >/dev/null 2>&1 || true
  rm -rf "$profile"
  test -s "$2"
}

# An X server of the test's own, on a free display of 140 to 159.
start_screen() {
  local n
  for n in $(seq 140 159); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 800x600x24 -wr -noreset -nolisten tcp >/dev/null 2>&1 &
    XVFB_PIDS+=($!)
    SCREEN_DISPLAY=":$n"
    DISPLAY=":$n" wait_until 10 xdpyinfo && DISPLAY=":$n" paint_root && return 0
  done
  echo "no X server could be started" >&2
  exit 1
}

# Two slides of a plain colour each, three seconds on screen.
make_root
cp "$CHECK_BIN" "$ROOT_DIR/"
INI="$ROOT_DIR/VELANE_Afficheur.ini"
printf '%s\r\n' '[Systeme]' 'TailleEcranL=800' 'TailleEcranW=600' 'marge=0' \
  '[section 0]' 'section suivante=1' >"$INI"
colours=(FF0000 0000FF)
for s in 1 2; do
  mkdir -p "$ROOT_DIR/flashs/0000$s"
  printf '<html><body style="margin:0;background:#%s"></body></html>\r\n' "${colours[s - 1]}" \
    >"$ROOT_DIR/flashs/0000$s/page.html"
  printf '%s\r\n' "[section $s]" 'Type=html' 'html=page.html' 'delais secondes=2' \
    "section suivante=$((s % 2 + 1))" >>"$INI"
done
ETAT="$ROOT_DIR/etat"

for name in hall-a hall-b; do
  start_screen
  (cd "$ROOT_DIR" && exec env "${TEST_CLOCK_ENV[@]}" DISPLAY="$SCREEN_DISPLAY" \
    VELANE_SCREEN_NAME="$name" ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/$name.log" 2>&1) &
  PLAYERS+=($!)
done

# --- Each screen writes its status and its picture ---------------------------

for name in hall-a hall-b; do
  check "$name writes its status" wait_until 20 test -s "$ETAT/$name.json"
  check "$name writes the picture of its slide" wait_until 20 test -s "$ETAT/$name.png"
done

# A field of a screen's status ("" when the file or the field is not there).
field() {  # field NAME EXPRESSION
  python3 -c 'import json, sys
try:
    s = json.load(open(sys.argv[1]))
    v = eval(sys.argv[2], {"s": s})
    print("" if v is None else v)
except Exception:
    print("")' "$ETAT/$1.json" "$2"
}
check "the status names the screen, its player and the playlist's slide" test \
  "$(field hall-a 's["format"], s["screen"], s["version"] != "", s["slide"]["type"], s["slide"]["value"], s["schedule"], s["problems"]')" \
  == "(1, 'hall-a', True, 'html', 'page.html', None, [])"
check "the status gives the player's memory" test "$(field hall-a 's["memory_kb"] > 10000')" == True

# The status follows the slides: each slide in turn, each with a new
# "since", and the next section the playlist names.
sections="" sinces="" nexts_ok=1
end=$((SECONDS + 16))
while ((SECONDS < end)); do
  now="$(field hall-a 's["slide"]["section"], s["slide"]["since"], s["next_section"]')"
  if [[ -n "$now" && "$now" != "${sections##*|}" ]]; then
    sections+="|$now"
    read -r section since next <<<"$(tr -d "(),'" <<<"$now")"
    [[ "$next" == "$((section % 2 + 1))" ]] || nexts_ok=0
    [[ "$sinces" == *"$since"* ]] || sinces+=" $since"
  fi
  sleep 0.2
done
echo "hall-a's status went through:${sections//|/ / }"
changes="$(grep -o '|' <<<"$sections" | wc -l)"
check "the status follows the slide changes ($changes states seen)" test "$changes" -ge 4
check "each slide shown has a new \"since\" ($(wc -w <<<"$sinces") of them)" test "$(wc -w <<<"$sinces")" -ge 4
check "the status names the next section" test "$nexts_ok" -eq 1

# The page process runs in the engine's sandbox (bubblewrap): a mount
# namespace of its own, which the status tells.
page_process() {  # page_process PID: the page process below it
  local p
  for p in $(pgrep -P "$1"); do
    [[ "$(cat "/proc/$p/comm" 2>/dev/null)" == WebKitWebProces ]] && echo "$p" && return
    page_process "$p"
  done
}
web="$(page_process "${PLAYERS[0]}" | head -n 1)"
check "control: hall-a's page process has mounts of its own" test -n "$web" -a \
  "$(readlink "/proc/$web/ns/mnt" 2>/dev/null)" != "$(readlink "/proc/${PLAYERS[0]}/ns/mnt")"
check "the status says the page process is sandboxed" test "$(field hall-a 's["sandboxed"]')" == True

# The picture is the slide: its centre has a slide's colour, each of them
# in turn.
seen=""
end=$((SECONDS + 16))
while ((SECONDS < end)); do
  cp "$ETAT/hall-b.png" "$WORK/b.png" 2>/dev/null || true
  c="$(pixel "$WORK/b.png" 240 180 2>/dev/null || true)"
  [[ -n "$c" && "$seen" != *"$c"* ]] && seen+=" $c"
  sleep 0.3
done
echo "colours at the centre of hall-b's picture: $seen"
check "the picture shows the red slide" grep -qi '#FF0000' <<<"$seen"
check "the picture shows the blue slide" grep -qi '#0000FF' <<<"$seen"
check "the picture shows nothing else ($seen)" test "$(wc -w <<<"$seen")" -eq 2
check "the picture is at most 480 pixels wide" test "$(identify -format %w "$WORK/b.png")" -le 480

# --- The fleet at a glance ------------------------------------------------

# All well: both screens listed, none silent, exit 0. The tool finds the
# status folder of its own content root, as the player does.
code=0
(cd "$WORK" && "$ROOT_DIR/afficheur-check" --status >"$WORK/all-well.txt" 2>&1) || code=$?
cat "$WORK/all-well.txt"
check "--status: all well, exit 0 (was $code)" test "$code" -eq 0
check "--status lists both screens" test "$(grep -cE '^  hall-[ab] +section [12] \(html page.html\) since ' "$WORK/all-well.txt")" -eq 2
check "--status marks none silent" bash -c "! grep -q SILENT '$WORK/all-well.txt'"
shoot_page "$ETAT/index.html" "$WORK/page-well.png"

# hall-b's player is killed; its status stays as it was. A status of two
# minutes is not silent yet; one of four minutes is.
kill -9 "${PLAYERS[1]}"
wait "${PLAYERS[1]}" 2>/dev/null || true
touch -d '2 minutes ago' "$ETAT/hall-b.json"
code=0
"$CHECK_BIN" --status "$ETAT" >"$WORK/two-minutes.txt" 2>&1 || code=$?
check "--status: a status of 2 minutes is not silent (exit $code)" test "$code" -eq 0
touch -d '4 minutes ago' "$ETAT/hall-b.json"
code=0
"$CHECK_BIN" --status "$ETAT" >"$WORK/silent.txt" 2>&1 || code=$?
cat "$WORK/silent.txt"
check "--status: a silent screen, exit 2 (was $code)" test "$code" -eq 2
check "--status marks hall-b silent" grep -qE '^  hall-b +SILENT .*written 4 min ago' "$WORK/silent.txt"
check "--status keeps hall-a well" grep -qE '^  hall-a +section ' "$WORK/silent.txt"
code=0
"$CHECK_BIN" --status --json "$ETAT" >"$WORK/silent.json" 2>&1 || code=$?
check "--status --json: the same, as data (exit $code)" test "$code" -eq 2 -a \
  "$(python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
print(d["exit_status"], [(s["screen"], s["state"], s["silent"]) for s in d["screens"]])' "$WORK/silent.json")" \
  == "2 [('hall-a', 'ok', False), ('hall-b', 'silent', True)]"

# The fleet page: two cards with their pictures, hall-b's in red; the page
# of the run before, when all was well, has no red.
check "the fleet page has no script and refreshes itself" bash -c \
  "! grep -qi '<script' '$ETAT/index.html' && grep -q 'http-equiv=\"refresh\" content=\"30\"' '$ETAT/index.html'"
check "the fleet page is drawn by Chromium" shoot_page "$ETAT/index.html" "$WORK/page-silent.png"
cp "$WORK/page-silent.png" "${VELANE_SHOTS_DIR:-/tmp}/fleet-page.png" 2>/dev/null || true
red() { count_colour "$1" 1040x420+0+0 '#D01818'; }
green() { count_colour "$1" 1040x420+0+0 '#2E9E4F'; }
slides() { echo $(($(count_colour "$1" 1040x420+0+0 '#FF0000') + $(count_colour "$1" 1040x420+0+0 '#0000FF'))); }
echo "fleet page, all well: $(red "$WORK/page-well.png") red, $(green "$WORK/page-well.png") green pixels"
echo "fleet page, one silent: $(red "$WORK/page-silent.png") red, $(green "$WORK/page-silent.png") green, $(slides "$WORK/page-silent.png") slide pixels"
check "all well, the page shows two green cards and no red" \
  test "$(green "$WORK/page-well.png")" -gt 4000 -a "$(red "$WORK/page-well.png")" -eq 0
check "one silent, the page shows a green card and a red one" \
  test "$(green "$WORK/page-silent.png")" -gt 2000 -a "$(red "$WORK/page-silent.png")" -gt 2000
check "the cards show the slides' pictures" test "$(slides "$WORK/page-silent.png")" -gt 40000

check "hall-a's player still runs" kill -0 "${PLAYERS[0]}"

# --- A preview before publishing ---------------------------------------------
# Every file of a folder with its digest, and every folder.
tree_state() { (cd "$1" && find . -printf '%y %p\n' | sort && find . -type f -exec md5sum {} + | sort); }
# The colour of a pixel of the sheet as "R G B".
rgb() { convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- | sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -1; }
# Which of red, green and blue leads in a pixel.
hue() {
  read -r r g b <<<"$(rgb "$@")"
  if ((r > g + 10 && r > b + 10)); then echo red; elif ((g > r + 10 && g > b + 10)); then echo green
  elif ((b > r + 10 && b > g + 10)); then echo blue; else echo "grey($r,$g,$b)"; fi
}
# Pixels of the label beneath the sheet's Nth picture (1-based, three a
# row, 360 x 270 pictures for the demo's 768 x 576) written in red.
red_label_pixels() {  # red_label_pixels SHEET N PICTURE_HEIGHT
  local n=$(($2 - 1)) x y
  x=$((16 + (n % 3) * 376)) y=$((40 + (n / 3) * ($3 + 92 + 16) + $3))
  convert "$1" -crop "360x92+$x+$y" +repage -depth 8 txt:- \
    | awk -F'[(),]' 'NR > 1 && $3 > 150 && $4 < 90 && $5 < 90 { n++ } END { print n + 0 }'
}

# The demo: five slides, in chain order (an image on a night-blue sky, a
# maroon html page, a green clock, a blue lunch menu on a schedule, a
# video), none blank; nothing written into it. The pages reach the
# sandboxed page process although the preview writes them nowhere.
DEMO="$WORK/demo"
cp -r "${VELANE_SOURCE:-$(dirname "$0")/../..}/demo" "$DEMO"
tree_state "$DEMO" >"$WORK/demo-before.txt"
code=0
env DISPLAY="$SCREEN_DISPLAY" timeout 120 "$PLAYER_BIN" --preview "$WORK/demo-sheet.png" "$DEMO" \
  >"$WORK/demo-preview.txt" 2>&1 || code=$?
cat "$WORK/demo-preview.txt"
check "--preview of the demo ends by itself, exit 0 (was $code)" test "$code" -eq 0
check "--preview writes the sheet" test -s "$WORK/demo-sheet.png"
cp "$WORK/demo-sheet.png" "${VELANE_SHOTS_DIR:-/tmp}/preview-sheet.png" 2>/dev/null || true
check "--preview pictures the demo's five slides in chain order" test \
  "$(grep -c ': pictured$' "$WORK/demo-preview.txt") $(grep -o 'section [0-9]' "$WORK/demo-preview.txt" | tr -d '\n')" \
  == "5 section 1section 2section 3section 4section 5"
hues="$(hue "$WORK/demo-sheet.png" 24 48) $(hue "$WORK/demo-sheet.png" 400 48) $(hue "$WORK/demo-sheet.png" 776 48) $(hue "$WORK/demo-sheet.png" 24 426)"
check "the sheet shows the slides in chain order ($hues)" test "$hues" == "blue red green blue"
check "the sheet is drawn by the engine at the display area's size (five 360 x 270 pictures)" \
  test "$(identify -format '%wx%h' "$WORK/demo-sheet.png")" == "1144x812"
check "the lunch menu's label gives its schedule" \
  grep -q '^4\. section 4, html menu\.html \[lun-ven, 11:30-14:00\]: pictured$' "$WORK/demo-preview.txt"
check "no slide of the demo is marked blank" test "$(for n in 1 2 3 4 5; do red_label_pixels "$WORK/demo-sheet.png" $n 270; done | tr -d '\n')" == 00000
tree_state "$DEMO" >"$WORK/demo-after.txt"
check "--preview writes nothing into the demo's root" cmp -s "$WORK/demo-before.txt" "$WORK/demo-after.txt"

# A broken playlist: a mistyped "Type" and a missing page give blank
# slides, each shown as such with the checker's reason.
BROKEN="$WORK/broken"
mkdir -p "$BROKEN"
cp -r "$DEMO/modeles" "$DEMO/flashs" "$BROKEN/"
sed -e 's/^Type=url/Type=URL/' -e 's/^html=page.html/html=absente.html/' "$DEMO/VELANE_Afficheur.ini" \
  >"$BROKEN/VELANE_Afficheur.ini"
tree_state "$BROKEN" >"$WORK/broken-before.txt"
code=0
env DISPLAY="$SCREEN_DISPLAY" timeout 120 "$PLAYER_BIN" --preview "$WORK/broken-sheet.png" "$BROKEN" \
  >"$WORK/broken-preview.txt" 2>&1 || code=$?
cat "$WORK/broken-preview.txt"
check "--preview of a broken playlist still draws its sheet (exit $code)" test "$code" -eq 0 -a -s "$WORK/broken-sheet.png"
check "the image slide is pictured" grep -q '^1\. section 1, image affiche.svg: pictured$' "$WORK/broken-preview.txt"
check "the missing page is a blank slide, with the checker's reason" \
  grep -q '^2\. section 2, html absente.html: BLANK: \[missing-page\] .*absente.html does not exist' "$WORK/broken-preview.txt"
check "the mistyped Type is a blank slide, with the checker's reason" \
  grep -q '^3\. section 3, URL : BLANK: \[wrong-type\] "Type" is "URL"' "$WORK/broken-preview.txt"
reds="$(red_label_pixels "$WORK/broken-sheet.png" 1 270) $(red_label_pixels "$WORK/broken-sheet.png" 2 270) $(red_label_pixels "$WORK/broken-sheet.png" 3 270)"
read -r red1 red2 red3 <<<"$reds"
check "the sheet marks the two blank slides in red, not the other ($reds)" \
  test "$red1" -eq 0 -a "$red2" -gt 30 -a "$red3" -gt 30
tree_state "$BROKEN" >"$WORK/broken-after.txt"
check "--preview writes nothing into the broken root, its playlist included" \
  cmp -s "$WORK/broken-before.txt" "$WORK/broken-after.txt"
code=0
env -u DISPLAY -u WAYLAND_DISPLAY "$PLAYER_BIN" --preview "$WORK/none.png" "$DEMO" >"$WORK/no-display.txt" 2>&1 || code=$?
check "--preview without a display says it needs one (exit $code)" \
  grep -q 'needs a display connection' "$WORK/no-display.txt"
finish
