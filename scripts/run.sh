#!/usr/bin/env bash
# Sets up and runs the main job: builds the three plug-ins and the stand-in host,
# then lets qkhost run the show with them for a few seconds, as the DJ host would.
# With --demo it opens a demo night instead (scripts/demo-night.sh).
# Once the host runs, a sound-board command is appended to the inbox, and the
# sound is heard (or, headless, found in the WAV of the master output).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"

home=${QK_HOME:-$(pwd)/build/demo-home}
seconds=${QK_SECONDS:-5}
data="$home/QuorvaleKaraoke"
wav="$home/master-output.wav"
mkdir -p "$data"
# The sound board's button: a short chime made for the demo.
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=880:duration=1.5" -af "volume=0.5" "$home/chime.wav"
rm -f "$data/sound-state.json"
# What the manager page would publish for the audience display: first the idle
# screen with the rotation, then a singer on stage (the ticker).
rotation='"rotation":[{"singer":"Alice","title":"Dancing Queen","wait":"now"},{"singer":"Bob","title":"Bohemian Rhapsody","wait":"~4 min"},{"singer":"Chen","isNew":true,"needsSong":true,"wait":"~9 min"}]'
printf '{"renderer":"pipeline","visible":true,"isPlaying":false,"venue":"The Quorvale Arms","subtitle":"Sign up at the booth","firstEmoji":"\u2b50",%s,"qr":{"url":"https://example.org/request","label":"Scan to sign up"}}' \
  "$rotation" > "$data/audience.json"

if [ "${1:-}" = "--demo" ]; then
  exec bash scripts/demo-night.sh
fi

headless=()
[ -z "${DISPLAY:-}" ] && headless=(--headless)
frames="$home/frames"
rm -rf "$frames"
build/release/bin/qkhost --home "$home" run "${headless[@]}" --seconds "$seconds" --wav "$wav" \
  --frames "$frames" --frame-at 0.5,$((seconds - 1)) \
  build/release/plugins/QuorvaleKaraoke.so build/release/plugins/QuorvaleOverlay.so \
  build/release/plugins/QuorvaleSound.so &
host=$!
trap 'kill $host 2>/dev/null || true' INT TERM

# The sound board's first inbox cycle writes its state file; lines appended after
# it are commands.
for _ in $(seq 100); do
  [ -f "$data/sound-state.json" ] && break
  sleep 0.05
done
sleep 1
echo "run: appending a play command to $data/sound-inbox.jsonl"
printf '{"op":"play","id":"chime","path":"%s","vol":1}\n' "$home/chime.wav" >> "$data/sound-inbox.jsonl"
printf '{"renderer":"pipeline","visible":true,"isPlaying":true,"message":"Welcome to karaoke night!","venue":"The Quorvale Arms","current":{"singer":"Alice","title":"Dancing Queen"},"next":[{"singer":"Bob","wait":"~4 min"}],%s}' \
  "$rotation" > "$data/audience.json.tmp" && mv "$data/audience.json.tmp" "$data/audience.json"
sleep 0.5
echo "run: sound-state.json: $(cat "$data/sound-state.json" 2>/dev/null || echo missing)"
wait $host
echo "run: the master output is in $wav"
echo "run: video frames of the audience display are in $frames: $(ls "$frames" 2>/dev/null | tr '\n' ' ')"
echo "run: the sound board's log is $data/sound.log:"
tail -n 6 "$data/sound.log"
