#!/usr/bin/env bash
# Pictures of the program's windows in English and German, taken under Xvfb:
# the main window connected, the update dialog in progress and finished, the
# Bluetooth dialog with devices, the choice between two USB instruments, the
# About box.
#   scripts/screenshots.sh [FOLDER]      (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
scripts/bootstrap.sh
scripts/build.sh build >/dev/null
export LD_LIBRARY_PATH="$PWD/build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export QT_QPA_PLATFORM=xcb
for lang in en de; do
  mkdir -p "$out/$lang"
  xvfb-run -a -s "-screen 0 1600x1200x24 -dpi 96" \
    build/bin/ck_update_screenshot_tour --lang "$lang" --out "$out/$lang"
done
echo "screenshots in $out"
