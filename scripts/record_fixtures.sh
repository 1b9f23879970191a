#!/usr/bin/env bash
# Regenerates the records in tests/recordings/ against the virtual instrument,
# with the real tolactl: an identification on each link (USB, a serial port on
# a pseudo-terminal, Bluetooth through the stand-in client), a measurement poll,
# a settings backup and a complete update with a small image over USB.
#
# usage: scripts/record_fixtures.sh [BUILD_DIR]   (default: build)
#
# Each record ends with the command's standard output as "# stdout: " lines,
# which the replay test compares.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bin=$build/bin
out=$root/tests/recordings
export LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.record-fixtures.$$"
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"

start_sim() {
  rm -f "$work/state.json"
  "$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --bt-dir "$TOLA_BT_DIR" --state-file "$work/state.json" "$@" \
    >"$work/sim.out" &
  sim=$!
  for _ in $(seq 200); do [ -s "$work/state.json" ] && break; sleep 0.05; done
  [ -s "$work/state.json" ]
}
stop_sim() { kill "$sim"; wait "$sim" || true; sim=; }

# record NAME tolactl ARGS...: runs the command with a record and keeps its output.
record() {
  local name=$1
  shift
  "$bin/$1" --record "$name.rec" "${@:2}" >"$work/$name.stdout"
  install -m 644 "$work/$name.rec" "$out/$name.rec"
  sed 's/^/# stdout: /' "$work/$name.stdout" >>"$out/$name.rec"
  echo "recorded $name ($(grep -c '^[0-9]' "$out/$name.rec") events)"
}

chromatik_v=(--kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324)

start_sim "${chromatik_v[@]}"
record usb-info tolactl info
record usb-settings-backup tolactl settings backup --out settings.json
stop_sim

# A measurement poll: the instrument's trigger is pressed on its own.
start_sim "${chromatik_v[@]}" --trigger-every-ms 400
record usb-poll tolactl poll --json --count 1
stop_sim

start_sim --kind 8 --release CK0A.00.30.00 --firmware 509i --serial H50008
pty=$(sed -n 's/.*serial-port \(\/dev\/[^ ]*\).*/\1/p' "$work/sim.out")
TOLA_COM3="$pty" record com-info tolactl info --port com3
stop_sim

start_sim --kind 10 --release CK0A.00.32.00 --firmware 512bLE --serial H50010 --bt-address 00:80:25:AB:CD:01
"$bin/tolactl" bt-select 00:80:25:AB:CD:01 >/dev/null
record bt-info tolactl info --port bt
stop_sim

# A complete update with an image whose data fill two sectors.
"$bin/ck_firmware_generator" "$work/images" >/dev/null
python3 "$root/scripts/make_small_image.py" "$work/images/CK50_STM32F2x_App_firmware_V512bLE_Rel_Boot.bin" small.bin
start_sim "${chromatik_v[@]}"
record usb-update-small tolactl update --file small.bin --yes --no-backup
stop_sim
