#!/usr/bin/env bash
# A fuzzing campaign: every fuzz target for MINUTES minutes (default 10), as many at once as
# there are cores (BF_JOBS to change that), each starting from its kept corpus and dictionary.
# Afterwards each target's corpus is merged back into fuzz/corpus/<target>/ minimised
# (-merge=1, inputs cut to a few KB), every crash, leak, timeout or out-of-memory input is kept in
# fuzz/regressions/<target>/ (the test command replays them), and a table gives per target the
# inputs run, inputs a second, coverage (libFuzzer's edges and features) and findings.
#   scripts/fuzz.sh [MINUTES] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
shift || true
jobs=${BF_JOBS:-$(nproc)}
seconds=$((minutes * 60))

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBF_FUZZ=ON -DBF_PLATFORM=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in build-fuzz/fuzz/fuzz_*; do [ -x "$exe" ] && targets+=("${exe##*/fuzz_}"); done
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

keep_len() {  # longest input kept in a corpus: keeps the committed corpora small
  case $1 in
    song_load) echo 2048 ;;
    platform_picture | song_sampleimport) echo 4096 ;;
    *) echo 1024 ;;
  esac
}

run_target() {  # name: fuzzes into $out/<name>/ and leaves the log beside it
  local name=$1 dir=$out/$1 dict=()
  mkdir -p "$dir/corpus" "$dir/artifacts"
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  # The fuzzer's own CPU time goes beside the log: on a busy machine it is less than the wall time.
  local TIMEFORMAT='%U %S'
  { time "build-fuzz/fuzz/fuzz_$name" "$dir/corpus" "fuzz/corpus/$name" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/" >"$dir/log" 2>&1 || true; } 2>"$dir/cpu"
}

echo "== fuzzing ${#targets[@]} targets for $minutes min each, $jobs at a time"
for name in "${targets[@]}"; do
  mkdir -p "fuzz/corpus/$name"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_target "$name" &
done
wait

printf '%-22s %8s %12s %10s %8s %8s %9s\n' target cpu-min runs inputs/s edges features findings
total_findings=0
for name in "${targets[@]}"; do
  dir=$out/$name
  # Merge what was found into the kept corpus, keeping only inputs that add coverage.
  merged=$(mktemp -d)
  "build-fuzz/fuzz/fuzz_$name" -merge=1 -max_len="$(keep_len "$name")" -timeout=10 -rss_limit_mb=2048 "$merged" \
    "fuzz/corpus/$name" "$dir/corpus" >"$dir/merge.log" 2>&1 && {
    rm -rf "fuzz/corpus/$name"
    mv "$merged" "fuzz/corpus/$name"
    chmod 755 "fuzz/corpus/$name"
  } || { echo "$name: merge failed, corpus left as it was (see below)"; tail -n 5 "$dir/merge.log"; rm -rf "$merged"; }
  findings=0
  for f in "$dir"/artifacts/*; do
    [ -f "$f" ] || continue
    mkdir -p "fuzz/regressions/$name"
    cp "$f" "fuzz/regressions/$name/"
    findings=$((findings + 1))
  done
  total_findings=$((total_findings + findings))
  runs=$(grep -o 'number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo 0)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$dir/log" | tail -n 1 || true)
  edges=$(awk '{print $2}' <<<"$cov")
  features=$(awk '{print $4}' <<<"$cov")
  cpu=$(awk '{printf "%.1f", ($1 + $2) / 60}' "$dir/cpu" 2>/dev/null || echo '?')
  printf '%-22s %8s %12s %10s %8s %8s %9s\n' "$name" "$cpu" "${runs:-0}" "$(( ${runs:-0} / seconds ))" \
    "${edges:-?}" "${features:-?}" "$findings"
  if [ "$findings" -gt 0 ]; then grep -m 3 -E '^==[0-9]+==ERROR|^SUMMARY|deadly signal' "$dir/log" || true; fi
done
echo "findings: $total_findings (kept in fuzz/regressions/)"
