#!/usr/bin/env bash
# The Windows stage: cross-builds build/win64 (scripts/build-windows.sh), then
# runs its CTest tests through Wine in a Wine prefix made for this run, with one
# wineserver kept alive for the whole run and a display (Xvfb when there is none).
# Arguments go to CTest (`-R package` runs the tests whose names match). Exits
# non-zero when the build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# The part that needs the display: this script again, under Xvfb when needed.
if [ "${1:-}" = "--with-display" ]; then
  # The server that stays for the run (-p: persistent until killed), the new
  # prefix, then one program with its output thrown away: Wine's long-lived
  # helpers start with it instead of inheriting CTest's pipes, which would keep
  # the test discovery waiting until its time-out.
  "$wineserver" -p
  "$wine" wineboot -i >/dev/null 2>&1
  # Every window in Wine's virtual desktop: without a window manager each
  # DestroyWindow otherwise waits about 2 s for the X server.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1920x1080 /f >/dev/null 2>&1
  # The desktop that wineboot started is not a virtual one: a new server starts afresh.
  "$wineserver" -k
  "$wineserver" -w
  "$wineserver" -p
  "$wine" cmd /c exit >/dev/null 2>&1 </dev/null || true
  cd build/win64
  exec ctest --output-on-failure -j "${QK_JOBS:-$(nproc)}" "${@:2}"
fi

start=$(date +%s)
bash scripts/build-windows.sh
built=$(date +%s)
echo "== Windows build took $((built - start)) s"

# Wine keeps Windows file names in the Unix locale's character set: under the C
# locale a name outside ASCII cannot be made at all, which no Windows machine does.
export LC_ALL=C.UTF-8

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qk-wine-XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT

status=0
if [ -n "${DISPLAY:-}" ]; then
  bash "$0" --with-display "$@" || status=1
else
  xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" --with-display "$@" || status=1
fi
echo "== Windows tests took $(($(date +%s) - built)) s"
exit $status
