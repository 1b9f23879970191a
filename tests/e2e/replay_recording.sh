#!/usr/bin/env bash
# Replays one record of tests/recordings/: chromatik-sim --replay serves it on
# its link, the command that made it runs again, and both must succeed; the
# command's output must be the recorded one (lines "# stdout: "), up to the
# values that depend on the day and the clock.
#
# usage: replay_recording.sh BIN_DIR RECORD [--expect-difference]
# With --expect-difference the replay must instead report a difference and the
# command must fail (a record whose requests were changed on purpose).
set -euo pipefail
bin=$1
record=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
expect_difference=${3:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.replay.$$"
replay=
trap '[ -n "$replay" ] && kill "$replay" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

# The command, without the --record that made the record.
command=$(sed -n 's/^# command: //p' "$record" | head -n 1)
[ -n "$command" ] || { echo "$record names no command"; exit 1; }
read -r -a words <<<"$command"
args=()
for ((i = 1; i < ${#words[@]}; i++)); do
  if [ "${words[i]}" = --record ]; then i=$((i + 1)); continue; fi
  args+=("${words[i]//%20/ }")
done
program=${words[0]}

# A command that reads the small update image gets it made again.
for a in "${args[@]}"; do
  if [ "$a" = small.bin ]; then
    "$bin/ck_firmware_generator" "$work/images" >/dev/null
    python3 "$root/scripts/make_small_image.py" "$work/images/CK50_STM32F2x_App_firmware_V512bLE_Rel_Boot.bin" small.bin
  fi
done

"$bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --bt-dir "$TOLA_BT_DIR" --replay "$record" >"$work/replay.out" \
  2>"$work/replay.err" &
replay=$!
for _ in $(seq 600); do grep -q '^ready' "$work/replay.out" && break; sleep 0.05; done
grep -q '^ready' "$work/replay.out" || { cat "$work/replay.err"; exit 1; }

# Serial records: the pseudo-terminal becomes the port the record names.
if pty=$(sed -n 's/^replay serial-port \([^ ]*\) as COM\([0-9]*\)$/\1 \2/p' "$work/replay.out") && [ -n "$pty" ]; then
  export "TOLA_COM${pty#* }=${pty% *}"
fi
# Bluetooth records: the recorded address is the selected instrument.
if address=$(sed -n 's/^replay bluetooth \([^ ]*\) in .*/\1/p' "$work/replay.out") && [ -n "$address" ]; then
  "$bin/tolactl" bt-select "$address" >/dev/null
fi

status=0
"$bin/$program" "${args[@]}" >"$work/stdout" 2>"$work/stderr" || status=$?
# A replay that found a difference ends by itself, maybe a moment after the host gave up.
if [ "$expect_difference" = --expect-difference ]; then
  for _ in $(seq 600); do kill -0 "$replay" 2>/dev/null || break; sleep 0.05; done
fi
kill -TERM "$replay" 2>/dev/null || true
replay_status=0
wait "$replay" || replay_status=$?
replay=

if [ "$expect_difference" = --expect-difference ]; then
  cat "$work/replay.err"
  [ "$replay_status" = 1 ] || { echo "the replay did not fail ($replay_status)"; exit 1; }
  grep -q "differs at line [0-9]* (event [0-9]*)" "$work/replay.err"
  grep -q "  expected: " "$work/replay.err"
  grep -q "  got:      " "$work/replay.err"
  [ "$status" != 0 ] || { echo "the command succeeded against a replay that stopped"; exit 1; }
  echo "difference reported: ok"
  exit 0
fi

if [ "$status" != 0 ] || [ "$replay_status" != 0 ]; then
  echo "command exit $status, replay exit $replay_status"
  cat "$work/stdout" "$work/stderr" "$work/replay.err"
  exit 1
fi
# Values that depend on the day and the clock are left out of the comparison.
normalise() { sed -e '/^  Installed: /d' -e 's/([0-9]* s)$/(N s)/' -e 's/"time_ms":[0-9]*/"time_ms":N/'; }
sed -n 's/^# stdout: //p' "$record" | normalise >"$work/expected"
normalise <"$work/stdout" >"$work/got"
diff -u "$work/expected" "$work/got"
echo "$(basename "$record"): replayed"
