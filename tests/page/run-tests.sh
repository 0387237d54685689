#!/usr/bin/env bash
# Runs the page's browser tests; exits 77 (skipped) when node or Chromium is
# missing, and fails with a hint when the test packages are not installed.
set -euo pipefail
cd "$(dirname "$0")"
command -v node >/dev/null || { echo "page tests skipped: node is not installed"; exit 77; }
chromium=${QK_CHROMIUM:-}
for c in /usr/bin/chromium /usr/bin/chromium-browser; do
  [ -z "$chromium" ] && [ -x "$c" ] && chromium=$c
done
[ -n "$chromium" ] || { echo "page tests skipped: chromium is not installed"; exit 77; }
if [ ! -d node_modules/playwright-core ]; then
  echo "page tests: run 'npm ci --no-audit --no-fund' in tests/page first (scripts/test.sh does)" >&2
  exit 1
fi
export QK_CHROMIUM=$chromium
exec node --test --test-concurrency=1 ./*.test.js
