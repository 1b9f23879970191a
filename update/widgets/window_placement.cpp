#include "update/widgets/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ckupdate {

WindowRect VirtualDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    const QRect r = screen->virtualGeometry();
    return {r.left(), r.top(), r.width(), r.height()};
}

void RestoreWindowPos(QWidget& window, bool withSize) {
    const WindowRect current{window.x(), window.y(), window.width(), window.height()};
    const WindowRect placed = RestoreWindowPos(window.objectName(), current, VirtualDesktop(), withSize);
    if (withSize) window.resize(placed.width, placed.height);
    window.move(placed.left, placed.top);
}

void SaveWindowPos(const QWidget& window) {
    SaveWindowPos(window.objectName(), {window.x(), window.y(), window.width(), window.height()});
}

}  // namespace ckupdate
