#include "update/widgets/layout_font.h"

namespace ckupdate {

QFont LayoutFont(const QString& family, int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(QStringList{family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace ckupdate
