// The pictures of the About box, drawn by the program itself: the maker's logo
// and a picture of the instrument with a row of shade tabs.
#pragma once

#include <QPixmap>
#include <QString>

namespace ckupdate {

inline constexpr const char* kMakerCompanyName = "Veltrona Dental Instruments";

// 88 x 37 pixels.
QPixmap MakerLogo();
// 425 x 374 pixels.
QPixmap ProductPicture();

}  // namespace ckupdate
