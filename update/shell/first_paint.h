// Reports the moment the main window is painted for the first time, for the
// program's start-up benchmark: with TOLA_REPORT_FIRST_PAINT=1 the program
// writes "first-paint-epoch-ms N" (wall-clock milliseconds) to standard error.
#pragma once

class QWidget;

namespace ckupdate {

void ReportFirstPaintIfAsked(QWidget& window);

}  // namespace ckupdate
