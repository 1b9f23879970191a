// Window geometry of the program's windows in the settings store, for widgets:
// the keys are the window's object name upper-cased ("frmDiscover" ->
// "FRMDISCOVER_W", ...), the desktop is the whole virtual desktop.
#pragma once

#include "update/config/settings_store.h"

class QWidget;

namespace ckupdate {

// The virtual desktop over all screens (the primary screen's virtual geometry).
WindowRect VirtualDesktop();

// Left and top are the frame's position (QWidget::pos), width and height the
// client area's size, on both ways.
//
// Reads the stored geometry of the window (size only when withSize; otherwise
// its current size is kept) and applies it: left and top clamped to the desktop,
// centred when none is stored.  Call it before the window is first shown (in
// the constructor, or in setVisible before the base class): once the native
// window exists but was never mapped, its frame is unknown, and the position
// would land on the client area, one title bar below the stored place.
void RestoreWindowPos(QWidget& window, bool withSize);

// Stores the window's width, height, left and top.
void SaveWindowPos(const QWidget& window);

}  // namespace ckupdate
