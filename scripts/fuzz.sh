#!/usr/bin/env bash
# Builds the fuzz tree (clang, build-fuzz) and runs every libFuzzer target for
# SECONDS each (default 60), one after the other, from its seed corpus in
# fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/<target>/, never
# into the repository. Prints per target the executions, the coverage points
# (cov:), the features (ft:) and the corpus size; fails when a target crashes,
# leaks, times out or runs out of memory (its reproducer is in build-fuzz/crashes/).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLA_BUILD_FUZZ=ON -DTOLA_SANITIZE=ON -DTOLA_BUILD_BENCH=OFF -DTOLA_WERROR=ON \
  ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} \
  ${CMAKE_C_COMPILER_LAUNCHER:+-DCMAKE_C_COMPILER_LAUNCHER=$CMAKE_C_COMPILER_LAUNCHER} >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

mkdir -p build-fuzz/crashes build-fuzz/logs
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
printf '%-24s %10s %6s %7s %7s %s\n' target execs cov ft corpus result
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  mkdir -p "$work"
  log=build-fuzz/logs/$t.log
  result=clean
  # A private scratch folder per run: the targets write the files they read there.
  scratch=$(mktemp -d)
  TMPDIR=$scratch build-fuzz/bin/"$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/crashes/"$t"- "$work" "fuzz/corpus/$t" >"$log" 2>&1 \
    || { result="FAILED (see $log)"; status=1; }
  rm -rf "$scratch"
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  corp=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<<"$last")
  execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
  printf '%-24s %10s %6s %7s %7s %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$result"
done
exit $status
