#!/usr/bin/env bash
# tolactl through the USB bridge prints the same identity as directly against
# the virtual instrument, for every USB kind; tola-usbd --list on a machine
# without instruments says so and succeeds.
set -euo pipefail
bin=$1
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2e-bridge.$$"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

list=$("$bin/tola-usbd" --list --usb-dir "$work/none")
echo "$list"
grep -q "^No instrument found" <<<"$list"

check() {  # kind cpu release
  local name="k$1c$2"
  local bus="$work/$name-bus" channel="$work/$name-usb"
  "$bin/chromatik-sim" --usb-dir "$bus" --state-file "$work/$name.json" \
    --kind "$1" --cpu "$2" --release "$3" --firmware 511vLE --serial "H5$1$2" --device-type 5324 >/dev/null &
  pids+=($!)
  for _ in $(seq 600); do [ -s "$work/$name.json" ] && break; sleep 0.05; done
  "$bin/tola-usbd-virtual" --bus "$bus" --usb-dir "$channel" --foreground 2>"$work/$name.log" &
  pids+=($!)
  # The bridge serves the device once its socket is there.
  for _ in $(seq 600); do
    [ -n "$(ls "$channel/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}" 2>/dev/null)" ] && break; sleep 0.05
  done
  direct=$(TOLA_USB_DIR="$bus" "$bin/tolactl" info)
  bridged=$(TOLA_USB_DIR="$channel" "$bin/tolactl" info)
  echo "kind $1 cpu $2 through the bridge:"
  echo "$bridged"
  if [ "$direct" != "$bridged" ]; then
    echo "direct:"; echo "$direct"; cat "$work/$name.log"; exit 1
  fi
  "$bin/tola-usbd-virtual" --bus "$bus" --list --usb-dir "$channel" | grep -q "sim-"
}

check 1 2 CK0A.00.20.00
check 3 2 CK0A.00.31.00
check 4 1 CK0A.00.31.00
check 4 2 CK0A.00.31.00
echo "tolactl through the bridge: ok"
