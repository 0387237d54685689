#!/usr/bin/env bash
# A demo night in the stand-in host: four singers in the rotation with short demo
# songs and a background-music folder, all made here with ffmpeg, and the real
# manager page in the karaoke plug-in's window. With a display the night runs
# until qkhost is stopped (Ctrl+C; keys 1-4 in the video window are the pads).
# Without one it runs under Xvfb for a short while: pad 2 starts the background
# music, pad 1 puts the first singer on stage, and video frames of the idle
# screen and of the ticker are saved. Run it as `bash scripts/run.sh --demo`,
# which sets up and builds first.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/release/bin/qkhost ] || { echo "demo: build first with: bash scripts/run.sh --demo" >&2; exit 1; }

home=${QK_HOME:-$(pwd)/build/demo-night}
data="$home/QuorvaleKaraoke"
music="$home/music"
bg="$home/background"
mkdir -p "$data/shows" "$music" "$bg"

# A little tune: a sine stepping through a few notes, `rate` steps a second.
tune() {  # file seconds base-hz steps-per-second
  [ -f "$1" ] && return 0
  ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc=0.25*sin(2*PI*$3*pow(2\,floor(mod(t*$4\,5))/12*2)*t)|0.25*sin(2*PI*$3*pow(2\,floor(mod(t*$4\,5))/12*2)*t):s=44100:d=$2" \
    -af "afade=t=in:d=0.3,afade=t=out:st=$(($2 - 1)):d=1" -b:a 128k "$1"
}
echo "demo: making the demo songs in $music"
tune "$music/The Quorvales - Opening Night.mp3" 25 392 2
tune "$music/Lou and the Lamps - Neon Harbour.mp3" 25 330 3
tune "$music/Marisol - Midnight Ferry.mp3" 25 440 1
tune "$music/Big Dave - Back Room Blues.mp3" 25 294 2
tune "$bg/Lounge Loop One.mp3" 30 262 1
tune "$bg/Lounge Loop Two.mp3" 30 349 1

today=$(date -u +%Y-%m-%d)
song() {  # path -> {"path","title","artist"} from "Artist - Title.mp3"
  local base; base=$(basename "$1" .mp3)
  printf '{"path":"%s","title":"%s","artist":"%s"}' "$1" "${base#* - }" "${base%% - *}"
}
cat > "$data/shows/demo-$today.json" <<JSON
{"format":1,"name":"Demo night $today","startedAt":"${today}T19:00:00Z","performances":[],"queue":[
 {"id":"d1","name":"Alice","isNew":false,"held":false,"songs":[$(song "$music/The Quorvales - Opening Night.mp3")]},
 {"id":"d2","name":"Bob","isNew":true,"held":false,"songs":[$(song "$music/Lou and the Lamps - Neon Harbour.mp3")]},
 {"id":"d3","name":"Chen","isNew":false,"held":false,"songs":[$(song "$music/Marisol - Midnight Ferry.mp3")]},
 {"id":"d4","name":"Dana","isNew":false,"held":false,"songs":[]}
]}
JSON
cat > "$data/settings.json" <<JSON
{"currentShow":"demo-$today.json","musicFolder":"$music","bgFolder":"$bg","venue":"The Quorvale Arms",
 "message":"Welcome to the demo night!","firstEmoji":"\u2b50","minutesPerSong":4,"overlayVisible":true,
 "endShowOnQuit":false}
JSON
rm -f "$data/pending-end-show.json" "$data/audience.json"

plugins=(build/release/plugins/QuorvaleKaraoke.so build/release/plugins/QuorvaleOverlay.so
         build/release/plugins/QuorvaleSound.so)
if [ -n "${DISPLAY:-}" ]; then
  echo "demo: the night is open; stop it with Ctrl+C (keys 1-4 in the video window are the pads)"
  exec build/release/bin/qkhost --home "$home" run --seconds "${QK_SECONDS:-3600}" "${plugins[@]}"
fi

seconds=${QK_SECONDS:-16}
frames="$home/frames"
rm -rf "$frames"
echo "demo: no display; running the night under Xvfb for $seconds s"
WEBKIT_DISABLE_COMPOSITING_MODE=1 xvfb-run -a -s "-screen 0 1920x1080x24" \
  build/release/bin/qkhost --home "$home" --host-log "$home/host.log" run --seconds "$seconds" \
  --wav "$home/master-output.wav" --frames "$frames" --frame-at 5,$((seconds - 2)) \
  --pad 2@4 --pad 1@7 "${plugins[@]}"
echo "demo: what the page published for the audience display ($data/audience.json):"
cat "$data/audience.json"; echo
echo "demo: the decks as the page drove them ($home/host.log):"
grep '^send' "$home/host.log" | head -n 6
echo "demo: video frames (idle screen, then the ticker): $(ls "$frames" | tr '\n' ' ')"
echo "demo: the master output is in $home/master-output.wav"
