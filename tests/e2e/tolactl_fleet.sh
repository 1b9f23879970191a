#!/usr/bin/env bash
# A bench of several Chromatik V: tolactl list names each one without
# disturbing it, and tolactl update --all / --serial S --serial T updates the
# ones an update applies to, one after another, each pinned to its serial
# number.  Every case checks that each instrument ends with its own serial
# number and its own settings (a distinct ACB id stored in each before).
set -euo pipefail
bin=$1
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_MUTEX_NAME="CKP_InterfaceMutex.e2efleet.$$"
sim=
stop_sim() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  sim=
}
trap 'stop_sim; for j in $(jobs -p); do kill "$j" 2>/dev/null || true; done; rm -rf "$work"' EXIT

# One instrument per word: SERIAL+FIRMWARE[+SIM OPTION...] (sockets dev0, dev1, ... in order).
start_bench() {
  stop_sim
  rm -rf "$work/usb" "$work/state.json" "$work/data"
  export XDG_DATA_HOME="$work/data"
  local args=()
  for instrument in "$@"; do
    IFS=+ read -r -a f <<< "$instrument"
    args+=(--kind 4 --cpu 2 --release CK0A.00.31.00 --device-type 5324 --erase-time-ms 50
           --serial "${f[0]}" --firmware "${f[1]}" "${f[@]:2}")
  done
  "$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --state-file "$work/state.json" "${args[@]}" >/dev/null &
  sim=$!
  for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
}

# The ACB id in the stored settings (structure 21, offset 260): set before, compared after.
acb() { "$bin/tolactl" read 21 --socket "$1" --out "$work/s.bin" >/dev/null && od -An -tu4 -j260 -N4 "$work/s.bin" | tr -d ' '; }
set_acb() {
  "$bin/tolactl" read 21 --socket "$1" --out "$work/s.bin" >/dev/null
  python3 -c 'import struct,sys; p=sys.argv[1]; b=bytearray(open(p,"rb").read()); b[260:264]=struct.pack("<I",int(sys.argv[2])); open(p,"wb").write(b)' "$work/s.bin" "$2"
  "$bin/tolactl" write 21 "$work/s.bin" --socket "$1" >/dev/null
  "$bin/tolactl" state 53 --socket "$1" >/dev/null
}
# "dev0=H51234/512bLE/1000 dev1=..." for every instrument on the bench.
bench_state() {
  local out="" n
  n=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["instruments"]))' "$work/state.json")
  "$bin/tolactl" list --link usb --json > "$work/list.json"
  for ((i = 0; i < n; i++)); do
    local line
    line=$(python3 -c 'import json,sys; i=[x for x in json.load(open(sys.argv[1]))["instruments"] if x["where"]==sys.argv[2]]; print(i[0]["serial"]+"/"+i[0]["firmware"] if i else "absent")' "$work/list.json" "dev$i")
    out+="dev$i=$line/$(acb "dev$i") "
  done
  echo "${out% }"
}

# case NAME EXIT "COMMAND ARGS" "BENCH AFTER" "LINES THE OUTPUT HOLDS (|-separated)" BENCH...
run_case() {
  local name=$1 want_exit=$2 command=$3 want_state=$4 want_lines=$5
  shift 5
  start_bench "$@"
  for ((i = 0; i < $#; i++)); do set_acb "dev$i" $((1000 + i)); done
  local got_exit=0
  # shellcheck disable=SC2086
  "$bin/tolactl" $command > "$work/$name.out" 2>&1 || got_exit=$?
  local got_state
  got_state=$(bench_state)
  if [ "$got_exit" != "$want_exit" ] || [ "$got_state" != "$want_state" ]; then
    echo "case $name: exit $got_exit (want $want_exit), bench $got_state"
    echo "                                      want $want_state"
    cat "$work/$name.out"
    exit 1
  fi
  IFS='|' read -r -a lines <<< "$want_lines"
  for line in "${lines[@]}"; do
    grep -qE -- "$line" "$work/$name.out" || { echo "case $name: no line '$line' in:"; cat "$work/$name.out"; exit 1; }
  done
  echo "case $name: ok"
}

# The first restarts slowest: it comes back after the others would have.
run_case all 0 "update --all" \
  "dev0=H51234/512bLE/1000 dev1=H51235/512bLE/1001 dev2=H51236/512bLE/1002" \
  "H51234 +dev0 +511vLE +512bLE +[0-9]+:[0-9]+ +update|H51236 +dev2 .*no update: up to date|2 update\(s\)|H51234 +dev0 +succeeded|H51235 +dev1 +succeeded|H51236 +dev2 +skipped +- +up to date" \
  H51234+511vLE+--restart-silence-ms+4000 H51235+511vLE H51236+512bLE
[ "$("$bin/tolactl" history --json | grep -c '"result":"succeeded"')" = 2 ]
"$bin/tolactl" history | grep -q "H51234 .*succeeded" && "$bin/tolactl" history | grep -q "H51235 .*succeeded"

run_case named 0 "update --serial H51235 --serial H51236 --json" \
  "dev0=H51234/511vLE/1000 dev1=H51235/512bLE/1001 dev2=H51236/512bLE/1002" \
  '"event":"plan","serial":"H51235"|"event":"step",.*"serial":"H51235"|"event":"fleet_result","serial":"H51235","where":"dev1","result":"succeeded"|"event":"fleet_result","serial":"H51236".*"result":"skipped"' \
  H51234+511vLE H51235+511vLE H51236+512bLE
# Every event of an update carries its serial number.
! grep '"event":"step"' "$work/named.out" | grep -qv '"serial":"H51235"'

run_case missing 2 "update --serial H51235 --serial H59999" \
  "dev0=H51234/511vLE/1000 dev1=H51235/511vLE/1001" \
  "instrument H59999 not found; found: H51234 on dev0, H51235 on dev1. Nothing was updated" \
  H51234+511vLE H51235+511vLE

run_case twice 1 "update --all" \
  "dev0=H51234/511vLE/1000 dev1=H51234/511vLE/1001" \
  "more than one instrument answers with serial number H51234" \
  H51234+511vLE H51234+511vLE
# A single command that names the serial number is refused too, with the sockets.
if "$bin/tolactl" info --serial H51234 > "$work/info.out" 2>&1; then echo "info took one of two"; exit 1; fi
grep -q "Instrument H51234 answers on dev0, dev1" "$work/info.out"
"$bin/tolactl" info --serial H51234 --socket dev1 | grep -q "Serial:      H51234"

run_case stops 1 "update --all" \
  "dev0=H51234/511vLE/1000 dev1=H51235/511vLE/1001" \
  "H51234 +dev0 +failed|H51235 +dev1 +not started" \
  H51234+511vLE+--fault+refuse-command=11:9 H51235+511vLE

run_case keeps_going 1 "update --all --keep-going" \
  "dev0=H51234/511vLE/1000 dev1=H51235/512bLE/1001" \
  "H51234 +dev0 +failed|H51235 +dev1 +succeeded" \
  H51234+511vLE+--fault+refuse-command=11:9 H51235+511vLE

# list: a pending backup (the failed update above left one), an instrument in
# its boot loader, and a running update whose instrument is not opened.
"$bin/tolactl" list | grep -qE "dev0 .*H51234 .*pending settings backup"
"$bin/tolactl" ctl-cmd 11 --socket dev1 >/dev/null
"$bin/tolactl" list --json > "$work/list.json"
python3 - "$work/list.json" <<'PY'
import json, sys
by = {i["where"]: i for i in json.load(open(sys.argv[1]))["instruments"]}
assert by["dev1"]["boot_loader"] and by["dev1"]["serial"] == "", by
assert by["dev0"]["pending_backup"].endswith("H51234.json"), by
PY
start_bench H51234+511vLE H51235+511vLE
"$bin/tolactl" update --serial H51235 > "$work/running.out" 2>&1 &
updating=$!
for _ in $(seq 600); do grep -q "step 2: Updating" "$work/running.out" && break; sleep 0.1; done
"$bin/tolactl" list --json > "$work/list.json"
python3 - "$work/list.json" <<'PY'
import json, sys
by = {i["where"]: i for i in json.load(open(sys.argv[1]))["instruments"]}
assert by["dev1"]["busy"] and by["dev1"]["serial"] == "" and "H51235" in by["dev1"]["running_update"], by
assert by["dev0"]["serial"] == "H51234" and not by["dev0"]["busy"], by
PY
wait "$updating"
grep -q "result: succeeded" "$work/running.out"
echo "tolactl fleet: ok"
