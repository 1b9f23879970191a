#!/usr/bin/env bash
# Builds the Debian packages into build-package/ (its own Release tree, prefix
# /usr): libtola-comm1, libtola-comm-dev, tola-tools, tola-ck-update,
# chromatik-sim, python3-tola.  Then runs lintian on them when it is installed.
#   scripts/package.sh [cmake options...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir="$top/build-package"
# Debian's compiler and linker flags (optimisation, hardening); only what goes
# into the packages is built: no tests, no benchmarks.
flags() { dpkg-buildflags --get "$1"; }
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  "-DCMAKE_C_FLAGS=$(flags CFLAGS) $(flags CPPFLAGS)" "-DCMAKE_CXX_FLAGS=$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  "-DCMAKE_C_FLAGS_RELEASE=-DNDEBUG" "-DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)" "-DCMAKE_SHARED_LINKER_FLAGS=$(flags LDFLAGS)" \
  -DTOLA_PACKAGE_DOCS=ON -DTOLA_BUILD_TESTS=OFF -DTOLA_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb
if command -v lintian >/dev/null 2>&1; then
  # Findings that remain are explained in docs/packaging.md.
  lintian --info --suppress-tags-from-file "$top/packaging/lintian-suppressed" "$dir"/*.deb || true
fi
