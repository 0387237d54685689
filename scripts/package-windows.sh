#!/usr/bin/env bash
# Makes dist/QuorvaleKaraoke-<version>-win64.zip from the Windows build
# (build/win64, or the folder given): the three DLLs laid out as VirtualDJ's
# Plugins64 folder expects them by kind, the karaoke plug-in's ui/ folder where
# it looks for its page, and INSTALL.txt for the KJ. The version is the karaoke
# plug-in's own (QK_VERSION overrides it); the zip goes to dist/ (QK_DIST_DIR
# overrides it). Prints the zip's path.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win64}

# zip and the cross strip come with the Windows build's packages (scripts/build-windows.sh).
for tool in zip x86_64-w64-mingw32-strip; do
  command -v $tool >/dev/null || { echo "package-windows: $tool is missing (run scripts/build-windows.sh)" >&2; exit 1; }
done

version=${QK_VERSION:-$(sed -n 's/.*info->version = "\([^"]*\)";.*/\1/p' karaoke/karaoke_plugin.cpp | head -n 1)}
[ -n "$version" ] || { echo "package-windows: no version found in karaoke/karaoke_plugin.cpp" >&2; exit 1; }

# Each DLL goes to the Plugins64 folder for its kind of plug-in.
declare -A kind_folder=([QuorvaleKaraoke]=Other [QuorvaleSound]=SoundEffect [QuorvaleOverlay]=VideoEffect)
missing=()
for dll in "${!kind_folder[@]}"; do
  [ -f "$build/plugins/$dll.dll" ] || missing+=("$build/plugins/$dll.dll")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "package-windows: not built: ${missing[*]} (run scripts/build-windows.sh)" >&2
  exit 1
fi

name=QuorvaleKaraoke-$version-win64
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage"
for dll in "${!kind_folder[@]}"; do
  mkdir -p "$stage/Plugins64/${kind_folder[$dll]}"
  cp "$build/plugins/$dll.dll" "$stage/Plugins64/${kind_folder[$dll]}/"
  # The build keeps its debugging information; the KJ's copy goes without it.
  x86_64-w64-mingw32-strip --strip-debug "$stage/Plugins64/${kind_folder[$dll]}/$dll.dll"
done
# The page beside the karaoke DLL, in a folder of its own name so that the
# shared Other folder holds nothing else of ours; the developer notes stay out.
mkdir -p "$stage/Plugins64/Other/QuorvaleKaraoke"
cp -r ui "$stage/Plugins64/Other/QuorvaleKaraoke/ui"
rm -f "$stage/Plugins64/Other/QuorvaleKaraoke/ui/README.md"
# Notepad on older Windows shows a file with bare line feeds as one line.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' scripts/package/INSTALL.txt >"$stage/INSTALL.txt"

dist=${QK_DIST_DIR:-$PWD/dist}
mkdir -p "$dist"
zip_path=$(cd "$dist" && pwd)/$name.zip
rm -f "$zip_path"
# Sorted names and one time stamp: the same build makes the same zip.
find "$stage" -exec touch -h -d '2000-01-01 00:00:00 UTC' {} +
(cd "$build/package" && find "$name" -print | LC_ALL=C sort | zip -X -q -D "$zip_path" -@)
echo "$zip_path"
