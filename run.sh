#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the main job.
#
#   ./run.sh              two virtual "Chromatik V" instruments (one on USB, one on
#                         Bluetooth) and the update program Tola_CK_Update; without
#                         a display it says so and runs the headless update instead
#   ./run.sh --headless   the headless update on purpose: a virtual "Chromatik V" on
#                         USB is updated by tolactl from "511vLE" to the default
#                         catalog entry
set -euo pipefail
cd "$(dirname "$0")"

headless=0
case "${1:-}" in
  --headless) headless=1 ;;
  "") ;;
  *) echo "usage: ./run.sh [--headless]" >&2; exit 2 ;;
esac
if [ "$headless" -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are empty), so the update program"
  echo "run.sh: cannot open its window; running the headless update with tolactl instead."
  headless=1
fi

scripts/bootstrap.sh
scripts/build.sh build

build/bin/tolactl version

work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt"
# The library finds the Bluetooth client stand-in of the virtual instruments by
# its plain name.
export LD_LIBRARY_PATH="$PWD/build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
instruments=(--kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324)
if [ "$headless" -eq 0 ]; then
  instruments+=(--kind 10 --release CK0A.00.31.00 --firmware 511vLE --serial H51235 --device-type 5324
                --bt-name "TOLA Chromatik V H51235")
fi
build/bin/chromatik-sim --usb-dir "$TOLA_USB_DIR" --bt-dir "$TOLA_BT_DIR" --state-file "$work/sim-state.json" \
  "${instruments[@]}" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/sim-state.json" ] && break; sleep 0.05; done

if [ "$headless" -eq 0 ]; then
  # The program searches for Bluetooth instruments by itself, connects the one
  # it finds and opens the update dialog: "Run" updates it.  Cancelling the
  # search connects the USB instrument instead.
  build/bin/Tola_CK_Update
  exit
fi

build/bin/tolactl info --port usb

# The job the system exists for: a complete firmware update, then the instrument
# as it runs afterwards and the update history.
export XDG_DATA_HOME="$work/data"
build/bin/tolactl update --port usb
for _ in $(seq 100); do build/bin/tolactl info --port usb >/dev/null 2>&1 && break; sleep 0.1; done
build/bin/tolactl info --port usb
build/bin/tolactl history
