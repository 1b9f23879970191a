#!/usr/bin/env bash
# The update program connected to a virtual Chromatik V: time from start to the
# first paint of the main window, CPU while it idles for a minute, resident
# memory.  Goals: first paint < 0.5 s, idle CPU < 1% of one core, RSS < 80 MB.
#   bench/program_idle.sh [BUILD_DIR] [IDLE_SECONDS]
# Runs under Xvfb when it is installed (else on the offscreen platform).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
idle=${2:-60}

work=$(mktemp -d)
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export TOLA_MUTEX_NAME="CKP_InterfaceMutex.bench.$$"
export LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
"$build/bin/chromatik-sim" --usb-dir "$TOLA_USB_DIR" --bt-dir "$TOLA_BT_DIR" --state-file "$work/sim.json" \
  --kind 4 --cpu 2 --firmware 511vLE --serial H51234 >/dev/null &
sim=$!
xvfb=
cleanup() {
  # The program ends by the signal (status 143): that is no failure of the cleanup.
  set +e
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/sim.json" ] && break; sleep 0.05; done

if command -v Xvfb >/dev/null; then
  display=:$((100 + $$ % 400))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
  platform="Xvfb (xcb)"
else
  export QT_QPA_PLATFORM=offscreen
  platform="offscreen"
fi

# The service mode: no Bluetooth search, the USB instrument connects at the
# first tick of the poll timer.
start=$(date +%s%3N)
TOLA_TRACE=1 TOLA_REPORT_FIRST_PAINT=1 "$build/bin/Tola_CK_Update" -cFW_Select 2>"$work/app.err" &
app=$!
for _ in $(seq 200); do grep -q first-paint "$work/app.err" && break; sleep 0.05; done
painted=$(sed -n 's/^first-paint-epoch-ms //p' "$work/app.err" | head -1)
[ -n "$painted" ] || { echo "no first paint reported"; cat "$work/app.err"; exit 1; }

sleep 5  # connected (and the update dialog opened by the automation)
ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$idle"
after=$(ticks)
rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app/status")
# Connected: one open at the first tick, then only the tests of the instrument.
opens=$(grep -c "tj_" "$work/app.err" || true)
runs=$(grep -c "csInterface.Acquired" "$work/app.err" || true)
[ "$opens" -eq 1 ] && connected=yes || connected="NO ($opens job traces)"

awk -v c="$connected" -v runs="$runs" -v p="$platform" -v fp=$((painted - start)) -v d=$((after - before)) -v hz="$hz" -v s="$idle" -v rss="$rss_kb" 'BEGIN {
  cpu = 100 * d / hz / s
  printf "platform                 %s\n", p
  printf "connected                %s (%d runs of the connection thread)\n", c, runs
  printf "start to first paint     %d ms      (goal < 500 ms)   %s\n", fp, (fp < 500 ? "met" : "MISSED")
  printf "CPU idling, %d s         %.2f %% of a core (goal < 1 %%)  %s\n", s, cpu, (cpu < 1 ? "met" : "MISSED")
  printf "resident memory          %.1f MB    (goal < 80 MB)    %s\n", rss / 1024, (rss < 80 * 1024 ? "met" : "MISSED")
}'
