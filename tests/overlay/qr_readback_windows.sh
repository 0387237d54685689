#!/usr/bin/env bash
# The idle screen's QR code drawn by QuorvaleOverlay.dll inside qkhost.exe (under
# Wine, on Direct3D 11) and read back from the captured frame with zbarimg: the
# code a guest's phone scans must carry the page's link.
# Usage: qr_readback_windows.sh <wine program> <qkhost.exe> <QuorvaleOverlay.dll>
set -euo pipefail
wine=$1 qkhost=$2 dll=$3
url="https://example.org/request?venue=Quorvale%20Arms&n=42"
work=$(mktemp -d "${TMPDIR:-/tmp}/qk-qr-XXXXXX")
trap 'rm -rf "$work"' EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p "$work/home/QuorvaleKaraoke" "$work/frames"
cat > "$work/home/QuorvaleKaraoke/audience.json" <<JSON
{"renderer":"pipeline","visible":true,"isPlaying":false,"title":"Friday",
 "rotation":[{"singer":"Alice"},{"singer":"Bob"}],
 "qr":{"url":"$url","label":"Scan to sign up"},
 "appearance":{"enabled":true,"color":"#1b1f2a"}}
JSON
"$wine" "$qkhost" --home "$(win "$work/home")" --size 1920x1080 run --headless --seconds 2 --fps 10 \
  --frames "$(win "$work/frames")" --frame-at 1.2 "$(win "$dll")"
frame=$(ls "$work"/frames/*.png | tail -n 1)
[ -n "$frame" ] || { echo "no frame captured"; exit 1; }
read=$(zbarimg -q --raw "$frame" || true)
echo "read back: $read"
[ "$read" = "$url" ] || { echo "expected: $url"; exit 1; }
