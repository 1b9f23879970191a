#!/usr/bin/env bash
# Renders the API reference of libTOLA_comm as HTML: the public header
# comm/include/tola_comm.h with the getting-started page docs/api/getting-started.md
# (docs/api/Doxyfile).  Every Doxygen warning is an error, an undocumented
# function, record, field or macro of the header among them; on failure nothing
# is left in OUT/html.
#   scripts/api_reference.sh [OUT]        default OUT: build/api-reference
# Then open OUT/html/index.html.  Needs doxygen (scripts/bootstrap.sh installs it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build/api-reference}
if ! command -v doxygen >/dev/null 2>&1; then
  echo "api_reference: doxygen is not installed (apt-get install doxygen, or scripts/bootstrap.sh)" >&2
  exit 2
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
# Rendered beside the old reference and moved into place only when Doxygen is content.
staging=$(mktemp -d "$out/.render.XXXXXX")
trap 'rm -rf "$staging"' EXIT
cd "$top"
if ! TOLA_API_REFERENCE_OUT="$staging" doxygen docs/api/Doxyfile; then
  echo "api_reference: doxygen reported the problems above; no reference written" >&2
  exit 1
fi
rm -rf "$out/html"
mv "$staging/html" "$out/html"
echo "$out/html/index.html"
