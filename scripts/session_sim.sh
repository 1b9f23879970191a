#!/usr/bin/env bash
# Starts a virtual instrument where a user's session would have one: at the
# default USB and Bluetooth folders of a runtime folder made for it, with a USB,
# a serial and a Bluetooth instrument. The tests must not see it.
#   scripts/session_sim.sh BIN_DIR RUNTIME_DIR    prints the simulator's process id
set -euo pipefail
bin=$1
runtime=$2
mkdir -p "$runtime"
chmod 700 "$runtime"
env -u TOLA_USB_DIR -u TOLA_BT_DIR -u TOLA_MUTEX_NAME XDG_RUNTIME_DIR="$runtime" \
  "$bin/chromatik-sim" --kind 4 --kind 8 --kind 10 >"$runtime/sim.log" 2>&1 &
pid=$!
# Ready once its USB socket is there.
for _ in $(seq 1 200); do
  if [ -n "$(ls -A "$runtime/tola/usb" 2>/dev/null)" ]; then echo "$pid"; exit 0; fi
  kill -0 "$pid" 2>/dev/null || { cat "$runtime/sim.log" >&2; exit 1; }
  sleep 0.05
done
echo "the session's virtual instrument did not start" >&2
kill "$pid"
exit 1
