#!/usr/bin/env bash
# The API reference renders without a single Doxygen warning and documents every
# function the library exports (comm/api/exports.map), each with a description of
# its own; the getting-started page shows the example programs.  A function left
# undocumented must stop the rendering.  Skipped (exit 77) without doxygen.
#   api_reference.sh SOURCE_DIR
set -euo pipefail
src=$1
if ! command -v doxygen >/dev/null 2>&1; then
  echo "api reference: skipped, doxygen is not installed (apt-get install doxygen, or scripts/bootstrap.sh)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$src/scripts/api_reference.sh" "$work/out" >"$work/stdout" 2>"$work/stderr"; then
  echo "the API reference did not render:"; cat "$work/stderr"; exit 1
fi
if [ -s "$work/stderr" ]; then
  echo "doxygen had something to say:"; cat "$work/stderr"; exit 1
fi
html="$work/out/html"

names=$(sed -n '/global:/,/local:/p' "$src/comm/api/exports.map" | grep -oE '^[[:space:]]+[A-Za-z_][A-Za-z0-9_]*;' | tr -d ' \t;')
count=$(wc -w <<<"$names")
[ "$count" -eq 55 ] || { echo "exports.map lists $count functions, not 55"; exit 1; }
missing=
for name in $names; do
  # The index of documented functions links each one to the page that describes it.
  page=$(grep -o "<li>$name()&#160;:&#160;<a class=\"el\" href=\"[^\"#]*" "$html/globals_func.html" | sed 's/.*href="//' || true)
  if [ -z "$page" ] || ! grep -q "<td class=\"memname\">[^<]* $name </td>" "$html/$page"; then
    missing+=" $name"
  fi
done
[ -z "$missing" ] || { echo "not documented in the reference:$missing"; exit 1; }

# The getting-started page is the main page and carries both examples.
grep -q "bTOLA_comm_poll_measurements_ex" "$html/index.html"
grep -q "tola.connect" "$html/index.html"

# The gate itself: the same header with one function more, undocumented, fails.
mkdir -p "$work/tree/comm/include" "$work/tree/docs"
cp -r "$src/docs/api" "$work/tree/docs/"
sed '/^TOLA_API int32_t bTOLA_comm_test(void);$/a TOLA_API int32_t bTOLA_comm_undocumented(void);' \
  "$src/comm/include/tola_comm.h" >"$work/tree/comm/include/tola_comm.h"
grep -q bTOLA_comm_undocumented "$work/tree/comm/include/tola_comm.h"
if (cd "$work/tree" && TOLA_API_REFERENCE_OUT="$work/gate" doxygen docs/api/Doxyfile >/dev/null 2>"$work/gate.err"); then
  echo "the reference rendered with an undocumented function"; exit 1
fi
grep -q "bTOLA_comm_undocumented.*not documented" "$work/gate.err" || { echo "unexpected failure:"; cat "$work/gate.err"; exit 1; }
echo "api reference: ok ($count exported functions documented)"
