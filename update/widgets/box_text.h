// The program's texts end their lines with "\n\r", as the instrument's and the
// original program's do; a box shows them with single line breaks.
#pragma once

#include <QString>

namespace ckupdate {

// The text as a box shows it: the "\n\r" and "\r\n" line ends (and lone
// carriage returns) become single line breaks, trailing ones are dropped.
QString BoxDisplayText(const QString& text);

}  // namespace ckupdate
