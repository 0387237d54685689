#!/usr/bin/env bash
# Cross-builds the Windows deliverables with MinGW-w64 into build/win64: the DLLs
# in build/win64/plugins/, qkhost.exe and the test programs in build/win64/bin/.
# Installs what the Windows build and its Wine test run need from Debian's
# packages first (idempotent: nothing is fetched when everything is there).
set -euo pipefail
cd "$(dirname "$0")/.."

# Cross compiler (posix threads for std::thread), Wine to run the tests, Xvfb for
# their display, GStreamer's plug-ins behind Media Foundation under Wine,
# GoogleTest's sources, the JSON library's header, and the build tools.
want=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 xvfb xauth
      gstreamer1.0-plugins-base gstreamer1.0-plugins-good googletest nlohmann-json3-dev
      cmake ninja-build ffmpeg)
# zbarimg reads back the QR code the overlay draws.
want+=(zbar-tools)
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  echo "build-windows: installing ${missing[*]}"
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --no-warn-unused-cli -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DQK_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build/win64 -j "${QK_JOBS:-$(nproc)}"
