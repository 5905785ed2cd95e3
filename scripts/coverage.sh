#!/usr/bin/env bash
# Line and branch coverage per folder, from clang's source-based coverage: the unit tests (all
# test_* programs, or the ones named) and a replay of every kept fuzz corpus and crash input.
#   scripts/coverage.sh [test_song test_config ...]
# Needs clang, llvm-profdata and llvm-cov. Builds in build-cov/ and build-cov-fuzz/; the merged
# profile is build-cov/coverage.profdata, and `llvm-cov show` on it gives the lines themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
# Both builds must record the same absolute source names for their counts to merge; a ccache base
# folder would make them relative to each build folder.
unset CCACHE_BASEDIR
jobs=${BF_JOBS:-$(nproc)}
flags="-fprofile-instr-generate -fcoverage-mapping"
profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT

CC=clang CXX=clang++ cmake -S . -B build-cov -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBF_PLATFORM=OFF \
  -DBF_BENCH=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
CC=clang CXX=clang++ cmake -S . -B build-cov-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBF_PLATFORM=OFF \
  -DBF_FUZZ=ON -DBF_FUZZ_REPLAY=ON -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null

tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
  cmake --build build-cov -j "$jobs" >/dev/null
  for exe in build-cov/tests/test_*; do [ -x "$exe" ] && tests+=("${exe##*/}"); done
else
  cmake --build build-cov -j "$jobs" --target "${tests[@]}" >/dev/null
fi
cmake --build build-cov-fuzz -j "$jobs" >/dev/null

objects=()
echo "== unit tests"
for t in "${tests[@]}"; do
  # Tests run from their build folder, as CTest runs them.
  (cd build-cov/tests && LLVM_PROFILE_FILE="$profiles/$t-%p.profraw" "./$t" --gtest_brief=1 >/dev/null 2>&1) ||
    echo "$t: some tests failed (coverage still counted)"
  objects+=(-object "build-cov/tests/$t")
done
echo "== corpus replay"
for exe in build-cov-fuzz/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=${exe##*/fuzz_}
  inputs=()
  [ -d "fuzz/corpus/$name" ] && inputs+=("fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && inputs+=("fuzz/regressions/$name")
  [ ${#inputs[@]} -gt 0 ] || continue
  LLVM_PROFILE_FILE="$profiles/fuzz_$name-%p.profraw" ASAN_OPTIONS=detect_leaks=0 "$exe" "${inputs[@]}" >/dev/null 2>&1 ||
    echo "fuzz_$name: replay failed"
  objects+=(-object "$exe")
done

llvm-profdata merge -sparse "$profiles"/*.profraw -o build-cov/coverage.profdata
# The first object is given plainly, the others with -object.
first=${objects[1]}
llvm-cov export -summary-only -format=text -instr-profile=build-cov/coverage.profdata "$first" \
  "${objects[@]:2}" >build-cov/coverage.json
python3 - build-cov/coverage.json "$(pwd)" <<'PY'
import json, os, sys, collections
data = json.load(open(sys.argv[1]))
root = sys.argv[2].rstrip('/') + '/'
folders = collections.OrderedDict()
for f in sorted(data['data'][0]['files'], key=lambda f: f['filename']):
    path = os.path.normpath(f['filename'])
    if not path.startswith(root):
        continue  # system headers
    name = path[len(root):]
    folder = name.split('/')[0]
    if folder in ('tests', 'fuzz') or folder.startswith('build'):
        continue
    s = f['summary']
    t = folders.setdefault(folder, [0, 0, 0, 0])
    t[0] += s['lines']['covered']; t[1] += s['lines']['count']
    t[2] += s['branches']['covered']; t[3] += s['branches']['count']
pct = lambda a, b: f"{100.0 * a / b:6.1f} %" if b else "     - "
print(f"{'folder':10} {'lines':>17} {'':>8} {'branches':>17} {'':>8}")
total = [0, 0, 0, 0]
for folder, t in folders.items():
    print(f"{folder:10} {t[0]:>8}/{t[1]:<8} {pct(t[0], t[1])} {t[2]:>8}/{t[3]:<8} {pct(t[2], t[3])}")
    total = [a + b for a, b in zip(total, t)]
print(f"{'all':10} {total[0]:>8}/{total[1]:<8} {pct(total[0], total[1])} {total[2]:>8}/{total[3]:<8} {pct(total[2], total[3])}")
PY
