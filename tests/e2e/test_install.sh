#!/usr/bin/env bash
# `cmake --install` puts the player, its tools and the demo content in one
# folder with the desktop integration beside it, and the installed player
# plays the demo from its own folder.
source "$(dirname "$0")/lib.sh"

DEST="$(mktemp -d /tmp/velane-install-XXXXXX)"
trap 'cleanup; rm -rf "$DEST"' EXIT
DESTDIR="$DEST" cmake --install "$VELANE_BUILD" >/dev/null
prefix="$(awk -F= '/^CMAKE_INSTALL_PREFIX:/{print $2}' "$VELANE_BUILD/CMakeCache.txt")"
dir="$DEST$prefix"
for f in VELANE_Afficheur afficheur-settings VELANE_Afficheur.ini modeles/image.html \
         modeles/url.html modeles/transitions.ini flashs/00001/affiche.svg; do
  check "installed: $prefix/$f" test -e "$dir/$f"
done
check "the desktop entry starts the installed player" \
  grep -qx "Exec=$prefix/VELANE_Afficheur" "$DEST/usr/share/applications/velane-afficheur.desktop"
for size in 16 32; do
  check "icon ${size}px" test -s "$DEST/usr/share/icons/hicolor/${size}x${size}/apps/velane-afficheur.png"
done
unit="$DEST/usr/lib/systemd/user/velane-afficheur.service"
check "the user unit starts the player with RUNTIME" grep -qx "ExecStart=$prefix/VELANE_Afficheur RUNTIME" "$unit"
check "the user unit restarts it on failure only" grep -qx "Restart=on-failure" "$unit"
check "an autostart entry is provided" grep -q "RUNTIME" "$dir/share/velane-afficheur-autostart.desktop"

# The content root is the executable's folder, wherever that is.
ROOT_DIR="$dir"
start_player RUNTIME
check "the installed player composes the first slide in its own folder" \
  wait_until 20 test -s "$dir/flashs/00001/temporaire.html"
check "and it shows the picture" grep -q 'affiche.svg' "$dir/flashs/00001/temporaire.html"
sleep 2
screenshot "$DEST/demo.png"
check "the demo picture fills the display area" test "$(pixel "$DEST/demo.png" 10 300)" != "#000000"
cp "$DEST/demo.png" "${VELANE_SHOTS_DIR:-/tmp}/demo-slide.png" 2>/dev/null || true
stop_player
ROOT_DIR=""
finish
