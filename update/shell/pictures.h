// The program's own pictures, drawn at run time so that they stay sharp at any
// scale: the three traffic-light pictures of the update steps (wait, go,
// stop), the picture on the update button and the window icon (the same
// drawing as data/desktop/tola-ck-update.svg).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ckupdate {

enum class StepPicture { Wait, Go, Stop };

QPixmap DrawStepPicture(StepPicture picture, int size);
QPixmap DrawUpdateButtonPicture(int size);
QIcon ProgramIcon();

}  // namespace ckupdate
