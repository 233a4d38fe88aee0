#!/usr/bin/env bash
# The playlist checker afficheur-check from a shell: the demo content is
# clean, broken content roots are named problem by problem (text and
# JSON), nothing is ever written, and usage errors exit with 2.
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

# --- the demo content: clean, exit 0, the chain 1 -> 2 -> 3 -> 1
ROOT=$(demo_root demo)
before=$(snapshot "$ROOT")
run "$ROOT"
if [[ $status -eq 0 ]] && grep -q '^No problem found\.$' "$WORK/out" &&
   grep -q '^  section 1: image, 6 s$' "$WORK/out" &&
   grep -q '^  section 2: html, 6 s$' "$WORK/out" &&
   grep -q '^  section 3: url, 6 s$' "$WORK/out" &&
   grep -q '(1 -> 2 -> 3 -> 1)' "$WORK/out"; then
  pass "demo content is clean"
else
  fail "demo content: exit $status: $(cat "$WORK/out" "$WORK/err")"
fi
run "$ROOT" --json
if [[ $status -eq 0 ]] && valid_json &&
   grep -q '{"section": 1, "type": "image", "dwell_seconds": 6}' "$WORK/out"; then
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

# --- broken roots: each exits 1 and names its problem, in text and JSON
# broken NAME CODE PATTERN EDIT...: a demo copy changed by the EDIT commands
# (run in the root), whose report holds CODE and a line matching PATTERN.
broken() {
  local name="$1" code="$2" pattern="$3"; shift 3
  local root; root=$(demo_root "$name")
  (cd "$root" && eval "$@")
  local before; before=$(snapshot "$root")
  run "$root"
  if [[ $status -eq 1 ]] && grep -q "\[$code\]" "$WORK/out" &&
     grep -q -- "$pattern" "$WORK/out"; then
    pass "$name: $code"
  else
    fail "$name: exit $status, expected [$code] and '$pattern': $(cat "$WORK/out" "$WORK/err")"
  fi
  run "$root" --json
  if [[ $status -eq 1 ]] && valid_json &&
     grep -q "\"code\": \"$code\"" "$WORK/out"; then
    pass "$name: $code as JSON"
  else
    fail "$name as JSON: exit $status: $(cat "$WORK/out")"
  fi
  [[ "$(snapshot "$root")" == "$before" ]] || fail "$name: the check wrote into the root"
}

INI=VELANE_Afficheur.ini
broken geometry bad-geometry '"TailleEcranL" is "768px"' \
  "sed -i 's/^TailleEcranL=.*/TailleEcranL=768px/' $INI"
broken missing-keys missing-key 'section 3, "section suivante".*"0"' \
  "sed -i '/section 3/,\$ {/^section suivante/d}' $INI"
broken type-case wrong-type 'did you mean "image"' \
  "sed -i 's/^Type=image/Type=Image/' $INI"
broken no-folder missing-folder 'flashs/00002 does not exist' \
  "rm -r flashs/00002"
broken no-template missing-template 'modeles/url.html does not exist' \
  "rm modeles/url.html"
broken no-page missing-page 'flashs/00002/page.html does not exist' \
  "rm flashs/00002/page.html"
broken no-placeholder missing-placeholder 'holds no %FICHIER%' \
  "sed -i 's/%FICHIER%/photo.jpg/' modeles/image.html"
broken empty-page blank-page 'page.html is empty' \
  ": >flashs/00002/page.html"
broken transition missing-transition 'transition 7' \
  "sed -i 's/^Transition=2/Transition=7/' $INI"
broken next-text bad-next 'stays on section 2' \
  "sed -i 's/^section suivante=3/section suivante=trois/' $INI"
broken next-range bad-next 'outside -32768 to 32767' \
  "sed -i 's/^section suivante=3/section suivante=40000/' $INI"
broken unreached unreached-section 'section 9' \
  "printf '[section 9]\r\nType=image\r\n' >>$INI"
broken long-template replacement-skipped 'beyond character 32767' \
  "{ head -c 40000 /dev/zero | tr '\\\\0' x; cat modeles/image.html; } >t && mv t modeles/image.html"
broken no-playlist missing-playlist 'does not exist' "rm $INI"
broken page-folder unwritable-page 'temporaire.html cannot be written' \
  "mkdir flashs/00001/temporaire.html"

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

if [[ $failures -ne 0 ]]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "all checks passed"
