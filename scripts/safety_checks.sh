#!/usr/bin/env bash
# The update's safety on a bench of several virtual instruments, as a technician
# meets it: instruments in different states side by side, instruments left in
# their boot loaders with and without a backup of their own, stale backups,
# rollbacks after updates between images of different sizes, a weak flash cell
# under the program, pipes that close and Ctrl-C during a rollback.  Kept apart
# from the test suite (it takes a few minutes); it prints one row per scenario
# and exits non-zero when any instrument lost its settings, got another's, or a
# run reported a success that did not happen.
#
#   scripts/safety_checks.sh [BUILD_DIR]      (default: build)
#
# Every instrument gets a settings marker of its own (dTimeout_standby) before
# anything starts, so that its settings can be told from any other's after the
# update; an update leaves that field alone.
set -uo pipefail
build=$(realpath "${1:-build}")
bin="$build/bin"
export LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d /tmp/tola-safety.XXXXXX)
sim=
cleanup() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT

readonly kMarkerOffset=300   # dTimeout_standby in CKNG_SETTINGS
lost=0 crossed=0 false_success=0
rows=()

# Starts the sim with the instruments described by the arguments (--kind ... each).
start_bench() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  rm -rf "$work/run" "$work/data" "$work/config"
  mkdir -p "$work/run" "$work/data" "$work/config" && chmod 700 "$work/run"
  export XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
  export TOLA_USB_DIR="$work/run/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.safety.$$"
  "$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" --control "$work/control" \
    --persist "$work/flash" "$@" > /dev/null 2>&1 &
  sim=$!
  rm -f "$work/state.json"
  for _ in $(seq 300); do [ -s "$work/state.json" ] && break; sleep 0.05; done
}
chromatik_v() {  # serial firmware socket [more instrument options]
  local serial=$1 firmware=$2 socket=$3; shift 3
  echo --kind 4 --cpu 2 --release CK0A.00.31.00 --device-type 5324 --serial "$serial" --firmware "$firmware" \
    --socket "$socket" "$@"
}
tell() { "$bin/chromatik-sim" --control "$work/control" --tell "$1" > /dev/null; }
erased() { "$bin/chromatik-sim" --control "$work/control" --tell "journal $1" | grep -q "^erase"; }

# Writes a marker into an instrument's settings and stores them (state 53).
mark() {  # serial value
  "$bin/tolactl" read 21 --serial "$1" --out "$work/s.bin" > /dev/null || return 1
  python3 - "$work/s.bin" "$2" <<'EOF'
import struct, sys
path, value = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
data[300:304] = struct.pack('<I', value)
open(path, 'wb').write(data)
EOF
  "$bin/tolactl" write 21 "$work/s.bin" --serial "$1" > /dev/null && "$bin/tolactl" state 53 --serial "$1" > /dev/null
}
# What an instrument holds: "<serial> <firmware> <marker>", or "" when it does not answer.
state_of() {  # serial
  local info
  info=$("$bin/tolactl" info --serial "$1" 2>/dev/null) || { echo ""; return; }
  "$bin/tolactl" read 21 --serial "$1" --out "$work/r.bin" > /dev/null 2>&1 || { echo ""; return; }
  local firmware marker
  firmware=$(sed -n 's/^Firmware: *//p' <<<"$info")
  marker=$(python3 -c "import struct,sys; print(struct.unpack_from('<I', open(sys.argv[1],'rb').read(), $kMarkerOffset)[0])" "$work/r.bin")
  echo "$1 $firmware $marker"
}
# Waits (at most 60 s) until the instrument answers with the firmware.
wait_for() {  # serial firmware
  for _ in $(seq 120); do
    [ "$(state_of "$1" | cut -d' ' -f2)" = "$2" ] && return 0
    sleep 0.5
  done
  return 1
}

# Judges one scenario: each "serial firmware marker" expected against what the
# instrument holds; $1 says whether the runs reported success.
judge() {  # name reported_success expected...
  local name=$1 reported=$2; shift 2
  local verdict=ok
  for want in "$@"; do
    read -r serial firmware marker <<<"$want"
    read -r _ got_firmware got_marker <<<"$(state_of "$serial")"
    if [ "$got_marker" != "$marker" ]; then
      if grep -qw -- "${got_marker:-none}" <<<"$all_markers"; then crossed=$((crossed + 1)); verdict="CROSSED $serial"
      else lost=$((lost + 1)); verdict="LOST $serial"; fi
    elif [ "$got_firmware" != "$firmware" ] && [ "$reported" = yes ]; then
      false_success=$((false_success + 1)); verdict="FALSE SUCCESS $serial"
    fi
  done
  rows+=("$(printf '%-46s %s' "$name" "$verdict")")
}

all_markers="1001 1002 1003"

# 1. The updated instrument is slow to restart; the other one is already on the new release.
start_bench $(chromatik_v H51234 511vLE dev0 --restart-silence-ms 5000) $(chromatik_v H51299 512bLE dev1)
mark H51234 1001 && mark H51299 1002
ok=no; "$bin/tolactl" update --yes --serial H51234 > "$work/1.out" 2>&1 && ok=yes
judge "slow restart beside one on the new release" "$ok" "H51234 512bLE 1001" "H51299 512bLE 1002"

# 2. Stopped while programming (three Ctrl-C) beside another: completed from its boot loader.
start_bench $(chromatik_v H51234 511vLE dev0 --erase-time-ms 300) $(chromatik_v H51299 511vLE dev1)
mark H51234 1001 && mark H51299 1002
"$bin/tolactl" update --yes --serial H51234 > "$work/2a.out" 2>&1 &
run=$!
for _ in $(seq 300); do erased 0 && break; sleep 0.1; done
for _ in 1 2 3; do kill -INT "$run" 2>/dev/null; sleep 0.2; done
wait "$run"
ok=no; "$bin/tolactl" update --yes --socket dev0 > "$work/2b.out" 2>&1 && ok=yes
judge "boot loader, its own backup, beside another" "$ok" "H51234 512bLE 1001" "H51299 511vLE 1002"

# 3. Two instruments left in their boot loaders: --yes does not guess; each is named.
start_bench $(chromatik_v H51234 511vLE dev0 --erase-time-ms 300) $(chromatik_v H51235 511vLE dev1 --erase-time-ms 300)
mark H51234 1001 && mark H51235 1003
for i in 0 1; do
  serial=$([ $i = 0 ] && echo H51234 || echo H51235)
  "$bin/tolactl" update --yes --serial "$serial" > "$work/3$i.out" 2>&1 &
  run=$!
  for _ in $(seq 300); do erased $i && break; sleep 0.1; done
  for _ in 1 2 3; do kill -INT "$run" 2>/dev/null; sleep 0.2; done
  wait "$run"
done
ok=yes
if "$bin/tolactl" update --yes --socket dev0 > "$work/3g.out" 2>&1; then ok=guessed; fi
backups="$work/data/TOLA/CK_Helper/settings-backups"
"$bin/tolactl" update --yes --socket dev0 --settings-file "$backups/H51234.json" > "$work/3a.out" 2>&1 || ok=no
"$bin/tolactl" update --yes --socket dev1 --settings-file "$backups/H51235.json" > "$work/3b.out" 2>&1 || ok=no
[ "$ok" = guessed ] && { false_success=$((false_success + 1)); ok=yes; }
judge "two in their boot loaders, each named" "$ok" "H51234 512bLE 1001" "H51235 512bLE 1003"

# 4. A boot loader with no backup of its own gets nothing.
start_bench $(chromatik_v H51234 511vLE dev0 --erase-time-ms 300)
mark H51234 1001
"$bin/tolactl" update --yes > "$work/4a.out" 2>&1 &
run=$!
for _ in $(seq 300); do erased 0 && break; sleep 0.1; done
for _ in 1 2 3; do kill -INT "$run" 2>/dev/null; sleep 0.2; done
wait "$run"
mv "$backups" "$work/elsewhere"
if "$bin/tolactl" update --yes > "$work/4b.out" 2>&1; then false_success=$((false_success + 1)); fi
mv "$work/elsewhere" "$backups"
"$bin/tolactl" update --yes > "$work/4c.out" 2>&1 && ok=yes || ok=no
judge "boot loader without a backup, then with it" "$ok" "H51234 512bLE 1001"

# 5. A stale backup: the update stopped before erasing, the settings were changed since.
start_bench $(chromatik_v H51234 511vLE dev0 --fault refuse-command=11)
mark H51234 1001
"$bin/tolactl" update --yes > "$work/5a.out" 2>&1
tell "0 clear"
mark H51234 1003
ok=no; "$bin/tolactl" update --yes > "$work/5b.out" 2>&1 && ok=yes
judge "stale backup keeps the newer settings" "$ok" "H51234 512bLE 1003"

# 6. Rollbacks after updates between images of different sizes: the flash comes back exactly.
start_bench $(chromatik_v H51234 511vLE dev0)
mark H51234 1001
flash() { tail -c +$((0xC000 + 1)) "$work/flash/0-H51234.flash" | head -c $((0x100000 - 0xC000)); }
flash > "$work/flash-511vLE"
ok=yes
"$bin/tolactl" update --yes > "$work/6a.out" 2>&1 || ok=no        # the longer catalog image
wait_for H51234 512bLE || ok=no
"$bin/tolactl" rollback --yes > "$work/6b.out" 2>&1 || ok=no
wait_for H51234 511vLE || ok=no
cmp -s "$work/flash-511vLE" <(flash) || { lost=$((lost + 1)); ok="flash differs"; }
judge "rollback after a longer firmware" "$ok" "H51234 511vLE 1001"

# 7. A pipe that closes during an update and Ctrl-C during a rollback, beside another instrument.
start_bench $(chromatik_v H51234 511vLE dev0) $(chromatik_v H51299 512bLE dev1)
mark H51234 1001 && mark H51299 1002
{ "$bin/tolactl" update --yes --serial H51234; echo "status $?" > "$work/7.status"; } | head -c 1 > /dev/null
for _ in $(seq 600); do [ -s "$work/7.status" ] && break; sleep 0.1; done
ok=no; grep -q "status 0" "$work/7.status" && ok=yes
"$bin/tolactl" rollback --yes --serial H51234 > "$work/7b.out" 2>&1 &
run=$!
for _ in $(seq 600); do grep -q "step 3: Waiting" "$work/7b.out" && break; sleep 0.1; done
kill -INT "$run" 2>/dev/null
wait "$run" || ok=no
judge "closed pipe, Ctrl-C in a rollback, beside another" "$ok" "H51234 511vLE 1001" "H51299 512bLE 1002"

# 8. A weak flash cell under the program (its own test, with the program's defaults).
ok=no
"$(dirname "$0")/../tests/support/private_env.sh" "$bin/program_tests" --gtest_filter='*WeakFlashCellIsFoundWithoutBeingAskedFor*' > "$work/8.out" 2>&1 && ok=yes
rows+=("$(printf '%-46s %s' "weak flash cell under the program" "$([ $ok = yes ] && echo ok || echo FAILED)")")
[ $ok = yes ] || false_success=$((false_success + 1))

printf '%s\n' "${rows[@]}"
echo "lost settings: $lost, crossed settings: $crossed, false successes: $false_success"
[ $((lost + crossed + false_success)) = 0 ]
