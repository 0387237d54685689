#!/usr/bin/env bash
# Reads each deliverable DLL's export and import tables with the cross objdump:
# the only export is DllGetClassObject, and every imported DLL is one that each
# Windows 10 and 11 installation has (no compiler runtime beside the plug-in,
# no media-feature DLL that the N editions lack).
# Usage: check_dll_tables.sh <plugins folder> <dll>...
set -uo pipefail
dir=$1
shift
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll
 msvcrt.dll ucrtbase.dll ws2_32.dll winhttp.dll bcrypt.dll crypt32.dll d3d11.dll dxgi.dll d2d1.dll dwrite.dll
 d3dcompiler_47.dll windowscodecs.dll comdlg32.dll version.dll "
# One blank between names, and at both ends, whatever the lines above wrap at.
allowed=" $(echo $allowed) "
status=0
for dll in "$@"; do
  path=$dir/$dll
  if [ ! -f "$path" ]; then
    echo "$dll: missing"
    status=1
    continue
  fi
  table=$("$objdump" -p "$path") || { echo "$dll: objdump failed"; status=1; continue; }
  # The name table of the export directory: "[   0] DllGetClassObject".
  exports=$(printf '%s\n' "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort -u)
  if [ "$exports" != "DllGetClassObject" ]; then
    echo "$dll: exports [$(echo $exports)], expected only DllGetClassObject"
    status=1
  fi
  imports=$(printf '%s\n' "$table" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$imports" ] || { echo "$dll: no import table"; status=1; }
  for imp in $imports; do
    case "$allowed" in
      *" $imp "*) ;;
      *) echo "$dll: imports $imp, which not every Windows machine has"; status=1 ;;
    esac
  done
  echo "$dll: exports $(echo $exports); imports $(echo $imports)"
done
exit $status
