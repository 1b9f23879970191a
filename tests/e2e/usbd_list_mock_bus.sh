#!/usr/bin/env bash
# tola-usbd --list over libusb on a mock USB bus (umockdev-run shows it the
# devices described in the files): instruments are listed with their port,
# identifiers and socket, other devices are not; a bus without instruments says so.
set -euo pipefail
bin=$1
descriptions=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# umockdev-run preloads its library ahead of everything; a sanitizer build's
# runtime is told that this is intended.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

list=$(umockdev-run -d "$descriptions/instruments.umockdev" -- "$bin/tola-usbd" --list --usb-dir "$work/usb")
echo "$list"
class="$work/usb/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}"
grep -Eq '^usb-1-4 +e1a7:5062 release 0231' <<<"$list"
grep -Fq "socket $class/usb-1-4" <<<"$list"
grep -Eq '^usb-1-2\.3 +045b:0025 release 0100' <<<"$list"
grep -Fq "socket $class/usb-1-2.3" <<<"$list"
if grep -q '046d' <<<"$list"; then echo "a keyboard was listed as an instrument"; exit 1; fi
# The hub in front of the boot-mode instrument is of the same vendor: a hub is never served.
if grep -q '^usb-1-2 ' <<<"$list"; then echo "a hub was listed as an instrument"; exit 1; fi
# With every product of that vendor configured, the hub is still not served.
printf '[045b:*]\n' >"$work/usbd.conf"
configured=$(umockdev-run -d "$descriptions/instruments.umockdev" -- "$bin/tola-usbd" --list --config "$work/usbd.conf" --usb-dir "$work/usb")
grep -Eq '^usb-1-2\.3 +045b:0025' <<<"$configured"
if grep -q '^usb-1-2 ' <<<"$configured"; then echo "a configured vendor-wide entry served a hub"; exit 1; fi
if grep -q 'not usable' <<<"$list"; then echo "the mock devices could not be opened"; exit 1; fi

none=$(umockdev-run -d "$descriptions/no_instrument.umockdev" -- "$bin/tola-usbd" --list --usb-dir "$work/usb")
echo "$none"
[ "$none" = "No instrument found." ]
echo "tola-usbd --list on a mock bus: ok"
