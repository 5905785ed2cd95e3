#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the normal build (warnings are errors) and its full CTest suite,
#   2. the unit tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the play-while-editing stress test under ThreadSanitizer,
#   4. every fuzz target: its kept crash inputs replayed, then a short bounded run (clang libFuzzer)
#      with its dictionary (fuzz/<target>.dict) when it has one. The run's seed is fixed
#      (BF_FUZZ_SEED, default 1), so a test run tries the same inputs each time and a pass or a
#      failure can be repeated; scripts/fuzz.sh runs long, freshly seeded campaigns.
# Ends with one line "tests: N passed, N failed". Exit code 0 only when everything passed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh

jobs=${BF_JOBS:-$(nproc)}
fuzz_seconds=${BF_FUZZ_SECONDS:-15}
fuzz_seed=${BF_FUZZ_SEED:-1}
passed=0
failed=0

count_ctest() {  # reads a ctest log, adds its totals
  local log=$1 line total fails
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

echo "== build (warnings as errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBF_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
echo "== tests"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600) 2>&1 | tee build/ctest.log || true
count_ctest build/ctest.log

echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBF_WERROR=ON -DBF_SANITIZE=ON \
  -DBF_BENCH=OFF -DBF_PLATFORM=OFF >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" --timeout 900 -LE gui) 2>&1 | tee build-asan/ctest.log || true
count_ctest build-asan/ctest.log

if [ -d tests/stress ]; then
  echo "== play-while-editing stress test under ThreadSanitizer"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBF_WERROR=ON -DBF_TSAN=ON \
    -DBF_BENCH=OFF -DBF_PLATFORM=OFF >/dev/null
  cmake --build build-tsan -j "$jobs" --target test_stress
  if TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build-tsan/tests/test_stress; then
    passed=$((passed + 1))
  else
    echo "stress test under ThreadSanitizer: FAILED"; failed=$((failed + 1))
  fi
fi

echo "== fuzz targets (${fuzz_seconds} s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBF_FUZZ=ON -DBF_PLATFORM=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
for exe in build-fuzz/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=${exe##*/fuzz_}
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
  ok=1
  if [ -d "fuzz/regressions/$name" ] && [ -n "$(ls -A "fuzz/regressions/$name")" ]; then
    "$exe" -runs=1 fuzz/regressions/"$name"/* >"$work.log" 2>&1 || ok=0
  fi
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  if [ $ok = 1 ]; then
    "$exe" -max_total_time="$fuzz_seconds" -seed="$fuzz_seed" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      "${dict[@]}" -artifact_prefix="$work/" "$work" >"$work.log" 2>&1 || ok=0
  fi
  if [ $ok = 1 ]; then
    echo "fuzz $name: ok"; passed=$((passed + 1))
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$work.log"; failed=$((failed + 1))
  fi
  rm -rf "$work" "$work.log"
done

echo "tests: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
