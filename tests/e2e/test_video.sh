#!/usr/bin/env bash
# Video slides: an H.264/MP4 clip, then a VP9/WebM clip, then a colour page.
# Each clip is a moving ball under a band of one colour (green, then red),
# two seconds long, so that a slide of six (the first: ten) seconds loops it: the
# picture must move while each clip plays, the band must never go black at a
# loop, and the chain must go on on time.
source "$(dirname "$0")/lib.sh"
for tool in gst-launch-1.0 compare; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

start_own_xvfb 201 230
make_root
paint_root
mkdir -p "$ROOT_DIR/flashs/"{00000,00001,00002,00003}
cp "$VELANE_SOURCE/demo/modeles/video.html" "$ROOT_DIR/modeles/"
# clip FILE ENCODER MUXER FILL: 640x360 at 25 frames a second, two seconds;
# videobox adds the band of colour FILL (60 rows) above the ball.
clip() {
  gst-launch-1.0 -q videotestsrc num-buffers=50 pattern=ball \
    ! video/x-raw,width=640,height=300,framerate=25/1 ! videobox top=-60 fill="$4" \
    ! videoconvert ! $2 ! $3 ! filesink location="$1"
}
clip "$ROOT_DIR/flashs/00001/clip.mp4" "x264enc speed-preset=ultrafast ! video/x-h264,profile=baseline" mp4mux green
clip "$ROOT_DIR/flashs/00002/clip.webm" "vp9enc deadline=1 cpu-used=8" webmmux red
check "the clips are made" test -s "$ROOT_DIR/flashs/00001/clip.mp4" -a -s "$ROOT_DIR/flashs/00002/clip.webm"
printf '<html><body style="margin:0;background:#0040ff"></body></html>\r\n' >"$ROOT_DIR/flashs/00003/bleu.html"
printf '%s\r\n' '[section 0]' 'section suivante=1' \
  '[section 1]' 'Type=video' 'video=clip.mp4' 'delais secondes=9' 'section suivante=2' \
  '[section 2]' 'Type=video' 'video=clip.webm' 'delais secondes=5' 'section suivante=3' \
  '[section 3]' 'Type=html' 'html=bleu.html' 'delais secondes=3' 'section suivante=1' \
  >"$ROOT_DIR/VELANE_Afficheur.ini"

# The display area is 768x576: a 640x360 clip fills its width, 432 rows
# high from row 72; its band is rows 72 to 143.
BAND_X=40 BAND_Y=100 BALL_AREA=768x360+0+144
band_is() {  # band_is RRGGBB: the band's pixel within a few steps of that colour
  screenshot "$ROOT_DIR/band.png"
  local c; c="$(pixel "$ROOT_DIR/band.png" $BAND_X $BAND_Y)"
  python3 -c 'import sys; a, b = sys.argv[1].lstrip("#"), sys.argv[2]
sys.exit(0 if all(abs(int(a[i:i+2], 16) - int(b[i:i+2], 16)) <= 24 for i in (0, 2, 4)) else 1)' "$c" "$1"
}
moves() {  # moves NAME: two pictures of the ball's area, 0.4 s apart, differ
  import -window root -crop "$BALL_AREA" +repage "$ROOT_DIR/$1-a.png"
  sleep 0.4
  import -window root -crop "$BALL_AREA" +repage "$ROOT_DIR/$1-b.png"
  local differ; differ="$(compare -metric AE "$ROOT_DIR/$1-a.png" "$ROOT_DIR/$1-b.png" null: 2>&1 || true)"
  echo "$1: $differ pixels changed in 0.4 s"
  [[ "${differ%% *}" =~ ^[0-9]+$ ]] && ((${differ%% *} > 100))
}
sample() {  # sample SECONDS RRGGBB RRGGBB: the band's pixel in the frame buffer
  "$VELANE_BUILD/fb_sampler" "$FB/Xvfb_screen0" $BAND_X $BAND_Y "$@" 24
}

xdotool mousemove 1200 700
start_player RUNTIME
check "the MP4 clip is on screen" wait_until 30 band_is 00FF00
# The kernel's uptime, not the wall clock: the suite also runs with the clock
# faked per process, and two processes' wall clocks then disagree.
read -r mp4_seen _ </proc/uptime
check "the MP4 clip plays (the picture moves)" moves mp4
# From the first clip's second second on, through two of its loops: green
# and nothing else. Then across the change to the second clip: green, then
# red, and never the black of the new page before its clip's first picture.
loops="$(sample 3 00FF00 00FF00)"
echo "band as the MP4 clip loops: $loops"
check "no black frame as the clip loops" grep -q ' foreign=0' <<<"$loops"
check "control: the sampler watched the clip (still on screen after it)" band_is 00FF00
# Until 1.5 s past the end of the MP4 slide's nine seconds, counted from
# when it was first seen (it began a little before): early in the five
# seconds of the WebM slide, however long the checks above took on a busy
# machine.
read -r now _ </proc/uptime
change="$(sample "$(python3 -c 'import sys; print(max(1.0, float(sys.argv[1]) + 10.5 - float(sys.argv[2])))' "$mp4_seen" "$now")" 00FF00 FF0000)"
echo "band across the change of clip: $change"
check "control: the sampler saw the clips change" grep -q ' switches=[1-9]' <<<"$change"
check "no black frame between the two clips" grep -q ' foreign=0' <<<"$change"
check "the WebM clip plays (the picture moves)" moves webm
check "the chain goes on to the colour slide" wait_until 10 band_is 0040FF
still() { ! moves still; }
check "control: a still page does not count as moving" still
check "and back to the first clip" wait_until 10 band_is 00FF00
check "the player never reported a failure" bash -c '! grep -q "VELANE_Afficheur: .*fail" "$1"' _ "$ROOT_DIR/player.log"
finish
