#!/usr/bin/env bash
# tola-usbd --record DIR writes one record per client connection; the record of
# a "tolactl info" through the bridge replays as the instrument and answers a
# second "tolactl info" with the same identity.  The records folder's mode is
# left as it is; a folder others may write is refused.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2e-usbd-record.$$" XDG_CONFIG_HOME="$work/config"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

bus="$work/bus" channel="$work/usb"
"$bin/chromatik-sim" --usb-dir "$bus" --state-file "$work/state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H57002 --device-type 5324 >/dev/null &
pids+=($!)
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
# An existing records folder keeps its mode (it may be the home folder).
mkdir "$work/records" && chmod 0750 "$work/records"
"$bin/tola-usbd-virtual" --bus "$bus" --usb-dir "$channel" --record "$work/records" --foreground 2>"$work/usbd.log" &
bridge=$!
pids+=($bridge)
for _ in $(seq 600); do
  [ -n "$(ls "$channel/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}" 2>/dev/null)" ] && break; sleep 0.05
done
TOLA_USB_DIR="$channel" "$bin/tolactl" info >"$work/info.out"
kill "$bridge"
wait "$bridge" || true

records=("$work"/records/*.rec)
[ "${#records[@]}" = 1 ] || { echo "expected one record, found ${#records[@]}"; ls -l "$work/records"; exit 1; }
record=${records[0]}
head -n 1 "$record" | grep -qx "TOLA-RECORD 1"
grep -q '^# served by tola-usbd: device ' "$record"
grep -q '^[0-9]* usb open {00873FDF-61A8-11D1-AA5E-00C04FB1728B}/' "$record"
grep -q '^[0-9]* usb close$' "$record"

# The bridge does not know the command: the test names it, and the output to expect.
{ head -n 1 "$record"; echo "# command: tolactl info"; tail -n +2 "$record"; sed 's/^/# stdout: /' "$work/info.out"; } \
  >"$work/info.rec"
"$here/replay_recording.sh" "$bin" "$work/info.rec"
[ "$(stat -c %a "$work/records")" = 750 ] || { echo "the records folder's mode was changed"; exit 1; }

# A folder that others may write is refused, and left as it is.
mkdir "$work/open" && chmod 0777 "$work/open"
if "$bin/tola-usbd-virtual" --bus "$bus" --usb-dir "$channel" --record "$work/open" --foreground 2>"$work/open.log"; then
  echo "the bridge served with a records folder others may write"; exit 1
fi
grep -q "open may be written by other users (mode 0777)" "$work/open.log" || { cat "$work/open.log"; exit 1; }
[ "$(stat -c %a "$work/open")" = 777 ]
echo "tola-usbd --record: ok"
