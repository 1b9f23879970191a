#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the whole test suite.
#   ./test.sh              normal build, then the same suite under AddressSanitizer
#                          and UndefinedBehaviorSanitizer
#   ./test.sh --quick      the normal build only
set -euo pipefail
cd "$(dirname "$0")"
quick=0
[ "${1:-}" = "--quick" ] && quick=1

scripts/bootstrap.sh

# Most tests wait on the virtual instrument's fixed pauses rather than compute, so
# twice as many run at once as there are cores.
jobs=$(( $(nproc) * 2 ))

status=0
scripts/build.sh build
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 300 || status=1

if [ "$quick" -eq 0 ]; then
  scripts/build.sh build-asan -DTOLA_SANITIZE=ON -DTOLA_BUILD_BENCH=OFF
  # The first pass's test times let ctest start the longest tests first.
  mkdir -p build-asan/Testing/Temporary
  [ -f build-asan/Testing/Temporary/CTestCostData.txt ] || \
    cp build/Testing/Temporary/CTestCostData.txt build-asan/Testing/Temporary/ 2>/dev/null || true
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 300 || status=1
fi
exit $status
