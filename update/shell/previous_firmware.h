// Extras > "Previous firmware...": the connected instrument's firmware backups
// by date and release; the chosen one is checked against its checksum.
#pragma once

#include <QString>

class QWidget;

namespace ckupdate {

// The checked copy chosen for the instrument, or "" when there is none, the
// choice was cancelled or the copy was refused (the reason shown in a box).
QString ChoosePreviousFirmware(QWidget* parent, const QString& serial);

}  // namespace ckupdate
