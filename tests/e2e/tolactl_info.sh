#!/usr/bin/env bash
# tolactl against a virtual Chromatik V: identity, structure table, a structure
# read to a file and written back.
set -euo pipefail
bin=$1
# The Bluetooth client is loaded by its plain name; under the sanitizers only the
# environment names the build's library folder to the loader.
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2e.$$"
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324 >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done

info=$("$bin/tolactl" info)
echo "$info"
grep -q "Instrument:  Chromatik® Portivo" <<<"$info"
grep -q "Firmware:    511vLE" <<<"$info"
grep -q "Interface:   CK0A.00.31.00" <<<"$info"
grep -q "Serial:      H51234" <<<"$info"

"$bin/tolactl" table | grep -q $'^dCOMM_VERSION\t 2000'
"$bin/tolactl" read 21 --out "$work/settings.bin"
[ "$(stat -c %s "$work/settings.bin")" = 512 ]
"$bin/tolactl" write 21 "$work/settings.bin" | grep -q "identifier 21 written"
"$bin/tolactl" read 21 --out "$work/again.bin"
cmp "$work/settings.bin" "$work/again.bin"
if "$bin/tolactl" read 29 2>"$work/err"; then echo "identifier 29 must be refused"; exit 1; fi
grep -q "no structure has identifier 29" "$work/err"

# Without an instrument the tool says why and exits 2.
set +e
TOLA_USB_DIR="$work/empty" "$bin/tolactl" info --port usb 2>"$work/err"
status=$?
set -e
[ "$status" = 2 ] && grep -q "^tolactl: no instrument: " "$work/err"
echo "tolactl end-to-end: ok"
