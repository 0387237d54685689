#!/usr/bin/env bash
# Runs the page's browser tests; exits 77 (skipped) when node or Chromium is
# missing, and fails with a hint when the test packages are not installed.
# scripts/test.sh sets QK_REQUIRE_PAGE_TESTS=1: it has installed node and
# Chromium, so their absence there is a broken set-up, never a skip.
set -euo pipefail
cd "$(dirname "$0")"
missing() {
  if [ "${QK_REQUIRE_PAGE_TESTS:-0}" = 1 ]; then echo "page tests FAILED: $1 (the set-up should have installed it)" >&2; exit 1; fi
  echo "page tests skipped: $1"; exit 77
}
command -v node >/dev/null || missing "node is not installed"
chromium=${QK_CHROMIUM:-}
for c in /usr/bin/chromium /usr/bin/chromium-browser; do
  [ -z "$chromium" ] && [ -x "$c" ] && chromium=$c
done
[ -n "$chromium" ] || missing "chromium is not installed"
if [ ! -d node_modules/playwright-core ]; then
  echo "page tests: run 'npm ci --no-audit --no-fund' in tests/page first (scripts/test.sh does)" >&2
  exit 1
fi
export QK_CHROMIUM=$chromium
exec node --test --test-concurrency=1 ./*.test.js
