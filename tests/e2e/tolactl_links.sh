#!/usr/bin/env bash
# tolactl over a pseudo-terminal and over the Bluetooth client stand-in, and a
# host command on the virtual Chromatik V's USB face.
set -euo pipefail
bin=$1
# The Bluetooth client is loaded by its plain name; under the sanitizers only the
# environment names the build's library folder to the loader.
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" XDG_CONFIG_HOME="$work/config"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2e-links.$$"
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --device-type 5324 \
  --kind 8 --release CK0A.00.30.00 --firmware 509i --serial H50008 \
  --kind 10 --release CK0A.00.32.00 --firmware 512bLE --serial H50010 >"$work/sim.out" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
pty=$(sed -n 's/.*serial-port \(\/dev\/[^ ]*\).*/\1/p' "$work/sim.out")
[ -n "$pty" ]

# A host command: query 21 answers the device type code in word 3.
"$bin/tolactl" send 0x80000000 21 0 0 --wait 300 | tee "$work/send.out"
grep -q "word  3:       5324" "$work/send.out"

# The serial instrument behind COM3.
export TOLA_COM3="$pty"
"$bin/tolactl" info --port com3 | tee "$work/com3.out"
grep -q "Interface:   CK0A.00.30.00" "$work/com3.out"
grep -q "Connection:  .* - RS232 comm 3" "$work/com3.out"

# The Bluetooth instrument: found, selected, connected.
"$bin/tolactl" bt-scan | tee "$work/scan.out"
address=$(sed -n 's/^\([0-9A-F:]\{17\}\) .*/\1/p' "$work/scan.out" | head -n 1)
[ -n "$address" ]
"$bin/tolactl" bt-select "$address"
"$bin/tolactl" info --port bt | tee "$work/bt.out"
grep -q "Serial:      H50010" "$work/bt.out"
grep -q "Connection:  .* - Unknown Port" "$work/bt.out"

# Every link at once: the USB instrument, the one behind COM3 and the known Bluetooth one.
"$bin/tolactl" list --json > "$work/list.json"
python3 - "$work/list.json" "$address" <<'PY'
import json, sys
listed = json.load(open(sys.argv[1]))["instruments"]
got = sorted((i["link"], i["where"], i["serial"], i["firmware"]) for i in listed)
want = sorted([("usb", "dev0", "H51234", "511vLE"), ("serial", "com3", "H50008", "509i"),
               ("bluetooth", sys.argv[2], "H50010", "512bLE")])
assert got == want, got
PY
echo "tolactl over serial and Bluetooth: ok"
