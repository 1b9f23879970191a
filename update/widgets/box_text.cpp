#include "update/widgets/box_text.h"

namespace ckupdate {

QString BoxDisplayText(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (t.endsWith(QLatin1Char('\n'))) t.chop(1);
    return t;
}

}  // namespace ckupdate
