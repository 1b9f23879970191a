#!/usr/bin/env bash
# tolactl update cannot be cut off, and never runs twice at once: a second update
# (whatever its backup folder) and every command that writes to the instrument
# started while one runs are refused before they send anything; Ctrl-C while
# programming and while waiting for the restart is answered and the update
# completes; three times Ctrl-C abort it, and a rerun completes the update with
# the instrument's own settings; a pipe that closes does not end an update; a
# damaged settings backup is listed and retired on purpose, never overwritten.
set -euo pipefail
bin=$1
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2esafe.$$" XDG_DATA_HOME="$work/data"
sim=
stop_sim() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  sim=
}
trap 'stop_sim; for j in $(jobs -p); do kill "$j" 2>/dev/null || true; done; rm -rf "$work"' EXIT

start_sim() {
  rm -f "$work/state.json"
  "$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" \
    --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324 \
    --erase-time-ms 300 >/dev/null &
  sim=$!
  for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
}
# Waits (at most 60 s) until the file holds the text.
wait_for() {
  for _ in $(seq 600); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "never saw '$2' in $1"; cat "$1"; exit 1
}

start_sim

# 1. Ctrl-C while programming and while waiting for the restart: answered once, the update goes on.
"$bin/tolactl" update --yes > "$work/first.out" 2> "$work/first.err" &
first=$!
wait_for "$work/first.out" "step 2: Updating"

# A second update meanwhile is refused before it sends anything.
if "$bin/tolactl" update --yes > "$work/second.out" 2>&1; then echo "a second update ran"; exit 1; fi
grep -q "an update is running (process $first" "$work/second.out"
if "$bin/tolactl" settings restore --yes > "$work/restore.out" 2>&1; then echo "a restore ran into the update"; exit 1; fi
grep -q "an update is running" "$work/restore.out"
head -c 512 /dev/zero > "$work/settings.raw"
for writer in "update --yes --backup-dir $work/elsewhere" "state 20" "write 21 $work/settings.raw" "defaults" "ctl-cmd 10"; do
  # shellcheck disable=SC2086
  if "$bin/tolactl" $writer > "$work/writer.out" 2>&1; then echo "'$writer' ran into the update"; exit 1; fi
  grep -q "an update is running (process $first" "$work/writer.out" || { echo "'$writer':"; cat "$work/writer.out"; exit 1; }
done

kill -INT "$first"
wait_for "$work/first.err" "cannot be stopped safely now"
wait_for "$work/first.out" "step 3: Waiting for Chromatik reset"
kill -INT "$first"
wait "$first"
grep -q "result: succeeded" "$work/first.out"
[ "$(grep -c "cannot be stopped safely now" "$work/first.err")" = 1 ]
"$bin/tolactl" info | grep -q "Firmware:    512bLE"
grep -q "no pending settings backups" <("$bin/tolactl" settings pending)

# 2. Three times Ctrl-C while programming abort the update; the rerun completes it.
stop_sim
rm -rf "$work/data"
start_sim
"$bin/tolactl" update --yes > "$work/aborted.out" 2> "$work/aborted.err" &
aborted=$!
# Once the first sector is erased the old firmware is gone.
erased=
for _ in $(seq 600); do
  # Captured whole: "grep -q" would leave the simulator writing a long journal into a closed pipe.
  journal=$("$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --tell "journal 0" || true)
  if grep -q "^erase" <<<"$journal"; then erased=1; break; fi
  sleep 0.1
done
[ -n "$erased" ] || { echo "the update never erased a sector"; cat "$work/aborted.out" "$work/aborted.err"; exit 1; }
for _ in 1 2 3; do kill -INT "$aborted"; sleep 0.2; done
if wait "$aborted"; then echo "an aborted update reported success"; exit 1; fi
grep -q "aborting at the next safe point" "$work/aborted.err"
grep -q "H51234" <("$bin/tolactl" settings pending)

grep -q "in its boot loader" "$work/aborted.out"
"$bin/tolactl" update --yes > "$work/rerun.out" 2>&1
grep -q "The update to 512bLE is complete." "$work/rerun.out"
"$bin/tolactl" info | grep -q "Firmware:    512bLE"
grep -q "no pending settings backups" <("$bin/tolactl" settings pending)
# 3. A pipe into a reader that goes away (tee ended by Ctrl-C) does not end the update.
stop_sim
rm -rf "$work/data"
start_sim
{ "$bin/tolactl" update --yes; echo "status $?" > "$work/piped.status"; } | head -c 1 > /dev/null
for _ in $(seq 600); do [ -s "$work/piped.status" ] && break; sleep 0.1; done
grep -q "status 0" "$work/piped.status" || { cat "$work/piped.status"; exit 1; }
"$bin/tolactl" info | grep -q "Firmware:    512bLE"

# 4. A damaged backup is listed, never overwritten, and retired only on purpose.
backups="$work/data/TOLA/CK_Helper/settings-backups"
printf '{"format": 1, "serial": "H51234", "state": "pending", "settings": "00' > "$backups/H51234.json"
"$bin/tolactl" settings pending | grep -q "DAMAGED.*H51234.json"
if "$bin/tolactl" update --yes --service > "$work/damaged.out" 2>&1; then echo "an update ran over a damaged backup"; exit 1; fi
grep -q "damaged" "$work/damaged.out"
aside=$(ls "$backups"/H51234.json.damaged-*)
"$bin/tolactl" settings discard --file "$aside" --yes | grep -q "retired"
[ -z "$(ls "$backups"/H51234.json.damaged-* 2>/dev/null)" ] && ls "$backups/retired/" | grep -q "discarded"
grep -q "no pending settings backups" <("$bin/tolactl" settings pending)
echo "tolactl update safety end-to-end: ok"
