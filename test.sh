#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the whole test suite.
#   ./test.sh              normal build, then the same suite under AddressSanitizer
#                          and UndefinedBehaviorSanitizer
#   ./test.sh --quick      the normal build only
#   ./test.sh --tsan       the tests that start threads, under ThreadSanitizer
#                          (build-tsan; see docs/hardening.md)
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-}

scripts/bootstrap.sh

# Most tests wait on the virtual instrument's fixed pauses rather than compute, so
# twice as many run at once as there are cores.
jobs=$(( $(nproc) * 2 ))

if [ "$mode" = "--tsan" ]; then
  scripts/build.sh build-tsan -DTOLA_TSAN=ON -DTOLA_BUILD_BENCH=OFF
  # The tests labelled "threads": the library's frame and links, the virtual
  # instrument, the update engine, the program's threads, the bridge and the
  # BlueZ client.
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
    ctest --test-dir build-tsan -L threads -j "$jobs" --output-on-failure --timeout 600
  exit $?
fi

status=0
scripts/build.sh build

# A virtual instrument where a user's session keeps one (default USB and
# Bluetooth folders of the session's runtime folder): no test may see it.
session=$(mktemp -d /tmp/tola-session.XXXXXX)
session_sim=$(scripts/session_sim.sh build/bin "$session")
# The simulator is not a child of this shell: it is ended, not waited for.
trap 'kill "$session_sim" 2>/dev/null || true; rm -rf "$session"' EXIT
XDG_RUNTIME_DIR="$session" ctest --test-dir build -j "$jobs" --output-on-failure --timeout 300 || status=1
kill -0 "$session_sim" 2>/dev/null || { echo "the session's virtual instrument ended during the tests"; status=1; }

if [ "$mode" != "--quick" ]; then
  scripts/build.sh build-asan -DTOLA_SANITIZE=ON -DTOLA_BUILD_BENCH=OFF
  # The first pass's test times let ctest start the longest tests first.
  mkdir -p build-asan/Testing/Temporary
  [ -f build-asan/Testing/Temporary/CTestCostData.txt ] || \
    cp build/Testing/Temporary/CTestCostData.txt build-asan/Testing/Temporary/ 2>/dev/null || true
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 300 || status=1
fi
exit $status
