#!/usr/bin/env bash
# tolactl doctor in folders of its own: with nothing running it names the
# missing way to an instrument and its fix and exits non-zero; with a virtual
# instrument on the USB channel it exits 0; a USB channel folder that others may
# enter blocks, with the fix named; the user's own systemd user unit is found.
set -euo pipefail
bin=$1
work=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_RUNTIME_DIR="$work/run" TOLA_USB_DIR="$work/run/usb" TOLA_BT_DIR="$work/run/bt"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.doctor.$$"
# No BlueZ: the system bus is a socket nobody listens on.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus"
unset TOLA_BT_CLIENT $(env | grep -o '^TOLA_COM[0-9]*' || true)
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# status of a check in the JSON lines: "<status> <blocks>"
check() { python3 -c '
import json, sys
for line in open(sys.argv[1]):
    c = json.loads(line)
    if c["check"] == sys.argv[2]:
        print(c["status"], str(c["blocks"]).lower(), c["fix"])
        break' "$work/out" "$1"; }

run_doctor() { set +e; "$bin/tolactl" doctor --json >"$work/out" 2>"$work/err"; status=$?; set -e; }

# 1. Nothing runs.
run_doctor
[ "$status" -ne 0 ] || { echo "doctor must fail without any instrument path"; cat "$work/out"; exit 1; }
check instrument-path | grep "^problem true .*tola-usbd" >/dev/null
check usb-channel | grep "^problem false .*start tola-usbd" >/dev/null
check bluez | grep "^problem false " >/dev/null
check library | grep "^ok " >/dev/null
check interface-mutex | grep "^ok " >/dev/null
check update-history | grep "^ok " >/dev/null
# Every line is one JSON object with the same keys.
python3 -c '
import json, sys
keys = {"check", "status", "blocks", "text", "fix"}
lines = open(sys.argv[1]).read().splitlines()
assert len(lines) >= 10, lines
for l in lines: assert set(json.loads(l)) == keys, l' "$work/out"

# 2. The user's own copy of the systemd user unit is found where systemd reads it.
mkdir -p "$XDG_CONFIG_HOME/systemd/user" && : >"$XDG_CONFIG_HOME/systemd/user/tola-usbd.service"
run_doctor
grep -q "\"check\":\"user-unit\",\"status\":\"ok\",.*$XDG_CONFIG_HOME/systemd/user/tola-usbd.service" "$work/out"

# 3. A serial device named by TOLA_COM<n> that is not there.
TOLA_COM3="$work/no-such-tty" "$bin/tolactl" doctor --json >"$work/out" 2>/dev/null || true
check serial | grep "^problem false .*TOLA_COM3" >/dev/null

# 4. A virtual instrument serves the USB channel.
"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --bt-dir "$TOLA_BT_DIR" --state-file "$work/state.json" \
  --control "$work/control" --kind 4 >/dev/null &
sim=$!
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done
run_doctor
[ "$status" -eq 0 ] || { echo "doctor must pass with a virtual instrument"; cat "$work/out" "$work/err"; exit 1; }
check usb-channel | grep "^ok " >/dev/null
check instrument-path | grep "^ok " >/dev/null

# 5. Others may write into the channel folder: that blocks, and the fix says how.
chmod 777 "$TOLA_USB_DIR"
run_doctor
[ "$status" -ne 0 ]
check usb-channel | grep "^problem true chmod 700 $TOLA_USB_DIR" >/dev/null
"$bin/tolactl" doctor >"$work/text" 2>/dev/null || true
grep -q "^problem: USB channel folder .* is not private .* - fix: chmod 700 " "$work/text"
echo "tolactl doctor: ok"
