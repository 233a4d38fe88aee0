#!/usr/bin/env bash
# A fleet: three screens (three players, each on an X display of its own)
# play one content root, as they would from a network share, with slides of
# one second, while an operator rewrites values with afficheur-settings and a
# reader hammers the slide folders. Every composed page read is whole, no
# key filled in by a player or written by the operator is lost, no edit is
# undone, and every screen keeps changing slides.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../../scripts/common.sh"  # start_xvfb

RUN_SECONDS="${VELANE_FLEET_SECONDS:-60}"
PIDS=()       # players, operator, reader
XVFB_PIDS=()
fleet_cleanup() {
  for pid in "${PIDS[@]}" "${XVFB_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}" "${XVFB_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  cleanup
}
trap fleet_cleanup EXIT

make_root
cp "$SETTINGS_BIN" "$ROOT_DIR/afficheur-settings"
INI="$ROOT_DIR/VELANE_Afficheur.ini"
colours=(FF0000 00C000 0000FF FFFF00)

# Four html slides of half a megabyte each (a long comment behind the body
# tag, in long lines: the page is read line by line), so that a page
# written in place would be caught half done. The
# composed page is the slide's page with scroll bars off, and a line end.
printf '%s\r\n' '[section 0]' 'section suivante=1' >"$INI"
for s in 1 2 3 4; do
  dir="$ROOT_DIR/flashs/0000$s"
  mkdir -p "$dir"
  {
    printf '<html><body style="margin:0;background:#%s">\r\n<!--\r\n' "${colours[s - 1]}"
    for ((l = 0; l < 500; l++)); do printf 'slide %s line %03d %0990d\r\n' "$s" "$l" 0; done
    printf -- '-->\r\n</body></html>\r\n'
  } >"$dir/page.html"
  { sed 's/<body /<body scroll=NO /' "$dir/page.html"; printf '\r\n'; } >"$ROOT_DIR/expected$s.html"
  printf '%s\r\n' "[section $s]" 'Type=html' 'html=page.html' 'delais secondes=0' \
    "section suivante=$((s % 4 + 1))" 'operateur=0' >>"$INI"
done

# Three screens.
for screen in 1 2 3; do
  start_xvfb 800x600x24
  XVFB_PIDS+=("$XVFB_PID")
  DISPLAYS[screen]="$DISPLAY"
  xsetroot -solid '#3060c0'
  (cd "$ROOT_DIR" && exec env "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/player$screen.log" 2>&1) &
  PIDS+=($!)
  PLAYER[screen]=$!
done
check "the players compose pages" wait_until 20 test -e "$ROOT_DIR/flashs/00001/temporaire.html"
STOP="$ROOT_DIR/stop"
touch "$ROOT_DIR/operator.log"

# The reader: every composed page it reads must be the expected one, whole.
perl -e '
  my ($root, $stop) = @ARGV;
  my %want;
  for my $s (1 .. 4) {
    open(my $f, "<:raw", "$root/expected$s.html") or die "expected$s.html: $!";
    local $/;
    $want{$s} = <$f>;
  }
  my ($reads, $bad) = (0, 0);
  until (-e $stop) {
    for my $s (1 .. 4) {
      open(my $f, "<:raw", "$root/flashs/0000$s/temporaire.html") or next;
      local $/;
      my $got = <$f> // "";
      $reads++;
      next if $got eq $want{$s};
      $bad++;
      print STDERR "slide $s: a page of ", length($got), " bytes\n" if $bad <= 20;
    }
    select(undef, undef, undef, 0.002);
  }
  print "$reads $bad\n";
' "$ROOT_DIR" "$STOP" >"$ROOT_DIR/reader.out" 2>"$ROOT_DIR/reader.log" &
PIDS+=($!)
READER=$!

# The operator: rewrites one slide's values after another, adds keys, and
# notes the last value of each; a write refused (the lock stayed taken) is
# tried again.
(
  declare -A last
  i=0
  while [[ ! -e "$STOP" ]]; do
    i=$((i + 1))
    s=$((i % 4 + 1))
    writes=("operateur|v$i")
    ((i % 3 == 0)) && writes+=("delais secondes|$(((i / 3) % 2 == 0 ? 0 : 1)).5")
    ((i % 10 == 0)) && writes+=("ajout$i|a$i")
    for w in "${writes[@]}"; do
      key="${w%%|*}" value="${w#*|}"
      for ((try = 0; try < 50; try++)); do
        if "$ROOT_DIR/afficheur-settings" set "section $s" "$key" "$value" 2>>"$ROOT_DIR/operator.log"; then
          last["section $s|$key"]="$value"
          break
        fi
        sleep 0.05
      done
    done
    sleep 0.05
  done
  for k in "${!last[@]}"; do echo "$k|${last[$k]}"; done >"$ROOT_DIR/operator.out"
) &
PIDS+=($!)
OPERATOR=$!

# Meanwhile each screen's display area is looked at every few seconds.
declare -A seen
end=$((SECONDS + RUN_SECONDS))
while ((SECONDS < end)); do
  for screen in 1 2 3; do
    c="$(DISPLAY="${DISPLAYS[screen]}" import -window root -crop 1x1+384+288 -depth 8 txt:- \
      | grep -o '#[0-9A-Fa-f]\{6\}' | awk 'NR==1')" || continue
    for s in 1 2 3 4; do
      [[ "$c" == "#${colours[s - 1]}" ]] && seen[$screen]+="$s"
    done
  done
  sleep 0.5
done
touch "$STOP"
wait "$OPERATOR" "$READER" || true
for screen in 1 2 3; do
  check "player $screen is still running" kill -0 "${PLAYER[screen]}"
done
for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done

read -r reads bad <"$ROOT_DIR/reader.out"
echo "the reader read $reads composed pages; $bad were not whole"
head -5 "$ROOT_DIR/reader.log"
check "the reader read pages all along ($reads)" test "$reads" -ge 1000
check "every composed page read was whole ($bad not)" test "$bad" -eq 0

for screen in 1 2 3; do
  shown="${seen[$screen]:-}" slides="" changes=0
  for ((n = 0; n < ${#shown}; n++)); do
    [[ "$slides" == *"${shown:n:1}"* ]] || slides+="${shown:n:1}"
    ((n > 0)) && [[ "${shown:n:1}" != "${shown:n-1:1}" ]] && changes=$((changes + 1))
  done
  echo "screen $screen showed slides ${shown:-none} in turn"
  check "screen $screen went through the chain (slides $slides, $changes changes)" \
    test "${#slides}" -ge 3 -a "$changes" -ge 3
done

# The value of a key in the playlist as the file holds it (exact names).
ini_value() {  # ini_value SECTION KEY
  tr -d '\r' <"$INI" | awk -v s="[$1]" -v k="$2" '
    /^\[/ { inside = ($0 == s); next }
    inside && index($0, k "=") == 1 { print substr($0, length(k) + 2); found = 1; exit }
    END { exit !found }'
}
has_value() { [[ "$(ini_value "$1" "$2")" == "$3" ]]; }

edits="$(wc -l <"$ROOT_DIR/operator.out")"
undone=0
while IFS='|' read -r section key value; do
  has_value "$section" "$key" "$value" || { undone=$((undone + 1)); echo "$section/$key: not $value" >&2; }
done <"$ROOT_DIR/operator.out"
echo "the operator made $(grep -c . "$ROOT_DIR/operator.out") keys' last edits; lock waits: $(grep -c . "$ROOT_DIR/operator.log" || true)"
check "the operator's edits were made ($edits keys)" test "$edits" -ge 8
check "no edit of the operator was undone or lost ($undone)" test "$undone" -eq 0
missing=0
for want in "Systeme|TailleEcranL|768" "Systeme|TailleEcranW|576" "Systeme|marge|2" \
            "section 0|delais secondes|" "section 0|section suivante|1" \
            "section 1|Transition|" "section 2|Transition|" "section 3|Transition|" \
            "section 4|Transition|" "section 1|Type|html" "section 2|html|page.html" \
            "section 3|section suivante|4" "section 4|section suivante|1"; do
  IFS='|' read -r section key value <<<"$want"
  has_value "$section" "$key" "$value" || { missing=$((missing + 1)); echo "lost: $want" >&2; }
done
check "every key the players filled in or found is there ($missing lost)" test "$missing" -eq 0
grep -h "VELANE_Afficheur:" "$ROOT_DIR"/player?.log | sort | uniq -c | head -5 || true
finish
