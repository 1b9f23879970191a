#!/usr/bin/env bash
# Two-process soak of the interface mutex (not part of CI):
#   scripts/soak.sh [SECONDS]        default 600; needs a build in build/ (SOAK_BIN: other bin folder)
#
# One virtual Chromatik V on USB in a private folder with a private mutex name.
# Two workers (build/bin/tola_soak_driver) hammer it for SECONDS with reads,
# harmless writes, polls and commands, logging every call; a third process runs
# the same mix and is killed with SIGKILL at random moments, over and over.
# Afterwards scripts/soak_report.py checks the simulator's journal for
# interleaved exchanges, the call times against the mutex's 4 s wait, that every
# process ended, and that nothing leaked; the exit status is non-zero when a
# check fails. SOAK_KEEP=1 keeps the folder with the logs and the journal.
set -euo pipefail

seconds=${1:-600}
case "$seconds" in '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${SOAK_BIN:-$root/build/bin}
driver=$bin/tola_soak_driver
for program in "$driver" "$bin/chromatik-sim"; do
  [ -x "$program" ] || { echo "soak: $program is missing; build first (scripts/build.sh build)" >&2; exit 2; }
done

# Everything private: folders, runtime, settings, mutex name.
dir=$(mktemp -d "${TMPDIR:-/tmp}/tola-soak.XXXXXX")
mkdir -p "$dir/run" "$dir/data" "$dir/config" "$dir/logs"
chmod 700 "$dir/run"
export XDG_RUNTIME_DIR=$dir/run TOLA_USB_DIR=$dir/run/tola/usb TOLA_BT_DIR=$dir/run/tola/bt
export XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.soak.${dir##*.}"
for n in $(seq 1 20); do unset "TOLA_COM$n"; done
mutex_object="/dev/shm/${TOLA_MUTEX_NAME}.$(id -u)"

sim_pid=
holder_pid=
cleanup() {
  [ -n "$holder_pid" ] && kill -KILL "$holder_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -f "$mutex_object"
  if [ "${SOAK_KEEP:-0}" = 1 ]; then echo "soak: kept $dir" >&2; else rm -rf "$dir"; fi
}
trap cleanup EXIT

shm_objects() { ls -1 /dev/shm 2>/dev/null | sort; }
fd_count() { ls -1 "/proc/$1/fd" 2>/dev/null | wc -l; }

start_simulator() {
  "$bin/chromatik-sim" --journal "$dir/journal.txt" \
    --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE --serial H51234 --device-type 5324 \
    --trigger-every-ms 700 >"$dir/sim.log" 2>&1 &
  sim_pid=$!
  local deadline=$((SECONDS + 30))
  until grep -q '^state ' "$dir/sim.log" 2>/dev/null; do
    kill -0 "$sim_pid" 2>/dev/null || { cat "$dir/sim.log" >&2; exit 1; }
    [ $SECONDS -lt $deadline ] || { echo "soak: the simulator did not start" >&2; exit 1; }
    sleep 0.1
  done
}

# Ends the simulator, which then writes its journal.
stop_simulator() {
  kill "$sim_pid"
  wait "$sim_pid" || true
  sim_pid=
}

# A short pass alone: how long each call takes when nobody else waits for the mutex.
run_solo() {
  timeout -s KILL 60 "$driver" worker 3 "$dir/logs/solo.log" 1 2>>"$dir/logs/solo.err"
}

# Starts the holder, kills it with SIGKILL after a random 20..800 ms, again and
# again until the end time; prints how often it was killed.
kill_holder_until() {
  local end=$1 kills=0 seed=1000
  while [ $SECONDS -lt "$end" ]; do
    seed=$((seed + 1))
    "$driver" holder "$dir/logs/holder.log" "$seed" 2>>"$dir/logs/holder.err" &
    holder_pid=$!
    sleep "$(printf '0.%03d' $((RANDOM % 780 + 20)))"
    if kill -KILL "$holder_pid" 2>/dev/null; then kills=$((kills + 1)); fi
    wait "$holder_pid" 2>/dev/null || true
    holder_pid=
  done
  echo "$kills"
}

shm_before=$(shm_objects)
start_simulator
sim_fds_start=$(fd_count "$sim_pid")
echo "soak: ${seconds} s, folder $dir, mutex $TOLA_MUTEX_NAME" >&2
run_solo || { echo "soak: the solo pass failed (see $dir/logs/solo.err)" >&2; exit 1; }

# A worker that does not end within its time and a generous margin is killed: a hang.
limit=$((seconds + 120))
timeout -s KILL "$limit" "$driver" worker "$seconds" "$dir/logs/worker1.log" 11 2>"$dir/logs/worker1.err" &
worker1=$!
timeout -s KILL "$limit" "$driver" worker "$seconds" "$dir/logs/worker2.log" 22 2>"$dir/logs/worker2.err" &
worker2=$!
kills=$(kill_holder_until $((SECONDS + seconds)))
status1=0; wait "$worker1" || status1=$?
status2=0; wait "$worker2" || status2=$?

sim_fds_end=$(fd_count "$sim_pid")
stop_simulator
comm -13 <(echo "$shm_before") <(shm_objects) >"$dir/shm-new.txt"

python3 "$root/scripts/soak_report.py" \
  --seconds "$seconds" --journal "$dir/journal.txt" --solo "$dir/logs/solo.log" \
  --worker "worker1=$dir/logs/worker1.log=$status1" --worker "worker2=$dir/logs/worker2.log=$status2" \
  --holder "$dir/logs/holder.log" --kills "$kills" \
  --shm-new "$dir/shm-new.txt" --mutex-object "$(basename "$mutex_object")" --soak-name "$TOLA_MUTEX_NAME" \
  --sim-fds "$sim_fds_start" "$sim_fds_end"
