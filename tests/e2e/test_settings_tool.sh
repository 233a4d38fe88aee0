#!/usr/bin/env bash
# The operator tool afficheur-settings from a shell: get/set round trip, the
# bytes it writes and prints, "--", usage errors, the mode 2 write-back (an
# operator's edit made during it kept), a missing file said on stderr, and
# every failed store an error (exit 1).
set -euo pipefail

: "${VELANE_BUILD:?VELANE_BUILD must name the build folder}"
TOOL="$VELANE_BUILD/player/afficheur-settings"
[[ -x "$TOOL" ]] || { echo "FAIL: $TOOL is not built" >&2; exit 1; }

WORK=$(mktemp -d /tmp/velane-tool-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
INI="$WORK/play.ini"
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect_bytes FILE PRINTF-FORMAT: the file holds exactly these bytes.
expect_bytes() {
  if ! printf "$2" | cmp -s - "$1"; then
    fail "$1 holds $(od -c "$1" | head -5), expected $(printf "$2" | od -c | head -5)"
  fi
}

# expect_usage ARGS...: exit status 2, nothing on stdout, one line on stderr.
expect_usage() {
  local status=0
  "$TOOL" "$@" >"$WORK/out" 2>"$WORK/err" || status=$?
  [[ $status -eq 2 ]] || fail "'$*' exited $status, expected 2"
  [[ ! -s "$WORK/out" ]] || fail "'$*' printed on stdout"
  [[ $(wc -l <"$WORK/err") -eq 1 ]] && grep -q '^usage: ' "$WORK/err" ||
    fail "'$*' did not print a one-line usage: $(cat "$WORK/err")"
}

# --- get/set round trip, and the file byte for byte
"$TOOL" set --file "$INI" Systeme TailleEcranL 1024
"$TOOL" set --file "$INI" Systeme marge 5
"$TOOL" get --file "$INI" Systeme TailleEcranL 768 >"$WORK/out"
expect_bytes "$WORK/out" '1024\n'
expect_bytes "$INI" '[Systeme]\r\nTailleEcranL=1024\r\nmarge=5\r\n'
# Names match without case, a missing key gives the default, an empty
# default prints an empty line.
"$TOOL" get --file "$INI" SYSTEME MARGE >"$WORK/out"
expect_bytes "$WORK/out" '5\n'
"$TOOL" get --file "$INI" Systeme absent >"$WORK/out" 2>"$WORK/err"
expect_bytes "$WORK/out" '\n'
[[ ! -s "$WORK/err" ]] || fail "a missing key of an existing file said: $(cat "$WORK/err")"
# A file that does not exist reads as empty: the default, exit 0, and a
# word on stderr naming the file.
status=0
"$TOOL" get --file "$WORK/none.ini" Systeme marge 2 >"$WORK/out" 2>"$WORK/err" || status=$?
expect_bytes "$WORK/out" '2\n'
[[ $status -eq 0 ]] || fail "get on a missing file exited $status, expected 0"
grep -q "$WORK/none.ini does not exist" "$WORK/err" ||
  fail "get on a missing file said nothing on stderr: $(cat "$WORK/err")"
[[ ! -e "$WORK/none.ini" ]] || fail "get created the missing file"

# --- bytes pass through unchanged (UTF-8, the euro byte of Windows-1252)
VALUE=$'h\xc3\xa9llo \xe2\x82\xac \x80'
"$TOOL" set --file "$INI" Texte titre "$VALUE"
"$TOOL" get --file "$INI" Texte titre >"$WORK/out"
expect_bytes "$WORK/out" 'h\303\251llo \342\202\254 \200\n'
grep -q $'^titre=h\xc3\xa9llo \xe2\x82\xac \x80\r$' "$INI" ||
  fail "the file does not hold the value's bytes"

# --- hand edits survive a set: other lines byte for byte
printf '; note\n[a]\nk = 1\n\n[b]\nx=2\n' >"$WORK/hand.ini"
"$TOOL" set --file "$WORK/hand.ini" a k 9
expect_bytes "$WORK/hand.ini" '; note\n[a]\nk=9\r\n\n[b]\nx=2\n'

# --- "--" ends the options: a section named -2
"$TOOL" set --file "$INI" -- -2 html '<style></style>'
"$TOOL" get --file "$INI" -- -2 html >"$WORK/out"
expect_bytes "$WORK/out" '<style></style>\n'
grep -q $'^\\[-2\\]\r$' "$INI" || fail "section -2 not written"
expect_usage get --file "$INI" -2 html

# --- mode 2 writes the default back; mode 1 never writes
"$TOOL" get --mode 1 --file "$WORK/new.ini" Systeme marge 2 >"$WORK/out"
expect_bytes "$WORK/out" '2\n'
[[ ! -e "$WORK/new.ini" ]] || fail "mode 1 created the file"
"$TOOL" get --mode 2 --file "$WORK/new.ini" Systeme marge 2 >"$WORK/out"
expect_bytes "$WORK/out" '2\n'
expect_bytes "$WORK/new.ini" '[Systeme]\r\nmarge=2\r\n'
printf '[Systeme]\r\nmarge=\r\n' >"$WORK/empty.ini"
"$TOOL" get --mode 2 --file "$WORK/empty.ini" Systeme marge 2 >"$WORK/out"
expect_bytes "$WORK/out" '2\n'
expect_bytes "$WORK/empty.ini" '[Systeme]\r\nmarge=2\r\n'

# --- mode 2 keeps an operator's edit made between its read and its
# write-back. The operator holds the writers' lock, so the tool, having
# read the key missing, waits for it (asleep); the operator then edits in
# place and lets go. With no edit, the default is written as usual.
race() {  # race INI EDIT|- (\r\n for line ends): prints the tool's exit status and output
  python3 - "$TOOL" "$@" <<'PY'
import fcntl, os, select, subprocess, sys, time
tool, ini, edit = sys.argv[1:4]
fd = os.open(ini, os.O_RDWR)
fcntl.lockf(fd, fcntl.LOCK_EX)
p = subprocess.Popen([tool, "get", "--mode", "2", "--file", ini, "Systeme", "marge", "2"],
                     stdout=subprocess.PIPE)
def asleep():
    try:
        with open(f"/proc/{p.pid}/wchan") as f:
            return "sleep" in f.read()
    except OSError:
        return False
deadline = time.monotonic() + 10
while not asleep() and p.poll() is None and time.monotonic() < deadline:
    select.select([], [], [], 0.0002)  # time.sleep fails under scripts/test-at's libfaketime
if not asleep():
    sys.exit("the tool was never seen waiting for the lock")
if edit != "-":
    os.ftruncate(fd, 0)
    os.pwrite(fd, edit.replace("\\r\\n", "\r\n").encode(), 0)
fcntl.lockf(fd, fcntl.LOCK_UN)
out = p.communicate()[0].decode()
print(f"{p.returncode}|{out.strip()}")
PY
}
# EDIT (- for none) | the file afterwards
RACES=(
  "[Systeme]\r\nTailleEcranL=768\r\nmarge=7\r\n|[Systeme]\r\nTailleEcranL=768\r\nmarge=7\r\n"
  "-|[Systeme]\r\nTailleEcranL=768\r\nmarge=2\r\n"
)
for row in "${RACES[@]}"; do
  IFS='|' read -r edit want <<<"$row"
  printf '[Systeme]\r\nTailleEcranL=768\r\n' >"$WORK/race.ini"
  got=$(race "$WORK/race.ini" "$edit") || fail "race ($row): $got"
  [[ $got == "0|2" ]] || fail "race ($row): the tool gave '$got', expected it to read the default 2 and exit 0"
  expect_bytes "$WORK/race.ini" "$want"
done

# --- the default file is the player's, beside the tool
mkdir "$WORK/player"
cp "$TOOL" "$WORK/player/"
"$WORK/player/afficheur-settings" get --mode 2 Systeme TailleEcranL 768 >"$WORK/out"
expect_bytes "$WORK/out" '768\n'
expect_bytes "$WORK/player/VELANE_Afficheur.ini" '[Systeme]\r\nTailleEcranL=768\r\n'

# --- the player's playlist as a link: written as the player writes it, so
# not through a link out of the content root (exit 1, and why); the same
# file named with --file is written, as the operator asked
printf '[a]\r\nk=1\r\n' >"$WORK/own.ini"
rm "$WORK/player/VELANE_Afficheur.ini"
ln -s ../own.ini "$WORK/player/VELANE_Afficheur.ini"
status=0
"$WORK/player/afficheur-settings" set a k 2 2>"$WORK/err" || status=$?
[[ $status -eq 1 ]] && grep -q 'leads outside the content root' "$WORK/err" ||
  fail "a playlist linked out of the root: exit $status, $(cat "$WORK/err")"
expect_bytes "$WORK/own.ini" '[a]\r\nk=1\r\n'
"$WORK/player/afficheur-settings" set --file "$WORK/player/VELANE_Afficheur.ini" a k 3 ||
  fail "the linked playlist named with --file was not written"
expect_bytes "$WORK/own.ini" '[a]\r\nk=3\r\n'
# Control: a link that stays inside the root is written through.
mkdir "$WORK/player/listes"
printf '[a]\r\nk=1\r\n' >"$WORK/player/listes/hall.ini"
ln -sfn listes/hall.ini "$WORK/player/VELANE_Afficheur.ini"
"$WORK/player/afficheur-settings" set a k 4 || fail "a playlist linked inside the root was not written"
expect_bytes "$WORK/player/listes/hall.ini" '[a]\r\nk=4\r\n'
[[ -L "$WORK/player/VELANE_Afficheur.ini" ]] || fail "the link was replaced"

# --- a refused write is an error, for set and for the mode 2 write-back:
# exit 1 and the file named (a read-only file is refused even to root)
printf '[a]\r\nk=1\r\n' >"$WORK/ro.ini"
chmod 444 "$WORK/ro.ini"
# ARGS | what the message names
REFUSED=(
  "set --file $WORK/missing/x.ini a k v|$WORK/missing/x.ini"
  "get --mode 2 --file $WORK/missing/x.ini a k v|$WORK/missing/x.ini"
  "set --file $WORK/ro.ini a k 2|$WORK/ro.ini"
  "get --mode 2 --file $WORK/ro.ini a other 3|$WORK/ro.ini"
)
for row in "${REFUSED[@]}"; do
  IFS='|' read -r args named <<<"$row"
  status=0
  # shellcheck disable=SC2086
  "$TOOL" $args >"$WORK/out" 2>"$WORK/err" || status=$?
  [[ $status -eq 1 ]] || fail "'$args' exited $status, expected 1"
  grep -q "cannot write $named" "$WORK/err" || fail "'$args' did not name $named: $(cat "$WORK/err")"
done
[[ ! -e "$WORK/missing" ]] || fail "a folder was created"
expect_bytes "$WORK/ro.ini" '[a]\r\nk=1\r\n'

# --- the registry form: "$" + key path keeps the setting in the user's
# registry store (a private one here)
export XDG_DATA_HOME="$WORK/xdg"
reg='$HKEY_CURRENT_USER\Software\VelaneTest'
"$TOOL" set --file "$reg" S K "la valeur" || fail "registry set failed"
[[ "$("$TOOL" get --file "$reg" S K)" == "la valeur" ]] || fail "registry value not read back"
[[ -s "$XDG_DATA_HOME/velane-afficheur/registry.sqlite" ]] || fail "no registry store written"
[[ "$("$TOOL" get --file "$reg" S absent "def")" == "def" ]] || fail "registry default not returned"
[[ "$("$TOOL" get --file '$HKCU\Software\VelaneTest' S K "short")" == "short" ]] || fail "a short root name read something"
# A key path the store cannot hold stores nothing: an error.
status=0
"$TOOL" set --file '$HKCU\Software\VelaneTest' S K v 2>"$WORK/err" || status=$?
[[ $status -eq 1 ]] && grep -q 'cannot write HKCU' "$WORK/err" ||
  fail "set under an unknown root exited $status: $(cat "$WORK/err")"
# A damaged store: set and get fail with exit 1, naming the store's file.
store="$XDG_DATA_HOME/velane-afficheur/registry.sqlite"
printf 'not a database, not at all; %0200d' 0 >"$store"
for args in "set S K v" "get S K d"; do
  status=0
  # shellcheck disable=SC2086
  "$TOOL" ${args%% *} --file "$reg" ${args#* } >"$WORK/out" 2>"$WORK/err" || status=$?
  [[ $status -eq 1 ]] || fail "'$args' on a damaged registry store exited $status, expected 1"
  grep -qF "$store" "$WORK/err" || fail "'$args' did not name $store: $(cat "$WORK/err")"
done
unset XDG_DATA_HOME

# --- usage errors
expect_usage
expect_usage frob a b
expect_usage get onlysection
expect_usage get a b c d
expect_usage set a b
expect_usage set --mode 2 a b c
expect_usage get --mode two a b
expect_usage get --mode 99999 a b
expect_usage get a b --file
expect_usage get --unknown a b

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "afficheur-settings: all checks passed"
