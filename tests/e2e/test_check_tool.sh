#!/usr/bin/env bash
# The playlist checker afficheur-check from a shell: the demo content is
# clean, broken content roots are named problem by problem with their
# severity (text and JSON), notes alone exit 0, nothing is ever written,
# and usage errors exit with 2. Also --help and --version of the three
# programs.
set -euo pipefail

: "${VELANE_BUILD:?VELANE_BUILD must name the build folder}"
SOURCE="${VELANE_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}"
TOOL="$VELANE_BUILD/player/afficheur-check"
[[ -x "$TOOL" ]] || { echo "FAIL: $TOOL is not built" >&2; exit 1; }

WORK=$(mktemp -d /tmp/velane-check-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A fresh copy of the demo content.
demo_root() {
  local root="$WORK/$1"
  mkdir -p "$root"
  cp -r "$SOURCE/demo/." "$root/"
  echo "$root"
}

# run ROOT [--json]: the tool's output in $WORK/out, its status in $status.
run() {
  status=0
  "$TOOL" "${@:2}" "$1" >"$WORK/out" 2>"$WORK/err" || status=$?
}

valid_json() {
  if command -v python3 >/dev/null; then
    python3 -c 'import json,sys; json.load(sys.stdin)' <"$WORK/out"
  else
    grep -q '"problems": \[' "$WORK/out" && tail -n 1 "$WORK/out" | grep -q '^}$'
  fi
}

# Every file's bytes and modification time, to prove nothing was written.
snapshot() {
  (cd "$1" && find . -print0 | sort -z | xargs -0 stat -c '%n %s %Y %y %F' &&
    find . -type f -print0 | sort -z | xargs -0 cat | md5sum)
}

# --- the demo content: clean, exit 0, the chain 1 -> 2 -> 3 -> 4 -> 5 -> 1
ROOT=$(demo_root demo)
before=$(snapshot "$ROOT")
run "$ROOT"
if [[ $status -eq 0 ]] && grep -q '^No problem found\.$' "$WORK/out" &&
   grep -q '^  section 1: image, 6 s on screen (delais secondes=5)$' "$WORK/out" &&
   grep -q '^  section 2: html, 6 s on screen (delais secondes=5)$' "$WORK/out" &&
   grep -q '^  section 3: url, 6 s on screen (delais secondes=5)$' "$WORK/out" &&
   grep -q '^  section 4: html, 6 s on screen (delais secondes=5)$' "$WORK/out" &&
   grep -q '^  section 5: video, 6 s on screen (delais secondes=5)$' "$WORK/out" &&
   grep -q '(1 -> 2 -> 3 -> 4 -> 5 -> 1)' "$WORK/out"; then
  pass "demo content is clean"
else
  fail "demo content: exit $status: $(cat "$WORK/out" "$WORK/err")"
fi
run "$ROOT" --json
if [[ $status -eq 0 ]] && valid_json &&
   grep -q '{"section": 1, "type": "image", "dwell_seconds": 6, "delais_secondes": "5"}' "$WORK/out" &&
   grep -q '"errors": 0, "warnings": 0, "notes": 0,' "$WORK/out"; then
  pass "demo content as JSON"
else
  fail "demo content as JSON: exit $status: $(cat "$WORK/out")"
fi
[[ "$(snapshot "$ROOT")" == "$before" ]] && pass "demo left as it was" ||
  fail "the check changed the demo content"

# The default root is the tool's own folder: a copy of the tool beside the
# demo content checks that content.
cp "$TOOL" "$ROOT/afficheur-check"
status=0
"$ROOT/afficheur-check" >"$WORK/out" 2>&1 || status=$?
[[ $status -eq 0 ]] && grep -q "^Content root: $ROOT\$" "$WORK/out" &&
  pass "default root is the tool's folder" ||
  fail "default root: exit $status: $(cat "$WORK/out")"
rm "$ROOT/afficheur-check"

# --- broken roots: each names its problem with its severity, in text and
# JSON; errors and warnings exit 1, notes alone 0
# broken NAME SEVERITY CODE PATTERN EDIT...: a demo copy changed by the
# EDIT commands (run in the root), whose report holds CODE with SEVERITY
# and a line matching PATTERN.
broken() {
  local name="$1" severity="$2" code="$3" pattern="$4"; shift 4
  local root; root=$(demo_root "$name")
  (cd "$root" && eval "$@")
  local before; before=$(snapshot "$root")
  local expected=1
  [[ $severity == note ]] && expected=0
  run "$root"
  if [[ $status -eq $expected ]] && grep -q "^  $severity \[$code\]" "$WORK/out" &&
     grep -q -- "$pattern" "$WORK/out"; then
    pass "$name: $severity $code"
  else
    fail "$name: exit $status, expected $expected, $severity [$code] and '$pattern': $(cat "$WORK/out" "$WORK/err")"
  fi
  run "$root" --json
  if [[ $status -eq $expected ]] && valid_json &&
     grep -q "\"severity\": \"$severity\", .*\"code\": \"$code\"" "$WORK/out"; then
    pass "$name: $code as JSON"
  else
    fail "$name as JSON: exit $status: $(cat "$WORK/out")"
  fi
  [[ "$(snapshot "$root")" == "$before" ]] || fail "$name: the check wrote into the root"
}

INI=VELANE_Afficheur.ini
broken geometry error bad-geometry '"TailleEcranL" is "768px".*the slides will show in a 193 x 169 box at the top-left' \
  "sed -i 's/^TailleEcranL=.*/TailleEcranL=768px/' $INI"
broken missing-keys error missing-key 'section 0, "Type": "Type" is missing' \
  "sed -i '/section 3/,\$ {/^section suivante/d}' $INI"
broken type-case error wrong-type 'did you mean "image"' \
  "sed -i 's/^Type=image/Type=Image/' $INI"
broken no-folder error missing-folder 'flashs/00002 does not exist' \
  "rm -r flashs/00002"
broken no-template error missing-template 'modeles/url.html does not exist' \
  "rm modeles/url.html"
broken no-page error missing-page 'flashs/00002/page.html does not exist' \
  "rm flashs/00002/page.html"
broken no-placeholder error missing-placeholder 'holds no %FICHIER%' \
  "sed -i 's/%FICHIER%/photo.jpg/' modeles/image.html"
broken empty-page error blank-page 'page.html is empty' \
  ": >flashs/00002/page.html"
broken transition warning missing-transition 'transition 7' \
  "sed -i 's/^Transition=2/Transition=7/' $INI"
broken next-text warning bad-next 'stays on section 2' \
  "sed -i 's/^section suivante=3/section suivante=trois/' $INI"
broken next-range warning bad-next 'outside -32768 to 32767' \
  "sed -i 's/^section suivante=3/section suivante=40000/' $INI"
broken unreached warning unreached-section 'section 9' \
  "printf '[section 9]\r\nType=image\r\n' >>$INI"
broken short-dwell warning short-dwell '"delais secondes" is "0", below 1: the slide stays only 1 s' \
  "sed -i '0,/^delais secondes=5/s//delais secondes=0/' $INI"
broken long-template error replacement-skipped 'beyond character 32767' \
  "{ head -c 40000 /dev/zero | tr '\\\\0' x; cat modeles/image.html; } >t && mv t modeles/image.html"
broken no-playlist error missing-playlist 'does not exist' "rm $INI"
broken page-folder error unwritable-page 'temporaire.html cannot be written' \
  "mkdir flashs/00001/temporaire.html"
# Keys the player fills in by design: notes, exit 0.
broken no-systeme note missing-section '\[Systeme\] does not exist' \
  "sed -i '/^\\[Systeme\\]/,/^marge=/d' $INI"
broken no-transitions note missing-key 'section 1, "Transition": "Transition" is missing' \
  "sed -i '/^Transition=/d' $INI"

broken bad-hours error bad-schedule 'section 4, "heures": line 36: "11h30-14h" is not a time window' \
  "sed -i 's/^heures=.*/heures=11h30-14h\r/' $INI"
broken past warning never-scheduled 'its last day, "au" (2020-01-01), is past' \
  "printf 'au=2020-01-01\r\n' >>$INI"

# --- the week at a glance, "today" set by faketime: Monday 7 December 2026
FAKETIME_LIB="$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)"
[[ -n "$FAKETIME_LIB" ]] || { echo "FAIL: libfaketime is missing (package faketime)" >&2; exit 1; }
week() {  # week ROOT [--json]
  status=0
  env -u FAKETIME_SHARED FAKETIME="@2026-12-07 09:00:00" LD_PRELOAD="$FAKETIME_LIB" "$TOOL" --week "${@:2}" "$1" \
    >"$WORK/out" 2>"$WORK/err" || status=$?
}
# In order: the line, then the next ones.
lines_follow() {
  local text; text="$(cat "$WORK/out")"
  local want; want="$(printf '%s\n' "$@")"
  [[ "$text" == *"$want"* ]]
}
ROOT=$(demo_root week-demo)
week "$ROOT"
if [[ $status -eq 0 ]] && grep -q '^The week from lun 2026-12-07, sections in chain order:$' "$WORK/out" &&
   lines_follow '  ven 2026-12-11' '    00:00-11:30  sections 1, 2, 3, 5' '    11:30-14:00  sections 1, 2, 3, 4, 5' \
     '    14:00-24:00  sections 1, 2, 3, 5' '  sam 2026-12-12' '    00:00-24:00  sections 1, 2, 3, 5' &&
   [[ $(grep -c '^  [a-z]\{3\} 2026-12-' "$WORK/out") -eq 7 ]]; then
  pass "the demo's week: the lunch menu on weekdays from 11:30 to 14:00"
else
  fail "the demo's week: exit $status: $(cat "$WORK/out" "$WORK/err")"
fi
week "$ROOT" --json
if [[ $status -eq 0 ]] && valid_json && grep -q '"today": "2026-12-07"' "$WORK/out" &&
   grep -q '{"from": "11:30", "to": "14:00", "screen_off": false, "sections": \[1, 2, 3, 4, 5\]}' "$WORK/out"; then
  pass "the demo's week as JSON"
else
  fail "the demo's week as JSON: exit $status: $(cat "$WORK/out")"
fi

# Every kind of schedule fault at once: malformed values (errors, with
# their lines), a slide that never plays and hours where nothing plays
# (warnings); the week shows what the player will do with them.
ROOT=$(demo_root week-faults)
printf '%s\r\n' '[Systeme]' 'TailleEcranL=768' 'TailleEcranW=576' 'marge=2' \
  'ecran eteint=22:00-07:00' 'jours eteint=dimanche' \
  '[section 0]' 'section suivante=1' \
  '[section 1]' 'Type=image' 'image=affiche.svg' 'delais secondes=5' 'Transition=1' \
  'heures=07:00-12:00' 'section suivante=2' \
  '[section 2]' 'Type=html' 'html=page.html' 'delais secondes=5' 'Transition=2' \
  'heures=12:00-18:00' 'jours=lun-ven' 'section suivante=3' \
  '[section 3]' 'Type=url' 'url=horloge.html' 'delais secondes=5' 'Transition=3' \
  'du=2027-01-10' 'au=2027-01-01' 'section suivante=4' \
  '[section 4]' 'Type=html' 'html=menu.html' 'delais secondes=5' 'Transition=1' \
  'jours=lun-vendredi' 'heures=11:30-14:00' 'section suivante=1' >"$ROOT/$INI"
before=$(snapshot "$ROOT")
run "$ROOT"
if [[ $status -eq 1 ]] &&
   grep -q '^  error \[bad-schedule\] Systeme, "jours eteint": line 6: "dimanche" is not a day' "$WORK/out" &&
   grep -q '^  error \[bad-schedule\] section 4, "jours": line 37: "lun-vendredi" is not a day' "$WORK/out" &&
   grep -q '^  warning \[never-scheduled\] section 3: "du" (2027-01-10) comes after "au" (2027-01-01)' "$WORK/out" &&
   [[ $(grep -c '^  warning \[nothing-plays\] ' "$WORK/out") -eq 7 ]] &&
   grep -q '^  warning \[nothing-plays\] [a-z]\{3\} [0-9-]*: no slide plays 18:00-22:00 ' "$WORK/out"; then
  pass "schedule faults: errors with their lines, warnings"
else
  fail "schedule faults: exit $status: $(cat "$WORK/out" "$WORK/err")"
fi
week "$ROOT"
if [[ $status -eq 1 ]] &&
   lines_follow '  lun 2026-12-07' '    00:00-07:00  screen off' '    07:00-11:30  section 1' \
     '    11:30-12:00  sections 1, 4' '    12:00-14:00  sections 2, 4' '    14:00-18:00  section 2' \
     '    18:00-22:00  nothing plays: black' '    22:00-24:00  screen off' &&
   lines_follow '  dim 2026-12-13' '    00:00-07:00  screen off' '    07:00-11:30  section 1' \
     '    11:30-12:00  sections 1, 4' '    12:00-14:00  section 4' '    14:00-22:00  nothing plays: black' &&
   grep -q '^2 errors, 8 warnings, 0 notes (afficheur-check without --week lists them)$' "$WORK/out"; then
  pass "schedule faults: the week as the player will play it"
else
  fail "schedule faults, week: exit $status: $(cat "$WORK/out" "$WORK/err")"
fi
week "$ROOT" --json
if [[ $status -eq 1 ]] && valid_json && grep -q '"errors": 2, "warnings": 8, "notes": 0' "$WORK/out"; then
  pass "schedule faults: the week as JSON"
else
  fail "schedule faults, week as JSON: exit $status: $(cat "$WORK/out")"
fi
[[ "$(snapshot "$ROOT")" == "$before" ]] || fail "the week view wrote into the root"

# A newcomer's first playlist: one correct slide and nothing else. What the
# player adds (the display section and its keys, the transition) is five
# notes; exit 0.
ROOT=$(demo_root one-slide)
printf '[section 0]\r\nsection suivante=1\r\n\r\n[section 1]\r\nType=image\r\nimage=affiche.svg\r\ndelais secondes=10\r\nsection suivante=1\r\n' >"$ROOT/$INI"
run "$ROOT"
if [[ $status -eq 0 ]] && grep -q '^0 errors, 0 warnings, 5 notes, ' "$WORK/out" &&
   [[ $(grep -c '^  note ' "$WORK/out") -eq 5 ]] &&
   grep -q '^  section 1: image, 11 s on screen (delais secondes=10)$' "$WORK/out"; then
  pass "one correct slide: five notes, exit 0"
else
  fail "one correct slide: exit $status: $(cat "$WORK/out" "$WORK/err")"
fi

# --- usage errors: exit 2, one line on stderr, nothing on stdout
usage() {
  status=0
  "$TOOL" "$@" >"$WORK/out" 2>"$WORK/err" || status=$?
  if [[ $status -eq 2 && ! -s "$WORK/out" && $(wc -l <"$WORK/err") -eq 1 ]]; then
    pass "usage error: $*"
  else
    fail "'$*' exited $status, stdout '$(cat "$WORK/out")', stderr '$(cat "$WORK/err")'"
  fi
}
usage --bogus
usage "$ROOT" "$ROOT"
usage "$WORK/no-such-folder"
usage --json "$ROOT/VELANE_Afficheur.ini"

# --- --help and --version of the three programs: on stdout, exit 0; the
# help names the exit codes, the content root variable and an example; the
# version is the project's
VERSION=$(sed -n 's/^project(VELANE_Afficheur VERSION \([0-9.]*\).*/\1/p' "$SOURCE/CMakeLists.txt")
for program in afficheur-check afficheur-settings VELANE_Afficheur; do
  bin="$VELANE_BUILD/player/$program"
  [[ -x "$bin" ]] || { fail "$bin is not built"; continue; }
  status=0
  # No display: the player must answer without opening one.
  env -u DISPLAY "$bin" --help >"$WORK/out" 2>"$WORK/err" || status=$?
  if [[ $status -eq 0 && ! -s "$WORK/err" ]] && grep -q '^usage: ' "$WORK/out" &&
     grep -q '^Exit status: ' "$WORK/out" && grep -q 'VELANE_CONTENT_ROOT' "$WORK/out" &&
     grep -q '^Example:' "$WORK/out"; then
    pass "$program --help"
  else
    fail "$program --help: exit $status: $(cat "$WORK/out" "$WORK/err")"
  fi
  status=0
  env -u DISPLAY "$bin" --version >"$WORK/out" 2>"$WORK/err" || status=$?
  if [[ $status -eq 0 && -n "$VERSION" && "$(cat "$WORK/out")" == "$program $VERSION" ]]; then
    pass "$program --version: $VERSION"
  else
    fail "$program --version: exit $status: $(cat "$WORK/out" "$WORK/err")"
  fi
done
grep -q '^  --mode N ' <("$VELANE_BUILD/player/afficheur-settings" --help) &&
  pass "afficheur-settings --help explains --mode" || fail "--mode is not explained"
grep -q '2 usage error' <("$TOOL" --help) &&
  pass "afficheur-check --help gives exit 2 for usage errors" || fail "exit 2 not in --help"

if [[ $failures -ne 0 ]]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "all checks passed"
