#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the main job: a virtual
# "Chromatik V" is started, tolactl connects to it over the USB driver channel and
# updates its firmware from "511vLE" to the default catalog entry.
set -euo pipefail
cd "$(dirname "$0")"
scripts/bootstrap.sh
scripts/build.sh build

build/bin/tolactl version

work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb"
build/bin/chromatik-sim --usb-dir "$TOLA_USB_DIR" --state-file "$work/sim-state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/sim-state.json" ] && break; sleep 0.05; done

build/bin/tolactl info --port usb

# The job the system exists for: a complete firmware update, then the instrument
# as it runs afterwards and the update history.
export XDG_DATA_HOME="$work/data"
build/bin/tolactl update --port usb
for _ in $(seq 100); do build/bin/tolactl info --port usb >/dev/null 2>&1 && break; sleep 0.1; done
build/bin/tolactl info --port usb
build/bin/tolactl history
