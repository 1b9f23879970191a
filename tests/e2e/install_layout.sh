#!/usr/bin/env bash
# The installed tree works away from the build tree: tolactl finds the library
# through its run path, the program loads the installed library (not one of the
# build tree) and its licence texts are in the data folder.  Installed with the
# prefix /usr, the udev rule and the systemd user unit land where udev and
# systemd read them, not in the multiarch library folder, and the Debian package
# tola-tools carries both.
#   install_layout.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/root" cmake --install "$build" >/dev/null
bin=$(dirname "$(find "$work/root" -path '*/bin/tolactl' | head -1)")
[ -x "$bin/Tola_CK_Update" ]
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export TOLA_USB_DIR="$work/no-usb" TOLA_BT_DIR="$work/no-bt" QT_QPA_PLATFORM=offscreen
unset LD_LIBRARY_PATH

cd "$work"
"$bin/tolactl" version | grep -q "^TOLA_comm "

# The program runs until it is stopped; two seconds are enough for the loader.
LD_DEBUG=files timeout 2 "$bin/Tola_CK_Update" -cFW_Select >"$work/loader.out" 2>&1 || true
# By its SONAME: the plain name is the development link, which may one day
# name another major version.
grep -E "file=$work/root/.*/libTOLA_comm\.so\.1 .*dynamically loaded by " "$work/loader.out" >/dev/null || {
  echo "the program did not load the installed library by its SONAME:"; grep -E "TOLA_comm|DLL" "$work/loader.out" | head
  exit 1; }

ls "$bin"/../share/tola-ck-update/EULA-EN.rtf "$bin"/../share/tola-ck-update/EULA-GE.rtf >/dev/null
# ("! ls" would never stop the script: set -e ignores a negated command.)
if ls "$bin"/EULA-* >/dev/null 2>&1; then echo "licence texts beside the installed program"; exit 1; fi

# The library folder that GNUInstallDirs names depends on the prefix given when
# the tree is configured (multiarch only for /usr): a tree configured for /usr.
cmake -S "$source" -B "$work/usr-build" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DTOLA_BUILD_BENCH=OFF >/dev/null
DESTDIR="$work/usr-root" cmake --install "$work/usr-build" --component usb-system >/dev/null
for f in lib/udev/rules.d/70-tola-usb.rules lib/systemd/user/tola-usbd.service; do
  [ -f "$work/usr-root/usr/$f" ] || { echo "with prefix /usr, $f is not installed:"; (cd "$work/usr-root" && find . -name "${f##*/}"); exit 1; }
done

# What each Debian package holds: every component CPack packs, installed as
# CPack stages it (prefix /usr) into a folder named after its package (its
# component group, else itself).  A component left out of CPACK_COMPONENTS_ALL
# is in no package.
cat >"$work/packages.cmake" <<'END'
include(${config})
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${component}")
  if(CPACK_COMPONENT_${upper}_GROUP)
    set(package "${CPACK_COMPONENT_${upper}_GROUP}")
  endif()
  message("${component} ${package}")
endforeach()
END
cmake -Dconfig="$build/CPackConfig.cmake" -P "$work/packages.cmake" 2>"$work/packages.txt"
while read -r component package; do
  DESTDIR="$work/packages/$package" cmake --install "$build" --prefix /usr --component "$component" >/dev/null
done <"$work/packages.txt"
for f in usr/lib/udev/rules.d/70-tola-usb.rules usr/lib/systemd/user/tola-usbd.service usr/bin/tola-usbd; do
  [ -f "$work/packages/tola-tools/$f" ] || {
    echo "the package tola-tools does not carry /$f; the packages that do:"
    (cd "$work/packages" && find . -name "${f##*/}"); exit 1; }
done

# The unit as systemd reads it (its program at the staged path).
if command -v systemd-analyze >/dev/null; then
  unit=$(find "$work/root" -name tola-usbd.service | head -1)
  sed "s|^ExecStart=/|ExecStart=$work/root/|" "$unit" >"$work/tola-usbd.service"
  systemd-analyze verify --man=no "$work/tola-usbd.service"
fi
echo "installed layout: ok"
