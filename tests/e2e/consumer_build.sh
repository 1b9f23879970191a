#!/usr/bin/env bash
# Another program builds against an installed tree, once with the CMake package
# (find_package(TolaComm), Tola::comm) and once with pkg-config (tola-comm),
# and both reach a virtual instrument through the installed library; so do the
# examples of the API reference's getting-started page (docs/api), in C and Python.
#   consumer_build.sh BUILD_DIR SOURCE_DIR [INSTALLED_ROOT]
# Without INSTALLED_ROOT the build tree is installed into a temporary DESTDIR.
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
if [ $# -ge 3 ]; then
  root=${3%/}
else
  root="$work/root"
  DESTDIR="$root" cmake --install "$build" >/dev/null
fi
pc=$(dirname "$(find "$root/usr" -name tola-comm.pc | head -1)")
config=$(dirname "$(find "$root/usr" -name TolaCommConfig.cmake | head -1)")
[ -f "$pc/tola-comm.pc" ] && [ -f "$config/TolaCommConfig.cmake" ]
unset LD_LIBRARY_PATH
# The installed library: versioned file, SONAME link, development link.
lib=$(dirname "$pc")
objdump -p "$lib/libTOLA_comm.so.1.0.12017" | grep "SONAME *libTOLA_comm\.so\.1$" >/dev/null
[ "$(readlink "$lib/libTOLA_comm.so.1")" = libTOLA_comm.so.1.0.12017 ]
[ "$(readlink -f "$lib/libTOLA_comm.so")" = "$(readlink -f "$lib/libTOLA_comm.so.1.0.12017")" ]

cmake -S "$src/tests/consumer" -B "$work/with-cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$config" >/dev/null
cmake --build "$work/with-cmake" >/dev/null

# pkg-config's own flags only: the run path is the consumer's choice.
read -r -a flags <<<"$(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs tola-comm)"
libdir=$(PKG_CONFIG_PATH="$pc" pkg-config --variable=libdir tola-comm)
cc -std=c11 -o "$work/with-pkg-config" "$src/tests/consumer/consumer.c" "${flags[@]}" -Wl,-rpath,"$libdir"

# Both link the SONAME, and find the installed library.
for program in "$work/with-cmake/tola_consumer" "$work/with-pkg-config"; do
  objdump -p "$program" | grep "NEEDED *libTOLA_comm.so.1$" >/dev/null
  ldd "$program" | grep "libTOLA_comm.so.1 => $root/" >/dev/null
done

export TOLA_USB_DIR="$work/usb" TOLA_BT_DIR="$work/bt" TOLA_MUTEX_NAME="CKP_InterfaceMutex.consumer.$$"
sim_bin=$(ls "$root"/usr/bin/chromatik-sim "$root"/usr/local/bin/chromatik-sim "$build/bin/chromatik-sim" 2>/dev/null | head -1 || true)
"$sim_bin" --usb-dir "$TOLA_USB_DIR" --bt-dir "$TOLA_BT_DIR" --state-file "$work/state.json" \
  --control "$work/control" --kind 4 --serial H57777 --firmware 511vLE >/dev/null &
sim=$!
for _ in $(seq 600); do [ -s "$work/state.json" ] && break; sleep 0.05; done

for program in "$work/with-cmake/tola_consumer" "$work/with-pkg-config"; do
  out=$("$program")
  echo "$out"
  grep -q "^TOLA_comm 1\.0\.12017" <<<"$out"
  grep -q "^serial H57777 firmware 511vLE$" <<<"$out"
done

# The getting-started example of the API reference, in C and in Python: built and
# run as its page says (pkg-config; the installed Python package), it connects,
# reads the version block, takes a measurement and closes.
cc -std=c11 -Wall -Wextra -Wpedantic -Werror -o "$work/api-example" "$src/docs/api/example.c" "${flags[@]}" \
  -Wl,-rpath,"$libdir"
out=$("$work/api-example")
echo "$out"
grep -q " - USB, serial H57777, firmware 511vLE$" <<<"$out"
grep -q ", release 511vLE, interface CK0A\.00\.31\.00$" <<<"$out"
grep -q "^measurement: Tooth (kind 0x1000), shade " <<<"$out"
python_dir=$(dirname "$(find "$root/usr" -path '*/dist-packages/tola/__init__.py' | head -1)")
out=$(PYTHONPATH="$(dirname "$python_dir")" TOLA_COMM_LIBRARY="$lib/libTOLA_comm.so.1" python3 "$src/docs/api/example.py")
echo "$out"
grep -q " - USB, serial H57777, firmware 511vLE$" <<<"$out"
grep -q ", release 511vLE, interface CK0A\.00\.31\.00$" <<<"$out"
grep -q "^measurement: Tab (tab), shade " <<<"$out"
echo "consumer builds: ok"
