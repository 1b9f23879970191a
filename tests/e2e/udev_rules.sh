#!/usr/bin/env bash
# The udev rule passes `udevadm verify` where udev has it, else the syntax
# check; the check itself refuses a broken rule.
set -euo pipefail
rules=$1
checker=$(dirname "$0")/../support/check_udev_rules.py
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules"
else
  "$python" "$checker" "$rules"
fi
bad=$(mktemp)
trap 'rm -f "$bad"' EXIT
sed 's/TAG+="uaccess"/TAG+=uaccess/' "$rules" >"$bad"
if "$python" "$checker" "$bad" >/dev/null; then echo "the syntax check let a broken rule pass"; exit 1; fi
printf 'SUBSYSTEM=="usb", GOTO="nowhere"\n' >"$bad"
if "$python" "$checker" "$bad" >/dev/null; then echo "the syntax check let a dangling GOTO pass"; exit 1; fi
echo "udev rule: ok"
