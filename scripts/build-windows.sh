#!/usr/bin/env bash
# Cross-builds the Windows deliverables with MinGW-w64 into build/win64: the DLLs
# in build/win64/plugins/, qkhost.exe and the test programs in build/win64/bin/.
# Installs what the Windows build and its Wine test run need from Debian's
# packages first (idempotent: nothing is fetched when everything is there).
set -euo pipefail
cd "$(dirname "$0")/.."

# Cross compiler (posix threads for std::thread), Wine to run the tests, Xvfb for
# their display, GStreamer's plug-ins behind Media Foundation under Wine,
# GoogleTest's sources, the JSON library's header, the build tools, zip for
# scripts/package-windows.sh and unzip for its test.
want=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 xvfb xauth
      gstreamer1.0-plugins-base gstreamer1.0-plugins-good googletest nlohmann-json3-dev
      cmake ninja-build ffmpeg zip unzip)
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

# The QR encoder's C++ source for the overlay: Debian builds it for Linux only,
# so its source package's original tarball is fetched here (at setup time, never
# during the build) through apt with a private deb-src list on this machine's
# own Debian mirror, and unpacked under build/. Only the tarball is needed; the
# mirror may not serve the package's .debian part, so apt's complaint about that
# part is let pass once the tarball is there with the hash apt announced.
qr_version=1.8.0
qr_root=$PWD/build/qrcodegen
qr_source=$qr_root/QR-Code-generator-$qr_version/cpp
if [ ! -f "$qr_source/qrcodegen.cpp" ] || [ ! -f "$qr_source/qrcodegen.hpp" ]; then
  echo "build-windows: fetching the QR encoder's source (qr-code-generator $qr_version)"
  apt_state=$qr_root/apt
  rm -rf "$apt_state"
  mkdir -p "$apt_state/lists/partial" "$apt_state/cache/archives/partial" "$apt_state/download"
  mirror=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
           tr ' ' '\n' | grep -v -- '-security' | head -n 1 || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
    >"$apt_state/sources.list"
  apt_private=(-o Dir::Etc::SourceList="$apt_state/sources.list" -o Dir::Etc::SourceParts=/nonexistent
               -o Dir::State::Lists="$apt_state/lists" -o Dir::Cache="$apt_state/cache" -o Debug::NoLocking=1
               -o APT::Sandbox::User=root)
  fail() {
    echo "build-windows: cannot fetch the QR encoder's source from $mirror ($1)." >&2
    echo "build-windows: the overlay needs qr-code-generator_$qr_version.orig.tar.gz from a deb-src list." >&2
    exit 1
  }
  apt-get "${apt_private[@]}" -qq update || fail "apt-get update on a deb-src list failed"
  uris=$(apt-get "${apt_private[@]}" source --print-uris libqrcodegencpp-dev 2>/dev/null) ||
    fail "no source package for libqrcodegencpp-dev $qr_version"
  orig_line=$(grep -F "_$qr_version.orig.tar." <<<"$uris" | head -n 1)
  [ -n "$orig_line" ] || fail "the source package lists no original tarball"
  orig_name=$(awk '{print $2}' <<<"$orig_line")
  orig_sha=$(awk '{print $4}' <<<"$orig_line" | sed -n 's/^SHA256://p')
  (cd "$apt_state/download" &&
     apt-get "${apt_private[@]}" -qq source --download-only libqrcodegencpp-dev >/dev/null 2>&1) || true
  orig=$apt_state/download/$orig_name
  [ -f "$orig" ] || fail "$orig_name was not downloaded"
  if [ -n "$orig_sha" ] && ! echo "$orig_sha  $orig" | sha256sum -c --quiet - >/dev/null 2>&1; then
    fail "$orig_name does not have the SHA-256 that apt announced"
  fi
  rm -rf "$qr_root/QR-Code-generator-$qr_version"
  tar -xf "$orig" -C "$qr_root" "QR-Code-generator-$qr_version/cpp" "QR-Code-generator-$qr_version/Readme.markdown" ||
    fail "$orig_name does not unpack"
  [ -f "$qr_source/qrcodegen.cpp" ] || fail "$orig_name holds no cpp/qrcodegen.cpp"
  rm -rf "$apt_state"
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --no-warn-unused-cli -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DQK_BUILD_BENCH=OFF -DQK_QRCODEGEN_SOURCE="$qr_source" "${launcher[@]}" >/dev/null
cmake --build build/win64 -j "${QK_JOBS:-$(nproc)}"
