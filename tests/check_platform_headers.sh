#!/usr/bin/env bash
# Fails when a file in a subsystem folder includes an operating-system or
# platform-library header: such calls belong behind a seam in platform/.
set -u
root=${1:-.}
pat='#[[:space:]]*include[[:space:]]*<(windows\.h|unistd\.h|sys/|fcntl\.h|dirent\.h|dlfcn\.h|pthread\.h|gtk/|gdk/|glib|gio/|webkit|jsc/|GL/|GLES|EGL/|epoxy/|pango|cairo|curl/|openssl/|libav|libsw|gdk-pixbuf|pulse/|alsa/|X11/|d3d|d2d|dwrite|wincodec|mf|winhttp|bcrypt|shlobj|shlwapi|WebView2|time\.h|signal\.h|poll\.h|semaphore\.h)'
hits=$(grep -rn -E "$pat" "$root"/kit "$root"/karaoke "$root"/bridge "$root"/overlay "$root"/sound 2>/dev/null)
if [ -n "$hits" ]; then
  echo "platform headers included outside platform/:"
  echo "$hits"
  exit 1
fi
echo "subsystem folders include no platform headers"
