#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for SECONDS (default 60).
# Every target starts from its seed corpus (tests/fuzz/seeds/<target>, the tests'
# own cases, and tests/fuzz/regressions/<target>, inputs that once failed) and
# grows its own corpus in tests/fuzz/corpus/<target>; inputs that crash or hang
# are kept in tests/fuzz/crashes/<target>. Both of those folders are ignored by
# git. A crash input, once understood, becomes a regular test of the code it
# broke, and the input moves to the regressions. Exits non-zero when any target
# found a crash.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
fuzz=$(pwd)/tests/fuzz  # absolute: some targets change their current folder

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ ! -f build/fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DQK_FUZZ=ON -DQK_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
fi
cmake --build build/fuzz -j "$(nproc)" --target fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for d in "$fuzz"/seeds/*/; do targets+=("$(basename "$d")"); done
fi

# Leaks are looked for in the tests; here they would stop a run on the first
# library cache that lives for the whole process.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
summary=()
for t in "${targets[@]}"; do
  corpus=$fuzz/corpus/$t
  crashes=$fuzz/crashes/$t
  mkdir -p "$corpus" "$crashes"
  # Inputs that once crashed the target, kept in git, are replayed first.
  regressions=""
  [ -d "$fuzz/regressions/$t" ] && regressions="$fuzz/regressions/$t"
  log=$(mktemp)
  echo "== $t for ${seconds}s"
  set +e
  "build/fuzz/bin/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" "$fuzz/seeds/$t" $regressions >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  files=$(find "$corpus" -type f | wc -l)
  found=$(find "$crashes" -type f | wc -l)
  line="$t: ${runs:-?} runs, coverage ${cov:-?}, corpus $files files, $found crash input(s) kept"
  if [ $rc -ne 0 ]; then
    status=1
    line="$line -- FAILED (exit $rc)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written|[^ ].*: )' "$log" | head -20 || true
    echo "   full log: $log"
  else
    rm -f "$log"
  fi
  echo "$line"
  summary+=("$line")
done
echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
exit $status
