#!/usr/bin/env bash
# The KJ's zip, installed as INSTALL.txt says and run by qkhost.exe under Wine:
# scripts/package-windows.sh packs the build, the zip is unpacked into a
# VirtualDJ folder's Plugins64, and qkhost.exe loads the three plug-ins from
# there. The karaoke plug-in opens the page beside it, the sound board plays
# a sound the inbox asks for, and the overlay draws the idle screen into a frame.
# Usage: package_run_test.sh SOURCE_DIR BUILD_DIR WEBVIEW2_STAND_IN_DLL (under the Wine stage's prefix
# and wineserver, as CTest runs it there).
set -euo pipefail
src=$1
build=$2
stand_in=$3
wine=${QK_WINE:-/usr/lib/wine/wine64}

work=$(mktemp -d "${TMPDIR:-/tmp}/qk-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$home/QuorvaleKaraoke/sound.log" "$home/QuorvaleKaraoke/overlay.log" "$work/qkhost.txt"; do
    [ -f "$log" ] && { echo "--- $log" >&2; tail -n 30 "$log" >&2; }
  done
  exit 1
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Pack, then unpack as the KJ does: the zip's Plugins64 into the VirtualDJ folder.
zip=$(QK_DIST_DIR="$work/dist" bash "$src/scripts/package-windows.sh" "$build")
[ -f "$zip" ] || fail "no zip made"
unzip -q "$zip" -d "$work/unpacked"
top=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
[ "$(basename "$top")" = "$(basename "$zip" .zip)" ] || fail "the zip's top folder is $(basename "$top")"
home=$work/VirtualDJ
mkdir -p "$home"
cp -r "$top/Plugins64" "$home/"
plugins=$home/Plugins64
for f in Other/QuorvaleKaraoke.dll SoundEffect/QuorvaleSound.dll VideoEffect/QuorvaleOverlay.dll \
         Other/QuorvaleKaraoke/ui/index.html Other/QuorvaleKaraoke/ui/audience.html; do
  [ -f "$plugins/$f" ] || fail "the zip has no Plugins64/$f"
done
grep -q $'\r$' "$top/INSTALL.txt" || fail "INSTALL.txt has no Windows line ends"
grep -q 'Plugins64\\VideoEffect\\QuorvaleOverlay.dll' "$top/INSTALL.txt" || fail "INSTALL.txt names no overlay folder"

# There is no WebView2 runtime under Wine: the tests' stand-in goes beside the
# karaoke DLL, where the plug-in looks for a loader first.
cp "$stand_in" "$plugins/Other/WebView2Loader.dll"

qkdir=$home/QuorvaleKaraoke
mkdir -p "$qkdir"
# The idle screen over a background of its own colour.
cat >"$qkdir/audience.json" <<'EOF'
{"renderer":"pipeline","visible":true,"isPlaying":false,"title":"Package night","appearance":{"enabled":true,"color":"#204080"}}
EOF
# A bell at the engine's rate, in stereo (Wine's Media Foundation converts neither).
ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*1000*t):s=48000:d=3" \
  "$work/bell.wav"

# The karaoke log is in Wine's temporary folder, shared with the other tests:
# only lines naming this run's folder count.
karaoke_log=""
find_karaoke_log() {
  karaoke_log=$(find "${WINEPREFIX:-$HOME/.wine}/drive_c/users" -name QuorvaleKaraoke-win.log 2>/dev/null | head -n 1)
}

# Not headless: the karaoke plug-in's window and web view live on qkhost.exe's UI
# thread, which a headless run does not start (Xvfb is the display here).
"$wine" "$build/bin/qkhost.exe" --home "$(winpath "$home")" run --seconds 6 \
  --frames "$(winpath "$work/frames")" --frame-at 5 --wav "$(winpath "$work/master.wav")" \
  "$(winpath "$plugins/Other/QuorvaleKaraoke.dll")" "$(winpath "$plugins/SoundEffect/QuorvaleSound.dll")" \
  "$(winpath "$plugins/VideoEffect/QuorvaleOverlay.dll")" >"$work/qkhost.txt" 2>&1 </dev/null &
host=$!
# Once the sound board's worker runs, a play appended to its inbox is new.
for _ in $(seq 1 80); do
  grep -q 'first OnProcessSamples' "$qkdir/sound.log" 2>/dev/null && [ -f "$qkdir/sound-state.json" ] && break
  sleep 0.05
done
printf '{"op":"play","id":"bell","path":"%s"}\n' "$(winpath "$work/bell.wav" | sed 's/\\/\\\\/g')" \
  >>"$qkdir/sound-inbox.jsonl"
status=0
wait "$host" || status=$?
[ "$status" -eq 0 ] || fail "qkhost.exe ended with $status"

# All three loaded from the unpacked folders.
grep -q "OnLoad v1.0.0 - qkDir=$(winpath "$qkdir" | sed 's/\\/\\\\/g')" "$qkdir/sound.log" ||
  fail "the sound board did not load with its data folder"
grep -q '===== OnLoad (QuorvaleOverlay' "$qkdir/overlay.log" || fail "the overlay did not load"
find_karaoke_log
[ -n "$karaoke_log" ] || fail "no karaoke log"
# Loaded from the folder it was unpacked to, and the page found beside it in
# QuorvaleKaraoke\ui\ (checked above) is what the web view is sent to.
grep -aqF "module dir (sdk hInstance) = $(winpath "$plugins/Other")" "$karaoke_log" ||
  fail "the karaoke plug-in did not load from Plugins64\\Other: $(grep -a 'module dir' "$karaoke_log" | tail -n 1)"
grep -a "navigating to" "$karaoke_log" | grep -F "$(basename "$work")" |
  grep -qF "Plugins64/Other/QuorvaleKaraoke/ui/index.html" ||
  fail "the karaoke plug-in did not open its page: $(grep -a 'navigating to\|WebView2' "$karaoke_log" | tail -n 3)"

# The sound board played the bell into the master output.
grep -q ' play bell vol=1.00 voice=0' "$qkdir/sound.log" || fail "the bell was not played"
peak=$(ffmpeg -nostdin -v info -i "$work/master.wav" -af volumedetect -f null - 2>&1 |
       sed -n 's/.*max_volume: \(-\{0,1\}[0-9.]*\) dB.*/\1/p')
[ -n "$peak" ] && awk -v p="$peak" 'BEGIN { exit !(p > -12) }' || fail "the master output is silent (peak ${peak:-none} dB)"

# The overlay drew: a frame of the idle screen's background colour.
grep -q 'first OnDraw 1920x1080' "$qkdir/overlay.log" || fail "the overlay never drew"
frame=$(find "$work/frames" -name '*.png' | sort | tail -n 1)
[ -n "$frame" ] || fail "no frame was captured"
pixel=$(ffmpeg -nostdin -v error -i "$frame" -vf "crop=1:1:40:540" -f rawvideo -pix_fmt rgb24 - | od -An -tu1 | tr -s ' ')
read -r r g b <<<"$pixel"
for pair in "$r 32" "$g 64" "$b 128"; do
  set -- $pair
  [ $(( $1 > $2 ? $1 - $2 : $2 - $1 )) -le 3 ] || fail "the idle background at (40, 540) is $pixel, not 32 64 128"
done
echo "package run: $(basename "$zip") ($(stat -c %s "$zip") bytes) installed and run; all three plug-ins loaded"
