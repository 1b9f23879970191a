#!/usr/bin/env bash
# tolactl update against a virtual Chromatik V: a whole update as JSON events, the
# history it leaves, a refused second update, a file that is no image.
set -euo pipefail
bin=$1
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2eupd.$$" XDG_DATA_HOME="$work/data"
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
  --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324 >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done

"$bin/tolactl" catalog | grep -q '^ 0\* CKV/512bLE/July 25, 2022 *560532 bytes'

# A file that is not complete is refused before anything reaches the instrument.
head -c 1000 /dev/urandom > "$work/junk.bin"
if "$bin/tolactl" update --file "$work/junk.bin" > "$work/junk.out" 2>&1; then
  echo "an incomplete firmware file was accepted"; exit 1
fi
grep -q "not complete" "$work/junk.out"

"$bin/tolactl" update --json > "$work/events.jsonl"
tail -1 "$work/events.jsonl" | grep -q '"event":"end","result":"succeeded","step":5,"from":"511vLE","to":"512bLE"'
grep -q '"event":"step","step":3,"state":"done","text":"Reset done"' "$work/events.jsonl"
grep -q '"event":"result","success":true' "$work/events.jsonl"

history=$("$bin/tolactl" history)
echo "$history"
[ "$(grep -c . <<<"$history")" = 1 ]
grep -q "H51234 *511vLE *-> 512bLE *succeeded *step 5" <<<"$history"

# The instrument comes back after the last restart and now runs 512bLE: the same
# release again is no update.
back=
for _ in $(seq 100); do
  if "$bin/tolactl" info 2>/dev/null | grep -q "Firmware:    512bLE"; then back=1; break; fi
  sleep 0.2
done
[ -n "$back" ] || { echo "the instrument did not come back with 512bLE"; exit 1; }
if "$bin/tolactl" update > "$work/again.out" 2>&1; then echo "the same release was written again"; exit 1; fi
grep -q "No update required." "$work/again.out"
[ "$("$bin/tolactl" history --json | grep -c '"result":"refused"')" = 1 ]
echo "tolactl update end-to-end: ok"
