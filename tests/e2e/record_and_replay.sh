#!/usr/bin/env bash
# A record made with TOLA_RECORD against the virtual instrument replays as that
# instrument: a second "tolactl info" learns the same identity from the replay
# alone.  A record that exists is never written over.  The same record with one request changed makes the replay report the
# difference at that request's line, and the command fails from there on.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.record.$$"
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H57001 --device-type 5324 >/dev/null &
sim=$!
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done

TOLA_RECORD="$work/info.rec" "$bin/tolactl" info >"$work/info.out"
# A second process finds the record there: it leaves it alone and records in a
# file of its own, in parts of 2K of which the newest four stay.
cp "$work/info.rec" "$work/first.rec"
"$bin/tolactl" --record "$work/info.rec" --record-max 2K info >/dev/null 2>"$work/second.err"
cmp "$work/info.rec" "$work/first.rec"
grep -q "info.rec exists and is left alone" "$work/second.err"
parts=("$work"/info.rec.pid*)
[ "${#parts[@]}" = 4 ] || { echo "expected the newest four parts, found: ${parts[*]}"; exit 1; }
for p in "${parts[@]}"; do head -n 1 "$p" | grep -qx "TOLA-RECORD 1"; done
kill "$sim"
wait "$sim" || true
sim=
head -n 1 "$work/info.rec" | grep -qx "TOLA-RECORD 1"
grep -q '^[0-9]* usb id .*serial=H57001' "$work/info.rec"
sed 's/^/# stdout: /' "$work/info.out" >>"$work/info.rec"
"$here/replay_recording.sh" "$bin" "$work/info.rec"

# One input byte of the first request that carries input, changed.
line=$(grep -n '^[0-9]* usb req [0-9A-F]* [0-9]* [0-9a-f][0-9a-f]* ' "$work/info.rec" | head -n 1 | cut -d: -f1)
awk -v n="$line" 'NR == n { $6 = ($6 ~ /^0/ ? "f" : "0") substr($6, 2) } { print }' "$work/info.rec" >"$work/changed.rec"
! cmp -s "$work/info.rec" "$work/changed.rec"
"$here/replay_recording.sh" "$bin" "$work/changed.rec" --expect-difference | tee "$work/difference.out"
grep -q "differs at line $line (event " "$work/difference.out"
echo "record and replay: ok"
