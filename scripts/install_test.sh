#!/usr/bin/env bash
# The packages on a machine that never saw this source tree.
#   scripts/install_test.sh [--no-build] [--no-chroot]
# 1. builds the packages (scripts/package.sh) unless --no-build;
# 2. with debootstrap (apt: debootstrap), root and the Debian mirror reachable:
#    makes a fresh Debian 12 root, installs the packages there with
#    "apt-get install ./*.deb" (their dependencies come from the mirror) and
#    runs the checks inside it;
# 3. otherwise: lists every package (dpkg-deb --contents), lets apt resolve
#    their dependencies on this machine (apt-get install --simulate), unpacks
#    them into a temporary root (dpkg -x) and runs the checks from there.
# The checks: the udev rule and the systemd user unit where udev and systemd
# read them, tolactl version, tolactl doctor --json (one object per line,
# non-zero without an instrument, naming the fix; in the fresh root it must
# find the rule and the unit), Tola_CK_Update --version, the man page, the API
# reference of libtola-comm-dev, and the consumer program built with
# find_package and pkg-config against the installed files, run against the
# virtual instrument, with the examples of the API reference.  In the fresh
# root (with udev installed but not running, as in any chroot) the maintainer
# scripts must not fail, and purging tola-tools takes the rule and unit away.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=1 chroot_wanted=1
for arg in "$@"; do
  case $arg in
    --no-build) build=0 ;;
    --no-chroot) chroot_wanted=0 ;;
    *) echo "usage: $0 [--no-build] [--no-chroot]" >&2; exit 2 ;;
  esac
done
[ "$build" -eq 0 ] || "$top/scripts/package.sh" >/dev/null
debs=("$top"/build-package/*.deb)
[ -e "${debs[0]}" ] || { echo "no packages in build-package/ (run scripts/package.sh)"; exit 1; }
work=$(mktemp -d)
cleanup() {
  if [ -n "${root:-}" ] && mountpoint -q "$root/proc" 2>/dev/null; then umount "$root/proc"; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The checks, run with the installed files at PREFIX_ROOT ("" inside a chroot).
checks='
set -euo pipefail
r=${PREFIX_ROOT:-}
export HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d) TOLA_MUTEX_NAME=CKP_InterfaceMutex.install.$$
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$HOME/no-bus
unset LD_LIBRARY_PATH
rule=/usr/lib/udev/rules.d/70-tola-usb.rules unit=/usr/lib/systemd/user/tola-usbd.service
for f in "$rule" "$unit"; do [ -f "$r$f" ] || { echo "$f is not installed"; exit 1; }; done
"$r/usr/bin/tolactl" version | grep "^TOLA_comm 1\.0\.12017"
set +e; "$r/usr/bin/tolactl" doctor --json >"$HOME/doctor.json" 2>/dev/null; status=$?; set -e
cat "$HOME/doctor.json"
[ "$status" -ne 0 ] || { echo "doctor must fail without an instrument"; exit 1; }
grep -q "\"check\":\"instrument-path\",\"status\":\"problem\",\"blocks\":true,.*\"fix\":\"connect the instrument" "$HOME/doctor.json"
if [ -z "$r" ]; then
  grep -q "\"check\":\"udev-rule\",\"status\":\"ok\",.*\"text\":\"udev rule $rule\"" "$HOME/doctor.json"
  grep -q "\"check\":\"user-unit\",\"status\":\"ok\",.*\"text\":\"systemd user unit $unit\"" "$HOME/doctor.json"
fi
QT_QPA_PLATFORM=offscreen "$r/usr/bin/Tola_CK_Update" --version | grep "^Tola_CK_Update 1\.0\.12017"
MANPAGER=cat MANWIDTH=80 man -l "$r/usr/share/man/man1/tolactl.1.gz" 2>/dev/null | grep "tolactl doctor" >/dev/null
grep -q "bTOLA_comm_poll_measurements_ex" "$r/usr/share/doc/libtola-comm-dev/html/index.html"
python3 -c "import sys; sys.path.insert(0, \"$r/usr/lib/python3/dist-packages\"); import tola; print(\"python3-tola imports\")"
'

if [ "$chroot_wanted" -eq 1 ] && command -v debootstrap >/dev/null && [ "$(id -u)" -eq 0 ]; then
  root="$work/debian12"
  echo "install_test: making a fresh Debian 12 root (debootstrap, minbase)"
  if debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1; then
    mkdir -p "$root/tmp/debs" "$root/tmp/src"
    cp "${debs[@]}" "$root/tmp/debs/"
    cp -r "$top/tests/consumer" "$top/tests/e2e/consumer_build.sh" "$top/docs/api" "$root/tmp/src/"
    mount -t proc proc "$root/proc"
    chroot "$root" /bin/bash -euo pipefail -c '
      export DEBIAN_FRONTEND=noninteractive
      apt-get update -qq
      apt-get install -y -qq --no-install-recommends /tmp/debs/*.deb man-db python3 udev >/dev/null
      dpkg -l "libtola-comm1" "libtola-comm-dev" "tola-tools" "tola-ck-update" "chromatik-sim" "python3-tola" | tail -6
      apt-get install -y -qq --no-install-recommends cmake ninja-build gcc libc6-dev pkg-config binutils >/dev/null'
    chroot "$root" /bin/bash -c "$checks"
    # The consumer against the system's own installation (root "/").
    chroot "$root" /bin/bash -euo pipefail -c '
      mkdir -p /tmp/src/tests/e2e /tmp/src/docs && mv /tmp/src/consumer /tmp/src/tests/ && mv /tmp/src/consumer_build.sh /tmp/src/tests/e2e/
      mv /tmp/src/api /tmp/src/docs/
      export HOME=/tmp XDG_RUNTIME_DIR=$(mktemp -d)
      /tmp/src/tests/e2e/consumer_build.sh /nonexistent /tmp/src /'
    chroot "$root" /bin/bash -euo pipefail -c '
      DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tola-tools >/dev/null
      for f in /usr/lib/udev/rules.d/70-tola-usb.rules /usr/lib/systemd/user/tola-usbd.service; do
        [ ! -e "$f" ] || { echo "$f is still there after purging tola-tools"; exit 1; }
      done'
    echo "install_test: the packages install and work in a fresh Debian 12 root"
    exit 0
  fi
  echo "install_test: debootstrap failed (no mirror?), checking the packages without a fresh root:"
  tail -3 "$work/debootstrap.log"
  root=
fi

for deb in "${debs[@]}"; do
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Depends
  dpkg-deb --contents "$deb" | awk '{print "   " $6 ($7 ? " " $7 " " $8 : "")}'
done
if [ "$(id -u)" -eq 0 ]; then
  apt-get install --simulate "${debs[@]}" >"$work/simulate.log" 2>&1 ||
    { cat "$work/simulate.log"; echo "install_test: apt cannot resolve the packages' dependencies"; exit 1; }
fi
unpacked="$work/root"
for deb in "${debs[@]}"; do dpkg -x "$deb" "$unpacked"; done
PREFIX_ROOT="$unpacked" bash -c "$checks"
"$top/tests/e2e/consumer_build.sh" /nonexistent "$top" "$unpacked"
echo "install_test: the packages unpack and work from a temporary root"
