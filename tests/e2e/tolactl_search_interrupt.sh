#!/usr/bin/env bash
# A search for an instrument on a terminal says which port it tries and how
# long each may take, and Ctrl-C ends it at once (exit 130) instead of after
# the whole walk over USB and twenty serial ports.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" TOLA_MUTEX_NAME="CKP_InterfaceMutex.search.$$"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_RUNTIME_DIR="$work/run"
for n in $(seq 1 20); do export "TOLA_COM$n=$work/no-tty$n"; done

# script(1) gives tolactl a terminal; the typescript is what the user sees.
script -qfec "exec $bin/tolactl info --port auto" "$work/typescript" >/dev/null 2>&1 &
term=$!
for _ in $(seq 300); do grep -q "Ctrl-C ends the search" "$work/typescript" 2>/dev/null && break; sleep 0.1; done
grep -q "s: Testing .*(each port is tried for up to 5 s; Ctrl-C ends the search)" "$work/typescript"
kill -INT "$(pgrep -P "$term" -x tolactl)"
# The walk would take well over a minute; an interrupted search ends at once.
for _ in $(seq 600); do kill -0 "$term" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$term" 2>/dev/null; then echo "the search went on after Ctrl-C"; kill "$term"; exit 1; fi
grep -q 'COMMAND_EXIT_CODE="130"' "$work/typescript"
grep -q "tolactl: interrupted: no instrument connected" "$work/typescript"

# Standard error that is no terminal gets no progress lines.
TOLA_USB_DIR="$work/none" "$bin/tolactl" info --port usb 2>"$work/err" && exit 1
! grep -q "Ctrl-C" "$work/err"
echo "search progress and Ctrl-C: ok"
