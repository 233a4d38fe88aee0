#!/usr/bin/env bash
# Broken content roots, one after another, each under the real player: the
# player keeps running through every one, writes nothing but its playlist,
# its trace log and the composed pages of the slide folders, and reports
# the problems that have a report (on stderr, as the dispatcher words them).
#
# Each row of the table names a case, the report it must give ("-": none,
# and then no handler may report a failure either) and whether the chain
# must reach the sentinel slide 9 (proof that the player ticked on past the
# bad slide). A case is a function that fills $ROOT_DIR.
source "$(dirname "$0")/lib.sh"

# --- Content -----------------------------------------------------------------

CRLF=$'\r\n'
META='<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">'

# A sound playlist around one slide under test: section 0 leads to slide 1
# (the case's slide, one second), which leads to the sentinel, slide 9.
# playlist SLIDE1_KEYS [SYSTEME_KEYS]
playlist() {
  local slide="$1" systeme="${2:-TailleEcranL=640${CRLF}TailleEcranW=480${CRLF}marge=0${CRLF}}"
  printf '%s' "[Systeme]${CRLF}${systeme}[section 0]${CRLF}section suivante=1${CRLF}" \
    "[section 1]${CRLF}delais secondes=1${CRLF}section suivante=9${CRLF}${slide}" \
    "[section 9]${CRLF}delais secondes=1${CRLF}section suivante=1${CRLF}Type=url${CRLF}url=about:blank${CRLF}Transition=0${CRLF}"
}

# Templates and slide folders as the demo content has them.
sound_content() {
  mkdir -p "$ROOT_DIR/flashs/00000" "$ROOT_DIR/flashs/00001" "$ROOT_DIR/flashs/00009"
  printf '<html><head>%s</head><body bgcolor="#000000"><img src="%%FICHIER%%"></body></html>\r\n' \
    "$META" >"$ROOT_DIR/modeles/image.html"
  printf '<html><head>%s</head><body bgcolor="#000000"><iframe src="%%URL%%"></iframe></body></html>\r\n' \
    "$META" >"$ROOT_DIR/modeles/url.html"
  printf '[0]\r\nhtml=\r\n[1]\r\nhtml=<meta http-equiv="Page-Enter" content="blendTrans(Duration=1)">\r\n' \
    >"$ROOT_DIR/modeles/transitions.ini"
}

ini() { cat >"$ROOT_DIR/VELANE_Afficheur.ini"; }
repeat() { head -c "$2" /dev/zero | tr '\0' "$1"; }  # repeat CHAR COUNT
# Reproducible garbage: every byte value, NULs and lone CRs included.
garbage() { perl -e 'srand($ARGV[0]); print map { chr(int(rand(256))) } 1..$ARGV[1]' "$1" "$2"; }

# --- Cases -------------------------------------------------------------------

case_geometry_not_a_number() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" "TailleEcranL=768px${CRLF}TailleEcranW=576${CRLF}marge=2${CRLF}" | ini
}
case_geometry_words() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" "TailleEcranL=768${CRLF}TailleEcranW=six cents${CRLF}marge=2${CRLF}" | ini
}
case_geometry_beyond_double() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" "TailleEcranL=1e400${CRLF}TailleEcranW=576${CRLF}marge=2${CRLF}" | ini
}
case_margin_beyond_pixels() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" "TailleEcranL=768${CRLF}TailleEcranW=576${CRLF}marge=1e300${CRLF}" | ini
}
case_geometry_negative() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" "TailleEcranL=-5000${CRLF}TailleEcranW=-1${CRLF}marge=-3000${CRLF}" | ini
}
case_values_of_100kb() {
  sound_content
  local big; big="$(repeat x 102400)"
  playlist "Type=image${CRLF}image=${big}${CRLF}url=${big}${CRLF}Transition=${big}${CRLF}$(repeat y 102400)${CRLF}" | ini
}
case_names_of_100kb() {
  sound_content
  { playlist "Type=image${CRLF}image=a.jpg${CRLF}$(repeat k 102400)=v${CRLF}"
    printf '[%s]\r\n%s=1\r\n' "$(repeat s 102400)" "$(repeat k 102400)"; } | ini
}
case_binary_garbage_only() {
  sound_content
  garbage 7 65536 | ini
  cp "$ROOT_DIR/VELANE_Afficheur.ini" "$ROOT_DIR.garbage"
}
case_binary_garbage_around_the_chain() {
  sound_content
  { garbage 11 32768; printf '\r\n'; playlist "Type=image${CRLF}image=a.jpg${CRLF}"; garbage 13 32768; } | ini
}
case_odd_line_ends_and_nuls() {
  sound_content
  # A byte-order mark, lone CRs for line ends, NULs and tabs inside lines.
  printf '\xef\xbb\xbf[Systeme]\rTailleEcranL=640\r\t[section 0]\t\rsection suivante=1\0ignored\r[section 1]\rdelais secondes=1\rType=image\rimage=a\0b.jpg\rsection suivante=9\r[section 9]\rdelais secondes=1\rsection suivante=1\r' | ini
}
case_chain_that_never_ends() {
  # 32,768 sections in a row, each showing for one second, and no slide
  # folder at all: the chain runs on to new sections for hours.
  awk 'BEGIN { for (s = 0; s <= 32767; s++)
    printf "[section %d]\r\ndelais secondes=0\r\nsection suivante=%d\r\nType=image\r\nimage=p%d.jpg\r\n", s, s + 1, s }' | ini
}
case_next_section_not_a_number() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | sed 's/^section suivante=9/section suivante=quarante/' | ini
}
case_next_section_beyond_16_bits() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | sed 's/^section suivante=9/section suivante=40000/' | ini
}
case_dwell_extremes() {
  sound_content
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | sed 's/^delais secondes=1\r$/delais secondes=-1e400\r/' | ini
}
case_missing_templates() {
  sound_content
  rm -rf "$ROOT_DIR/modeles"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | ini
}
case_unreadable_files() {
  # As root the permission bits do not stop a read: the player then runs as
  # nobody (see run_case).
  sound_content
  printf '<html>%s<body class=x>page</body></html>\r\n' "$META" >"$ROOT_DIR/flashs/00001/page.html"
  playlist "Type=html${CRLF}html=page.html${CRLF}Transition=1${CRLF}" | ini
  chmod 000 "$ROOT_DIR/modeles/url.html" "$ROOT_DIR/modeles/transitions.ini" \
    "$ROOT_DIR/flashs/00001/page.html"
}
case_templates_are_folders() {
  sound_content
  rm -f "$ROOT_DIR/modeles/image.html" "$ROOT_DIR/modeles/transitions.ini"
  mkdir "$ROOT_DIR/modeles/image.html" "$ROOT_DIR/modeles/transitions.ini"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}Transition=1${CRLF}" | ini
}
case_template_is_a_named_pipe() {
  sound_content
  rm -f "$ROOT_DIR/modeles/image.html"
  mkfifo "$ROOT_DIR/modeles/image.html"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | ini
}
case_template_over_32767_characters() {
  sound_content
  # The placeholder and the meta tag beyond the 16-bit positions.
  { repeat ' ' 40000; printf '%s<body class=x><img src="%%FICHIER%%"></body>\r\n' "$META"; } \
    >"$ROOT_DIR/modeles/image.html"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}Transition=1${CRLF}" | ini
}
case_slide_page_of_2_mb() {
  sound_content
  { printf '<html><head>%s</head><body class=x>\r\n' "$META"
    for _ in $(seq 2000); do repeat p 1000; printf '\r\n'; done
    printf '</body></html>\r\n'; } >"$ROOT_DIR/flashs/00001/big.html"
  playlist "Type=html${CRLF}html=big.html${CRLF}" | ini
}
case_slide_page_outside_its_folder() {
  sound_content
  playlist "Type=html${CRLF}html=../../VELANE_Afficheur.ini${CRLF}" | ini
}
case_missing_slide_folder() {
  sound_content
  rmdir "$ROOT_DIR/flashs/00001"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | ini
}
case_read_only_settings_file() {
  sound_content
  # Keys missing from section 1 cannot be written back.
  playlist "Type=image${CRLF}" | ini
  chmod 444 "$ROOT_DIR/VELANE_Afficheur.ini"
}
case_settings_file_is_a_folder() {
  sound_content
  mkdir "$ROOT_DIR/VELANE_Afficheur.ini"
}
case_composed_page_is_a_folder() {
  sound_content
  mkdir "$ROOT_DIR/flashs/00001/temporaire.html"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | ini
}
case_composed_page_is_a_named_pipe() {
  sound_content
  mkfifo "$ROOT_DIR/flashs/00001/temporaire.html"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | ini
}
case_composed_page_links_outside() {
  # A link left in a slide folder must not let the player overwrite a file
  # elsewhere (here the url template).
  sound_content
  ln -s ../../modeles/url.html "$ROOT_DIR/flashs/00001/temporaire.html"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}" | ini
}
case_transitions_garbage() {
  sound_content
  { garbage 17 16384; printf '\r\n[1e+308]\r\nhtml=x\r\n'; } >"$ROOT_DIR/modeles/transitions.ini"
  playlist "Type=image${CRLF}image=a.jpg${CRLF}Transition=1e308${CRLF}" | ini
}

# name | report that must appear on stderr (grep -E), or "-" | sentinel |
# what afficheur-check names it ([code] in its report), or "-" for nothing
# beyond the problems every case has (a missing picture, a missing key)
CASES=(
  "geometry_not_a_number|Afficheur\.Form_Load failed: .*TailleEcranL.*768px|yes|bad-geometry"
  "geometry_words|Afficheur\.Form_Load failed: .*TailleEcranW.*six cents|yes|bad-geometry"
  "geometry_beyond_double|Afficheur\.Form_Load failed: .*1e400|yes|bad-geometry"
  "margin_beyond_pixels|Afficheur\.Form_Load failed: Overflow|yes|bad-geometry"
  "geometry_negative|-|yes|bad-geometry"
  "values_of_100kb|-|yes|long-value"
  "names_of_100kb|-|yes|unknown-section"
  "binary_garbage_only|-|no|missing-section"
  "binary_garbage_around_the_chain|-|yes|stray-keys"
  "odd_line_ends_and_nuls|-|yes|missing-section"
  "chain_that_never_ends|-|no|bad-next"
  "next_section_not_a_number|-|no|bad-next"
  "next_section_beyond_16_bits|-|no|bad-next"
  "dwell_extremes|-|yes|-"
  "missing_templates|-|yes|missing-template"
  "unreadable_files|-|yes|blank-page"
  "templates_are_folders|-|yes|blank-page"
  "template_is_a_named_pipe|-|yes|not-a-file"
  "template_over_32767_characters|-|yes|replacement-skipped"
  "slide_page_of_2_mb|-|yes|-"
  "slide_page_outside_its_folder|-|yes|-"
  "missing_slide_folder|-|yes|missing-folder"
  "read_only_settings_file|-|yes|read-only-playlist"
  "settings_file_is_a_folder|-|no|unreadable-playlist"
  "composed_page_is_a_folder|-|yes|unwritable-page"
  "composed_page_is_a_named_pipe|-|yes|unwritable-page"
  "composed_page_links_outside|-|yes|unwritable-page"
  "transitions_garbage|-|yes|missing-transition"
)

# --- Checks ------------------------------------------------------------------

# Every entry of the content root with its type, mode, link target and, for
# files, a digest; except what the player may write: its playlist, its
# trace log, the composed pages of the slide folders, its status folder
# (and this test's log).
tree_state() {
  (cd "$ROOT_DIR" && find . -mindepth 1 -printf '%y %m %p -> %l\n' | sort | while read -r type mode path rest; do
    case "$path" in
      ./VELANE_Afficheur.ini | ./debugger.log | ./player.log | ./etat | ./etat/*) continue ;;
    esac
    if [[ "$type" == f && "$path" =~ ^\./flashs/-?[0-9]{5,}/temporaire\.html$ ]]; then continue; fi
    digest=""
    [[ "$type" == f ]] && digest="$(md5sum <"$path" | cut -c1-32)"
    echo "$type $mode $path $rest $digest"
  done)
}

# The unreadable case runs the player and the checker as nobody when this
# test runs as root (permission bits do not stop root). Nobody may not reach
# the build folder (a clone in a folder only root can enter): like the
# player, the checker runs from a copy in the content root.
as_nobody() { [[ "$1" == unreadable_files && "$(id -u)" -eq 0 ]]; }

# Runs the player on the content root, as nobody when as_nobody says so.
NOBODY_HOME=""
start_case_player() {
  if as_nobody "$1"; then
    NOBODY_HOME="$(mktemp -d /tmp/velane-nobody-XXXXXX)"
    chown -R 65534:65534 "$ROOT_DIR" "$NOBODY_HOME"
    (cd "$ROOT_DIR" && exec setpriv --reuid=65534 --regid=65534 --clear-groups \
      env "${TEST_CLOCK_ENV[@]}" HOME="$NOBODY_HOME" XDG_RUNTIME_DIR="$NOBODY_HOME" \
      ./VELANE_Afficheur RUNTIME >"$ROOT_DIR/player.log" 2>&1) &
    PLAYER_PID=$!
  else
    start_player RUNTIME
  fi
}

# The checker on the broken root, before the player has touched it: it
# finds problems (exit 1), names this one, and writes nothing. It runs as
# the player runs, so the unreadable case is unreadable to it too.
CHECK_BIN="$VELANE_BUILD/player/afficheur-check"
run_checker() {
  local name="$1" code="$2" out="$ROOT_DIR.check" status=0
  local playlist_before=""
  [[ -f "$ROOT_DIR/VELANE_Afficheur.ini" ]] && playlist_before="$(md5sum <"$ROOT_DIR/VELANE_Afficheur.ini")"
  local as=() checker="$CHECK_BIN"
  if as_nobody "$name"; then
    chown -R 65534:65534 "$ROOT_DIR"
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    checker="$ROOT_DIR/afficheur-check"
  fi
  "${as[@]}" timeout 60 "$checker" "$ROOT_DIR" >"$out" 2>&1 || status=$?
  if [[ "$code" != - ]]; then
    check "$name: the checker finds problems (exit 1, was $status)" test "$status" -eq 1
    check "$name: the checker names the problem [$code]" grep -q "\[$code\]" "$out"
  else
    # Nothing the screen shows differently: notes alone (exit 0) or a warning.
    check "$name: the checker answers (exit 0 or 1, was $status)" test "$status" -le 1
  fi
  local playlist_after=""
  [[ -f "$ROOT_DIR/VELANE_Afficheur.ini" ]] && playlist_after="$(md5sum <"$ROOT_DIR/VELANE_Afficheur.ini")"
  check "$name: the checker leaves the playlist as it was" test "$playlist_before" == "$playlist_after"
  rm -f "$out"
}

sentinel_shown() { [[ -f "$ROOT_DIR/flashs/00009/temporaire.html" ]]; }
# The user interface thread still runs its timers: after the mouse has
# rested, a movement brings the quit window.
answers() {
  xdotool mousemove $((100 + RANDOM % 800)) $((100 + RANDOM % 400))
  sleep 0.3
  local w
  for w in $(xdotool search --onlyvisible --pid "$PLAYER_PID" 2>/dev/null); do
    xdotool getwindowgeometry "$w" | grep -q 'Geometry: 437x54' && return 0
  done
  return 1
}
no_failure_reported() { ! grep -q 'VELANE_Afficheur: .* failed: ' "$ROOT_DIR/player.log"; }

run_case() {
  local name="$1" report="$2" sentinel="$3" code="$4"
  make_root
  "case_$name"
  if as_nobody "$name"; then cp "$CHECK_BIN" "$ROOT_DIR/afficheur-check"; fi
  local before; before="$(tree_state)"
  run_checker "$name" "$code"
  check "$name: the checker writes nothing" test "$before" == "$(tree_state)"
  local playlist_before=""
  [[ -f "$ROOT_DIR/VELANE_Afficheur.ini" ]] && playlist_before="$(md5sum <"$ROOT_DIR/VELANE_Afficheur.ini")"

  start_case_player "$name"
  if [[ "$sentinel" == yes ]]; then
    check "$name: the chain goes on past the bad slide" wait_until 15 sentinel_shown
  else
    sleep 4
  fi
  check "$name: the player is still running" player_alive
  check "$name: the player still answers (a movement brings the quit window)" wait_until 5 answers
  stop_player

  local after; after="$(tree_state)"
  if [[ "$before" == "$after" ]]; then
    pass "$name: nothing written outside the playlist, the trace log and the composed pages"
  else
    fail "$name: the content root changed elsewhere:"
    diff <(echo "$before") <(echo "$after") | head -20 >&2 || true
  fi
  if [[ "$report" == - ]]; then
    check "$name: no handler reported a failure" no_failure_reported
  else
    check "$name: the problem is reported" grep -Eq "VELANE_Afficheur: $report" "$ROOT_DIR/player.log"
  fi

  # What some cases promise beyond that.
  case "$name" in
    read_only_settings_file)
      check "$name: the read-only playlist is left as it was" \
        test "$(md5sum <"$ROOT_DIR/VELANE_Afficheur.ini")" == "$playlist_before" ;;
    binary_garbage_only)
      check "$name: the garbage is kept, byte for byte, in front of the new keys" \
        cmp -s -n "$(stat -c %s "$ROOT_DIR.garbage")" "$ROOT_DIR.garbage" "$ROOT_DIR/VELANE_Afficheur.ini"
      rm -f "$ROOT_DIR.garbage" ;;
    composed_page_is_a_folder)
      check "$name: the folder in place of the composed page is still a folder" \
        test -d "$ROOT_DIR/flashs/00001/temporaire.html" ;;
    next_section_not_a_number | next_section_beyond_16_bits)
      check "$name: slide 1 is shown again, the chain goes nowhere else" \
        test -f "$ROOT_DIR/flashs/00001/temporaire.html" -a ! -e "$ROOT_DIR/flashs/00009/temporaire.html" ;;
    chain_that_never_ends)
      check "$name: the chain walked on, filling the keys of the sections it reached" \
        grep -q $'^Transition=\r$' "$ROOT_DIR/VELANE_Afficheur.ini" ;;
  esac
  if [[ -n "$NOBODY_HOME" ]]; then rm -rf "$NOBODY_HOME"; NOBODY_HOME=""; fi
  rm -rf "$ROOT_DIR"
  ROOT_DIR=""
}

# One case or all: VELANE_CASES="name1 name2" picks some.
for row in "${CASES[@]}"; do
  IFS='|' read -r name report sentinel code <<<"$row"
  if [[ -n "${VELANE_CASES:-}" && " $VELANE_CASES " != *" $name "* ]]; then continue; fi
  echo "== $name"
  run_case "$name" "$report" "$sentinel" "$code"
done
finish
