#!/usr/bin/env bash
# The virtual Chromatik V of ./run.sh, a trigger press through its control
# socket, and tolactl following the measurements; then the queue and a report.
set -euo pipefail
bin=$1
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2e-poll.$$" XDG_CONFIG_HOME="$work/config"
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324 >/dev/null &
sim=$!
poller=
trap '[ -n "$poller" ] && kill "$poller" 2>/dev/null; kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
tell() { "$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --tell "$1"; }

"$bin/tolactl" poll --json --count 2 >"$work/poll.json" 2>"$work/poll.err" &
poller=$!
for _ in $(seq 600); do grep -q "Waiting for measurements" "$work/poll.err" && break; sleep 0.05; done
grep -q "Waiting for measurements on Chromatik" "$work/poll.err"
[ "$(tell "0 trigger")" = ok ]
for _ in $(seq 600); do [ -s "$work/poll.json" ] && break; sleep 0.05; done
[ "$(tell "0 trigger")" = ok ]
wait "$poller"
poller=
cat "$work/poll.json"
[ "$(wc -l <"$work/poll.json")" = 2 ]
head -n 1 "$work/poll.json" | grep -q '"material":"Tooth"'
head -n 1 "$work/poll.json" | grep -q '"queue_count":1'
sed -n 2p "$work/poll.json" | grep -q '"material":"Tab"'
sed -n 2p "$work/poll.json" | grep -q '"queue_index":1'

# The queue as the instrument keeps it, and the results as a service report.
"$bin/tolactl" queue first | tee "$work/queue.out"
grep -q "Measurement 1 of 2: Tooth" "$work/queue.out"
if "$bin/tolactl" queue 2 2>"$work/queue.err"; then echo "index 2 lies beyond the queue"; exit 1; fi
grep -q "no such entry: the queue holds 2" "$work/queue.err"
"$bin/tolactl" report results | tee "$work/report.out"
grep -q $'^iMode\t1' "$work/report.out"
"$bin/tolactl" details 3 | grep -q "details 3:"
"$bin/tolactl" poll --csv --count 1 >"$work/poll.csv" 2>"$work/poll2.err" &
poller=$!
for _ in $(seq 600); do grep -q "Waiting for measurements" "$work/poll2.err" && break; sleep 0.05; done
grep -q "Waiting for measurements on Chromatik" "$work/poll2.err"
[ "$(tell "0 trigger")" = ok ]
wait "$poller"
poller=
head -n 1 "$work/poll.csv" | grep -q "^time_ms,status,kind,material"
sed -n 2p "$work/poll.csv" | grep -q ",Tooth Area,"
echo "tolactl poll end-to-end: ok"
