#!/usr/bin/env bash
# Looks for tests that fail by timing: runs the tests that start threads or wait
# on an instrument N times (default 20) at twice the cores' parallelism, in a
# random order, while as many busy processes as there are cores load the CPU, and
# lists every test that failed at least once with the output of its failures.
#   scripts/flaky.sh [N] [ctest options...]
# Without ctest options the tests are the program's, the windows', the update's
# end-to-end tests, the bridge's, the virtual instrument's, the integration tests
# and the scripted end-to-end runs; options replace that choice, for example
#   scripts/flaky.sh 40 -j 6 -R 'program\.'
# Needs a built tree (scripts/build.sh build); BUILD_DIR names another. Logs go to
# BUILD_DIR/flaky/. Exits 1 when a test failed.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
shift || true
build=${BUILD_DIR:-build}
[ -x "$build/bin/integration_tests" ] || { echo "flaky.sh: build $build first (scripts/build.sh $build)" >&2; exit 2; }

jobs=$(( $(nproc) * 2 ))
selection=("$@")
if [ ${#selection[@]} -eq 0 ]; then
  # The integration tests carry no prefix: their suites are named from the binary.
  suites=$(tests/support/private_env.sh "$build/bin/integration_tests" --gtest_list_tests |
           sed -nE 's/^([A-Za-z0-9_/]+)\..*/\1/p' | sort -u | paste -sd'|')
  selection=(-j "$jobs" -R "^((program|windows|update_e2e|bridge|sim|e2e|replay)\.|($suites)\.)")
fi

logs=$build/flaky
rm -rf "$logs"
mkdir -p "$logs"

# The load: one busy process per core, at the tests' own priority (spinning is
# the point here: it takes the CPU from the tests at random moments).
load=()
for _ in $(seq "$(nproc)"); do
  ( while :; do :; done ) &
  load+=($!)
done
trap 'kill "${load[@]}" 2>/dev/null || true' EXIT

start=$(date +%s)
for run in $(seq "$runs"); do
  log=$logs/run-$run.log
  if ctest --test-dir "$build" --schedule-random --output-on-failure --timeout 300 "${selection[@]}" >"$log" 2>&1; then
    result=passed
  else
    result=FAILED
  fi
  tests=$(sed -nE 's/.* tests passed, [0-9]+ tests failed out of ([0-9]+)$/\1/p' "$log")
  echo "run $run/$runs: $result (${tests:-?} tests, $(( $(date +%s) - start )) s so far)"
  # ctest lists the failures at the end: "  123 - name (Failed)".
  sed -nE '/^The following tests FAILED:/,$ s/^[[:space:]]+[0-9]+ - ([^ ]+) .*/\1/p' "$log" >>"$logs/failed.txt"
done

echo
if [ ! -s "$logs/failed.txt" ]; then
  echo "no test failed in $runs runs"
  exit 0
fi
echo "tests that failed (runs failed, out of $runs):"
sort "$logs/failed.txt" | uniq -c | sort -rn
echo
for name in $(sort -u "$logs/failed.txt"); do
  echo "==== $name"
  for log in "$logs"/run-*.log; do
    # The output ctest shows for a failed test runs from its status line to the next test's.
    awk -v name="$name" '
      $0 ~ "Test +#[0-9]+: " name " " && $0 ~ /(Failed|Timeout|Exception|Not Run)/ { show = 1; print FILENAME ":"; print; next }
      show && (/Test +#[0-9]+: / || /^ +Start +[0-9]+: /) { show = 0 }
      show && /^[0-9]+% tests passed/ { show = 0 }
      show { print }' "$log"
  done
done
exit 1
