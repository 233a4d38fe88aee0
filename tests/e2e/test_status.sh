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
    Xvfb ":$n" -screen 0 800x600x24 -wr -nolisten tcp >/dev/null 2>&1 &
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
  (cd "$ROOT_DIR" && exec env DISPLAY="$SCREEN_DISPLAY" VELANE_SCREEN_NAME="$name" \
    "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/$name.log" 2>&1) &
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
finish
