#!/usr/bin/env bash
# Line and branch coverage per folder, from clang's source-based coverage: the unit tests (all
# test_* programs, or the ones named) and a replay of every kept fuzz corpus and crash input.
#   scripts/coverage.sh [test_song test_config ...]
# Needs clang, llvm-profdata and llvm-cov. Builds in build-cov/ and build-cov-fuzz/; the profiles
# are build-cov/coverage-tests.profdata and coverage-fuzz.profdata (`llvm-cov show` on one, with
# its build's programs, gives the lines themselves), their lcov exports lie beside them.
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

# The two builds compile the same sources with different instrumentation, so their profiles are
# kept apart: one profile merged from both would have two records for many functions, and
# llvm-cov then drops the counts of those ("functions have mismatched data"). Each build is
# exported on its own and the counts are added up per line and per branch afterwards.
tests_objects=()
echo "== unit tests"
mkdir -p "$profiles/tests" "$profiles/fuzz"
for t in "${tests[@]}"; do
  # Tests run from their build folder, as CTest runs them.
  (cd build-cov/tests && LLVM_PROFILE_FILE="$profiles/tests/$t-%p.profraw" "./$t" --gtest_brief=1 >/dev/null 2>&1) ||
    echo "$t: some tests failed (coverage still counted)"
  tests_objects+=(-object "build-cov/tests/$t")
done
echo "== corpus replay"
fuzz_objects=()
for exe in build-cov-fuzz/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=${exe##*/fuzz_}
  inputs=()
  [ -d "fuzz/corpus/$name" ] && inputs+=("fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && inputs+=("fuzz/regressions/$name")
  [ ${#inputs[@]} -gt 0 ] || continue
  LLVM_PROFILE_FILE="$profiles/fuzz/fuzz_$name-%p.profraw" ASAN_OPTIONS=detect_leaks=0 "$exe" "${inputs[@]}" >/dev/null 2>&1 ||
    echo "fuzz_$name: replay failed"
  fuzz_objects+=(-object "$exe")
done

# export SET OBJECTS...: the set's profile and its lcov export (the first object given plainly).
export_set() {
  local set=$1
  shift
  llvm-profdata merge -sparse "$profiles/$set"/*.profraw -o "build-cov/coverage-$set.profdata"
  llvm-cov export -format=lcov -instr-profile="build-cov/coverage-$set.profdata" "$2" "${@:3}" \
    >"build-cov/coverage-$set.lcov"
}
export_set tests "${tests_objects[@]}"
reports=(build-cov/coverage-tests.lcov)
if [ ${#fuzz_objects[@]} -gt 0 ]; then
  export_set fuzz "${fuzz_objects[@]}"
  reports+=(build-cov/coverage-fuzz.lcov)
fi
python3 - "$(pwd)" "${reports[@]}" <<'PY'
import os, sys, collections
root = sys.argv[1].rstrip('/') + '/'
lines = collections.defaultdict(dict)     # file -> line -> count
branches = collections.defaultdict(dict)  # file -> (line, block, branch) -> count
for report in sys.argv[2:]:
    name = None
    for row in open(report):
        row = row.rstrip('\n')
        if row.startswith('SF:'):
            path = os.path.normpath(row[3:])
            name = path[len(root):] if path.startswith(root) else None
        elif name is None:
            continue
        elif row.startswith('DA:'):
            line, count = row[3:].split(',')[:2]
            lines[name][int(line)] = lines[name].get(int(line), 0) + int(count)
        elif row.startswith('BRDA:'):
            line, block, branch, count = row[5:].split(',')
            key = (int(line), block, branch)
            branches[name][key] = branches[name].get(key, 0) + (0 if count == '-' else int(count))
folders = collections.OrderedDict()
for name in sorted(set(lines) | set(branches)):
    folder = name.split('/')[0]
    if folder in ('tests', 'fuzz') or folder.startswith('build'):
        continue
    t = folders.setdefault(folder, [0, 0, 0, 0])
    t[0] += sum(1 for c in lines[name].values() if c > 0); t[1] += len(lines[name])
    t[2] += sum(1 for c in branches[name].values() if c > 0); t[3] += len(branches[name])
pct = lambda a, b: f"{100.0 * a / b:6.1f} %" if b else "     - "
print(f"{'folder':10} {'lines':>17} {'':>8} {'branches':>17} {'':>8}")
total = [0, 0, 0, 0]
for folder, t in folders.items():
    print(f"{folder:10} {t[0]:>8}/{t[1]:<8} {pct(t[0], t[1])} {t[2]:>8}/{t[3]:<8} {pct(t[2], t[3])}")
    total = [a + b for a, b in zip(total, t)]
print(f"{'all':10} {total[0]:>8}/{total[1]:<8} {pct(total[0], total[1])} {total[2]:>8}/{total[3]:<8} {pct(total[2], total[3])}")
PY
