#!/usr/bin/env bash
# Which Bluetooth client the library loads: by its plain name the one beside
# the library (in the build tree the stand-in, which finds the virtual
# instrument), and the one TOLA_BT_CLIENT names when it is set (the BlueZ
# client, which finds no BlueZ on a bus where there is none).
set -euo pipefail
bin=$1 bluez_client=$2
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" XDG_CONFIG_HOME="$work/config"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2e-btchoice.$$"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus" TOLA_BT_SCAN_MS=0
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
  --kind 10 --release CK0A.00.32.00 --firmware 512bLE --serial H50010 >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done

"$bin/tolactl" bt-scan | tee "$work/stand-in.out"
grep -q "^1 instrument(s)" "$work/stand-in.out"

# A search that cannot run is a failure, not an empty list.
status=0
TOLA_BT_CLIENT="$bluez_client" "$bin/tolactl" bt-scan >"$work/bluez.out" 2>"$work/bluez.err" || status=$?
cat "$work/bluez.out" "$work/bluez.err"
[ "$status" -eq 1 ]
! grep -q "instrument(s)" "$work/bluez.out"
grep -q "TolaBtClient: search failed: no system bus" "$work/bluez.err"
grep -q "^tolactl: the Bluetooth search failed" "$work/bluez.err"
echo "client choice: ok"
