#!/usr/bin/env bash
# The BlueZ client exports the same functions as the stand-in: the twelve client
# functions, as functions.  (Their signatures are held to the library's shared
# typedefs at compile time in both.)
set -euo pipefail
real=$1 stand_in=$2
exports() { nm -D --defined-only "$1" | awk '$2 == "T" {print $2, $3}' | sort; }
diff <(exports "$real") <(exports "$stand_in")
names=$(exports "$real" | awk '$1 == "T" {print $2}')
for f in Init Connect DisConnect DiscoverDevices SetDevice Exit ReadFile WriteFile ClearBuffer GetRadioCount ReInit \
         GetConnectionStatus; do
  grep -qx "TolaBtClient$f" <<<"$names" || { echo "TolaBtClient$f is not exported"; exit 1; }
done
[ "$(wc -l <<<"$names")" = 12 ] || { echo "more than the twelve functions are exported"; exit 1; }
echo "client exports: ok"
