#!/usr/bin/env bash
# Installs every Debian package the kit needs to build, test and run.
# Idempotent: packages already present are left alone, and the package lists are
# refreshed only when something is missing.
set -euo pipefail

# Build tools and the test and benchmark libraries.
build=(cmake ninja-build g++ pkg-config git ca-certificates
       libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev)
# clang with libFuzzer and its sanitizer runtimes, for the fuzz targets.
build+=(clang libclang-rt-14-dev)
# Platform backends: GL through EGL on Mesa, text, images, web view, audio
# decoding, HTTP, hashing, QR codes.
platform=(libegl-dev libopengl-dev libegl-mesa0 libgl1-mesa-dri
          libpango1.0-dev libcairo2-dev fonts-dejavu-core fonts-noto-color-emoji
          libgtk-3-dev libwebkit2gtk-4.1-dev libx11-dev libxtst-dev shared-mime-info
          libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
          libgdk-pixbuf-2.0-dev webp-pixbuf-loader libpulse-dev
          libcurl4-openssl-dev libssl-dev libqrcodegencpp-dev)
# Headless display for the window and web-view tests.
headless=(xvfb xauth)
# The ffmpeg tool encodes the sound tests' files and is the yardstick of the decoding benchmark.
tools=(ffmpeg)
# The manager page's browser tests: Chromium, WebKitGTK from Python, and node with npm unless a node is already there.
tools+=(chromium python3-gi gir1.2-webkit2-4.1)
command -v node >/dev/null || tools+=(nodejs)
command -v npm >/dev/null || tools+=(npm)
# The audience page draws its own QR code; its test reads it back with zbarimg.
tools+=(zbar-tools)

want=("${build[@]}" "${platform[@]}" "${headless[@]}" "${tools[@]}")
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
