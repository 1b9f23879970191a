// A font that the window layouts name (Arial, MS Sans Serif), asked for with the
// sans-serif families of a Linux desktop behind it, so that a system without the
// named font shows metric-compatible text rather than the desktop's default.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace ckupdate {

QFont LayoutFont(const QString& family, int pixelSize, bool bold = false);

}  // namespace ckupdate
