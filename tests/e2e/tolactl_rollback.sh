#!/usr/bin/env bash
# tolactl update keeps a checked copy of the firmware it replaces, and
# tolactl rollback writes it back, with Ctrl-C kept out of its restart wait; a
# copy that does not match its checksum is refused after the identification,
# before anything else reaches the instrument.
set -euo pipefail
bin=$1
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2erb.$$" XDG_DATA_HOME="$work/data" \
  XDG_CONFIG_HOME="$work/config"
sim=
start_sim() {
  rm -f "$work/state.json"
  "$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" --control "$work/control" \
    --persist "$work/flash" --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 \
    --device-type 5324 >/dev/null &
  sim=$!
  for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
}
stop_sim() { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
trap 'stop_sim; rm -rf "$work"' EXIT
journal() { "$bin/chromatik-sim" --control "$work/control" --tell "journal 0" | grep -v '^\.$' || true; }
# Waits (at most 60 s) until the file holds the text.
wait_for() {
  for _ in $(seq 600); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "never saw '$2' in $1"; cat "$1"; exit 1
}
# Waits until the restarted instrument answers with the release.
wait_release() {
  for _ in $(seq 100); do
    "$bin/tolactl" info 2>/dev/null | grep -q "Firmware:    $1\$" && return 0
    sleep 0.2
  done
  echo "the instrument did not come back with $1"; exit 1
}

start_sim
"$bin/tolactl" update > "$work/update.out"
grep -q "result: succeeded" "$work/update.out"
backups="$work/data/TOLA/CK_Helper/firmware-backups"
copy=$(ls "$backups"/*.bin)
[ "$(ls "$backups" | wc -l)" = 3 ]
(cd "$backups" && sha256sum --quiet -c ./*.sha256)
head -c 192 "$copy" | tr -d '\0' | grep -q "511vLE"
grep -q '"serial": "H51234"' "$copy.json"
"$bin/tolactl" history --json | grep -q "\"firmware_backup\":\"$copy\""
wait_release 512bLE

# A fresh journal: the instrument comes back from its flash file as it was.
stop_sim
start_sim
wait_release 512bLE
# What the instrument sees of a rollback that finds no backup: the identification alone.
# (Without the connection numbers: each tolactl run is a new connection.)
since() { journal | tail -n +$(($1 + 1)) | sed 's/ conn=[0-9]*$//'; }
mark=$(journal | wc -l)
if "$bin/tolactl" rollback --yes --backup-dir "$work/elsewhere/settings-backups" > "$work/none.out" 2>&1; then
  echo "a rollback without a backup succeeded"; exit 1
fi
grep -q "no firmware backup of instrument H51234" "$work/none.out"
identification=$(since "$mark")

# One changed byte: refused, and the instrument sees nothing after the identification.
cp "$copy" "$work/good.bin"
printf '\x00' | dd of="$copy" bs=1 seek=70000 conv=notrunc status=none
mark=$(journal | wc -l)
if "$bin/tolactl" rollback --yes > "$work/bad.out" 2>&1; then echo "a changed firmware backup was written"; exit 1; fi
grep -q "checksum does not match" "$work/bad.out"
[ "$(since "$mark")" = "$identification" ] || { echo "traffic after the identification"; exit 1; }
# Given as a file, it is refused before the instrument is even opened.
mark=$(journal | wc -l)
if "$bin/tolactl" rollback --file "$copy" --yes > "$work/bad.out" 2>&1; then echo "a changed file was written"; exit 1; fi
grep -q "checksum does not match" "$work/bad.out"
[ -z "$(since "$mark")" ] || { echo "traffic for a refused file"; exit 1; }

cp "$work/good.bin" "$copy"
"$bin/tolactl" rollback --yes > "$work/rollback.out" 2> "$work/rollback.err" &
rollback=$!
# One Ctrl-C while it waits for the restart is answered; the rollback goes on.
wait_for "$work/rollback.out" "step 3: Waiting for Chromatik reset"
kill -INT "$rollback"
wait "$rollback"
grep -q "result: succeeded" "$work/rollback.out"
grep -q "cannot be stopped safely now" "$work/rollback.err"
wait_release 511vLE
"$bin/tolactl" info | grep -q "H51234"
[ "$("$bin/tolactl" history --json | grep -c '"result":"succeeded"')" = 2 ]
echo "tolactl rollback end-to-end: ok"
