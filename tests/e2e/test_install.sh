#!/usr/bin/env bash
# The player as the package installs and runs it:
# - under the systemd user unit (Type=notify): READY=1 once the display
#   window is mapped, WATCHDOG=1 at least every half watchdog interval;
# - the unit and the autostart entry wait out the minute of the nightly
#   restart before they start the player (clock moved by faketime);
# - as root: the .deb passes lintian, installs, and a fresh unprivileged user
#   who follows README (joins the group, runs the unit's command) sees the
#   demo slide; upgrades and "dpkg -r" keep the content root, "dpkg -P"
#   removes it and the group.
source "$(dirname "$0")/lib.sh"

UNIT_FILE="$VELANE_BUILD/packaging/velane-afficheur.service"
AUTOSTART_FILE="$VELANE_BUILD/packaging/velane-afficheur-autostart.desktop"

# --- Readiness and watchdog, through a datagram socket standing in for
# systemd's. On READY=1 the listener looks at once whether a full-screen
# window is viewable.
make_root
cp -r "$VELANE_SOURCE/demo/." "$ROOT_DIR/"
paint_root '#3060c0'
cat >"$ROOT_DIR/listen.py" <<'EOF'
import socket, subprocess, sys, time
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(sys.argv[1])
with open(sys.argv[2], "a", buffering=1) as out:
    while True:
        message = sock.recv(4096).decode()
        now = time.monotonic()
        for line in message.splitlines():
            if line == "READY=1":
                mapped = subprocess.run(sys.argv[3:]).returncode == 0
                line += " mapped" if mapped else " not-mapped"
            out.write("%.3f %s\n" % (now, line))
EOF
# A viewable window covering the whole screen.
cat >"$ROOT_DIR/mapped.sh" <<'EOF'
size="$(xdpyinfo | awk '/dimensions:/{print $2}')"
for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
  info="$(xwininfo -id "$w")"
  grep -q "Map State: IsViewable" <<<"$info" && grep -q -- "-geometry ${size}+0+0" <<<"$info" && exit 0
done
exit 1
EOF
python3 "$ROOT_DIR/listen.py" "$ROOT_DIR/notify.sock" "$ROOT_DIR/notify.log" \
  bash "$ROOT_DIR/mapped.sh" &
LISTENER=$!
trap 'cleanup; kill $LISTENER 2>/dev/null || true' EXIT
wait_until 5 test -S "$ROOT_DIR/notify.sock"
(cd "$ROOT_DIR" && NOTIFY_SOCKET="$ROOT_DIR/notify.sock" WATCHDOG_USEC=2000000 \
   exec env "${TEST_CLOCK_ENV[@]}" ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/player.log" 2>&1) &
PLAYER_PID=$!
check "READY=1 is sent" wait_until 30 grep -q 'READY=1' "$ROOT_DIR/notify.log"
check "once the display window is mapped" grep -q 'READY=1 mapped' "$ROOT_DIR/notify.log"
sleep 6
stop_player
sleep 0.5
kill $LISTENER 2>/dev/null || true
# The pings from READY=1 on: WATCHDOG_USEC=2 s asks for one a second, and
# systemd gives up after 2 s without one.
read -r pings longest < <(awk '/READY=1/{t=$1} /WATCHDOG=1/ && t {n++; if ($1-t > gap) gap=$1-t; t=$1}
  END {printf "%d %.2f\n", n, gap}' "$ROOT_DIR/notify.log")
check "WATCHDOG=1 comes from the main loop ($pings pings in 6 s)" test "$pings" -ge 4
check "never 2 s without a ping (longest gap ${longest} s)" awk "BEGIN {exit !($longest < 2)}"
check "nothing but READY=1 and WATCHDOG=1 is sent" \
  test -z "$(grep -v -e ' READY=1 mapped$' -e ' WATCHDOG=1$' "$ROOT_DIR/notify.log")"

# --- The minute of the nightly restart: the wait in front of the player, as
# written in the unit and in the autostart entry, run at a given local time.
guard() {  # guard FILE: the shell loop of its start command, %% unescaped
  sed -n 's/^Exec[A-Za-z]*=.*-c "\(while [^"]*done\).*/\1/p' "$1" | sed 's/%%/%/g'
}
started_at() {  # started_at FILE HH:MM:SS: the local time when the player would start
  # The loop starts a new "date" at each turn: every one of them must find
  # the same clock, so the library moves the real clock by an offset (with
  # its sign: unsigned, it reads a date), not to a start time ("@"), which
  # each new process would find again. The offset is reckoned from the real
  # clock, clear of a clock faked around the whole suite (scripts/test-at).
  # The library is preloaded by hand: the faketime wrapper names a
  # semaphore after its process number, and one left behind by a killed
  # wrapper of an earlier run makes a later one with that number fail.
  local real=(env -u LD_PRELOAD -u FAKETIME -u FAKETIME_SHARED)
  local offset=$(($("${real[@]}" date -d "$("${real[@]}" date +%F) $2" +%s) - $("${real[@]}" date +%s)))
  ((offset >= 0)) && offset="+$offset"
  timeout 90 "${real[@]}" LD_PRELOAD="$FAKETIME_LIB" FAKETIME="${offset}s" \
    FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1 sh -c "$(guard "$1"); date +%H:%M"
}
for file in "$UNIT_FILE" "$AUTOSTART_FILE"; do
  name="$(basename "$file")"
  check "$name waits before the player" test -n "$(guard "$file")"
  check "$name: brought back at 03:00:58, the player starts at 03:01" \
    test "$(started_at "$file" 03:00:58)" = 03:01
  check "$name: at 02:59:50 it starts at once" test "$(started_at "$file" 02:59:50)" = 02:59
  check "$name: at 14:00:00 it starts at once" test "$(started_at "$file" 14:00:00)" = 14:00
done
check "the unit restarts the player whatever way it ended" grep -qx 'Restart=always' "$UNIT_FILE"
check "the unit waits for READY=1 and feeds a watchdog" \
  bash -c "grep -qx 'Type=notify' '$UNIT_FILE' && grep -q '^WatchdogSec=' '$UNIT_FILE'"

# --- The Debian package, installed for real: root only.
if [[ $(id -u) -ne 0 ]]; then
  echo "skipped: installing the package needs root (CI runs this test as root)"
  finish
  exit 0
fi
if dpkg -s velane-afficheur >/dev/null 2>&1 || [[ -e /var/lib/velane-afficheur ]] ||
   getent group velane >/dev/null; then
  echo "skipped: velane-afficheur is already installed on this machine (or was, and not purged)"
  finish
  exit 0
fi

WORK="$(mktemp -d /tmp/velane-deb-XXXXXX)"
chmod 755 "$WORK"
KIOSK="vkiosk$$"
# As README says (apt install of the file); apt waits while another
# installation holds the package database, where dpkg would give up.
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }
purge() {
  userdel -r "$KIOSK" 2>/dev/null || true
  apt_get purge velane-afficheur >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap 'cleanup; kill $LISTENER 2>/dev/null || true; purge' EXIT

(cd "$VELANE_BUILD" && cpack -G DEB -B "$WORK" >"$WORK/cpack.log" 2>&1) || cat "$WORK/cpack.log" >&2
deb="$(ls "$WORK"/velane-afficheur_*.deb 2>/dev/null | head -1)"
check "the package is built" test -s "$deb"
lintian "$deb" >"$WORK/lintian.log" 2>&1
lintian_status=$?
cat "$WORK/lintian.log"
check "lintian reports no error" test "$lintian_status" -eq 0 -a -z "$(grep '^E:' "$WORK/lintian.log")"
check "the package installs" apt_get install "$deb"

ROOT=/var/lib/velane-afficheur
for p in VELANE_Afficheur afficheur-settings afficheur-check; do
  check "$p: /usr/bin/$p runs the installed program" \
    test "$(readlink -f "/usr/bin/$p")" = "/usr/lib/velane-afficheur/$p"
  check "$p has a manual page" test -s "/usr/share/man/man1/$p.1.gz"
done
check "the content root is the velane group's, group-writable and setgid" \
  test "$(stat -c '%G %a' "$ROOT" "$ROOT/flashs/00001")" = $'velane 2775\nvelane 2775'
check "the playlist is seeded from the demo, group-writable" \
  test "$(stat -c '%G %a' "$ROOT/VELANE_Afficheur.ini")" = "velane 664"

# README: a kiosk user joins the group, and the user unit runs the
# command below (its environment, folder and umask) in their session.
useradd --create-home --shell /bin/sh "$KIOSK"
adduser --quiet "$KIOSK" velane
unit=/usr/lib/systemd/user/velane-afficheur.service
unit_value() { sed -n "s/^$1=//p" "$unit" | head -1; }
environment="$(unit_value Environment)"
check "the unit sets the content root" test "$environment" = "VELANE_CONTENT_ROOT=$ROOT"
check "and runs the player there" test "$(unit_value WorkingDirectory)" = "$ROOT"
FAKE="$WORK/bin"
mkdir -p "$FAKE"
cp "$FAKE_RESTART_BIN/shutdown" "$FAKE/shutdown"  # the stand-in lib.sh made
chmod -R 755 "$FAKE"
paint_root '#3060c0'
# setpriv starts from an empty environment, as runuser does in the Wayland
# harness: nothing preloaded for the whole run goes over to the kiosk user.
env -i "$(command -v setpriv)" --reuid "$KIOSK" --regid "$KIOSK" --init-groups \
  "$(command -v env)" -i HOME="/home/$KIOSK" USER="$KIOSK" LOGNAME="$KIOSK" DISPLAY="$DISPLAY" \
  PATH="$FAKE:/usr/bin:/bin" "$environment" "${TEST_CLOCK_VARS[@]}" \
  sh -c "umask $(unit_value UMask); cd $(unit_value WorkingDirectory) && $(unit_value ExecStartPre | sed 's/%%/%/g') && exec $(unit_value ExecStart)" \
  >"$WORK/player.log" 2>&1 &
PLAYER_PID=$!
check "the installed player composes the first slide" \
  wait_until 60 test -s "$ROOT/flashs/00001/temporaire.html"
check "the page is the kiosk user's, writable by the group" \
  test "$(stat -c '%U %G %a' "$ROOT/flashs/00001/temporaire.html")" = "$KIOSK velane 664"
sleep 2
screenshot "$WORK/demo.png"
# The demo picture: its sun and its hills, on the coloured root.
check "the demo slide is on screen (sun)" test "$(pixel "$WORK/demo.png" 620 130)" = "#F6C945"
check "the demo slide is on screen (hills)" test "$(pixel "$WORK/demo.png" 100 540)" = "#2F8F5B"
cp "$WORK/demo.png" "${VELANE_SHOTS_DIR:-/tmp}/demo-slide.png" 2>/dev/null || true
stop_player
sed 's/^/  player: /' "$WORK/player.log"

# An upgrade, a removal and a reinstall keep what operators changed.
echo '; changed by an operator' >>"$ROOT/VELANE_Afficheur.ini"
check "the package installs over itself" apt_get install --reinstall "$deb"
check "an upgrade keeps the playlist" grep -q 'changed by an operator' "$ROOT/VELANE_Afficheur.ini"
check "dpkg -r removes the programs" apt_get remove velane-afficheur
check "dpkg -r: programs gone" test ! -e /usr/lib/velane-afficheur/VELANE_Afficheur
check "dpkg -r keeps the playlist" grep -q 'changed by an operator' "$ROOT/VELANE_Afficheur.ini"
check "dpkg -r keeps the templates" test -s "$ROOT/modeles/image.html"
check "the package installs again" apt_get install "$deb"
check "a reinstall does not seed again" grep -q 'changed by an operator' "$ROOT/VELANE_Afficheur.ini"

# The web engine's processes end shortly after the player.
wait_until 20 bash -c "! pgrep -u '$KIOSK'"
userdel -r "$KIOSK" >/dev/null 2>&1
check "dpkg -P purges the package" apt_get purge velane-afficheur
check "dpkg -P removes the content root" test ! -e "$ROOT"
check "dpkg -P removes the group once nobody is in it" bash -c '! getent group velane'
check "and nothing of the package is left" test ! -e /usr/share/velane-afficheur
finish
