#!/usr/bin/env bash
# Sets up and runs the main job: builds the three plug-ins and the stand-in host,
# then lets qkhost load them as the DJ host would.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"
home=${QK_HOME:-$(pwd)/build/demo-home}
mkdir -p "$home"
exec build/release/bin/qkhost --home "$home" info \
  build/release/plugins/QuorvaleKaraoke.so build/release/plugins/QuorvaleOverlay.so \
  build/release/plugins/QuorvaleSound.so
