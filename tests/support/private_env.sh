#!/usr/bin/env bash
# Runs one test in an environment of its own: its own USB and Bluetooth folders,
# runtime, data and configuration folders, and interface mutex name. Whatever
# runs in the user's session (a virtual instrument at the default folders, the
# program with its settings) is then invisible to the test, and tests running
# side by side never meet. A test that must choose one of these itself names it
# in TOLA_TEST_OWN_ENV (space separated) and sets it in its ENVIRONMENT.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/tola-test.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/run" "$dir/data" "$dir/config"
chmod 700 "$dir/run"

own=" ${TOLA_TEST_OWN_ENV:-} "
private() {
  case "$own" in *" $1 "*) return ;; esac
  export "$1=$2"
}
private XDG_RUNTIME_DIR "$dir/run"
private TOLA_USB_DIR "$dir/run/tola/usb"
private TOLA_BT_DIR "$dir/run/tola/bt"
private XDG_DATA_HOME "$dir/data"
private XDG_CONFIG_HOME "$dir/config"
private TOLA_MUTEX_NAME "CKP_InterfaceMutex.test.${dir##*.}"
# Serial ports named in the session lead to the session's devices.
for n in $(seq 1 20); do
  case "$own" in *" TOLA_COM$n "*) ;; *) unset "TOLA_COM$n" ;; esac
done
unset TOLA_TEST_OWN_ENV

"$@"
status=$?
# A process that died without closing its mutex leaves the shared-memory object behind.
rm -f "/dev/shm/${TOLA_MUTEX_NAME}.$(id -u)" 2>/dev/null
exit $status
