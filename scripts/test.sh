#!/usr/bin/env bash
# Sets up and runs every test: installs the packages, builds with AddressSanitizer
# and UndefinedBehaviorSanitizer and runs all of CTest, then builds with
# ThreadSanitizer and runs the concurrency tests again; between the two, builds the
# fuzz targets with clang and runs each for a few seconds. Starts its own X server
# (Xvfb) when there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

# The page tests' packages (playwright-core), installed again only when the lock changed.
page_lock_stamp=tests/page/node_modules/.package-lock.stamp
if [ ! -f "$page_lock_stamp" ] || ! cmp -s tests/page/package-lock.json "$page_lock_stamp"; then
  (cd tests/page && npm ci --no-audit --no-fund) && cp tests/page/package-lock.json "$page_lock_stamp"
fi

# Everything the page tests need is installed above: a missing node or browser fails them.
export QK_REQUIRE_PAGE_TESTS=1

jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1920x1080x24" "$@"; fi
}

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/asan -G Ninja -DQK_SANITIZE=ON -DQK_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
echo "== tests"
status=0
(cd build/asan && with_display ctest --output-on-failure -j "$jobs") || status=1

echo "== fuzz smoke run (clang, a few seconds per target)"
fuzz_seconds=${QK_FUZZ_SMOKE_SECONDS:-5}
bash scripts/fuzz.sh "$fuzz_seconds" || status=1

echo "== build (ThreadSanitizer)"
cmake -S . -B build/tsan -G Ninja -DQK_TSAN=ON -DQK_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$jobs"
echo "== concurrency tests under ThreadSanitizer"
(cd build/tsan && with_display ctest --output-on-failure -j "$jobs" -L concurrency --no-tests=ignore) || status=1
bash scripts/test-windows.sh || status=1  # the Windows stage: MinGW-w64 build, tests under Wine
exit $status
