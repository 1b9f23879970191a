#!/usr/bin/env bash
# Runs a test program on an X server with a window manager, as on a desktop:
# Xvfb with openbox, where frames come from the manager some time after a
# window is mapped (the offscreen platform has frames of its own, placed at
# once).  Exit 77 (skipped) when Xvfb or openbox is missing.
#   tests/windows/under_window_manager.sh PROGRAM [ARGS...]
set -euo pipefail
for tool in xvfb-run openbox xprop; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  # The manager is up once it names itself on the root window.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  status=0
  QT_QPA_PLATFORM=xcb "$@" || status=$?
  kill "$wm" 2>/dev/null || true
  exit "$status"' bash "$@"
