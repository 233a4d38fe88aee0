# Shared by the scripts: install what is missing, configure and build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${VELANE_BUILD_DIR:-$ROOT/build}"

# Debian packages the project builds, runs and tests with.
PACKAGES=(build-essential cmake pkg-config libgtk-3-dev libwebkit2gtk-4.1-dev
  libxfixes-dev libxi-dev libxss-dev libxext-dev libx11-dev libsqlite3-dev libgtest-dev libgmock-dev
  libbenchmark-dev xvfb xdotool x11-utils x11-xserver-utils imagemagick faketime
  procps dpkg-dev file libsystemd-dev help2man lintian libwayland-dev libwayland-bin
  wayland-protocols sway swayidle grim xwayland bubblewrap
  gstreamer1.0-plugins-good gstreamer1.0-libav  # what the web engine plays video with
  gstreamer1.0-tools gstreamer1.0-plugins-ugly)  # the tests make their clips (x264enc)

ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

configure() {  # configure DIR [cmake options...]
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

build() {  # build DIR [cmake options...]
  configure "$@"
  cmake --build "$1" -j"$(nproc)"
}

# A French locale (decimal comma), for the tests of the locale-aware number
# parse; generated once, when missing.
ensure_french_locale() {
  locale -a 2>/dev/null | grep -qix 'fr_FR.utf8' && return 0
  ensure_packages locales
  local sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo sed -i 's/^# *\(fr_FR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
}

# The nightly restart runs "shutdown -r" found on PATH. Tests, measurements
# and the demo put a stand-in first on PATH that only notes the request, so
# that none of them restarts the machine, whatever the hour they run at.
fake_restart_command() {
  local bin="$BUILD/fake-restart"
  mkdir -p "$bin"
  printf '#!/bin/sh\necho "fake shutdown (nothing restarted): shutdown $*" >&2\n' >"$bin/shutdown"
  chmod +x "$bin/shutdown"
  export PATH="$bin:$PATH"
}

# Starts Xvfb on a free display; sets DISPLAY. The root window is white, so
# a black area on a screenshot can only come from the player.
start_xvfb() {  # start_xvfb [SIZE [FRAME_BUFFER_FOLDER]]
  local size="${1:-1280x720x24}" fb=()
  [[ -n "${2:-}" ]] && fb=(-fbdir "$2")
  for n in $(seq 90 120); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
      # -noreset: the server is not started afresh (its root painted white
      # again) each time its last client, xdotool or xdpyinfo, leaves.
      Xvfb ":$n" -screen 0 "$size" "${fb[@]}" -wr -noreset -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
      echo "Xvfb did not start" >&2; return 1
    fi
  done
  echo "no free X display" >&2; return 1
}
