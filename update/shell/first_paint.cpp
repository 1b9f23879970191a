#include "update/shell/first_paint.h"

#include <QDateTime>
#include <QEvent>
#include <QWidget>

#include <cstdio>

namespace ckupdate {
namespace {

class FirstPaintReporter final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            // After this paint has been handled the window is on the screen.
            watched->removeEventFilter(this);
            std::fprintf(stderr, "first-paint-epoch-ms %lld\n",
                         static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stderr);
            deleteLater();
        }
        return false;
    }
};

}  // namespace

void ReportFirstPaintIfAsked(QWidget& window) {
    if (qEnvironmentVariable("TOLA_REPORT_FIRST_PAINT") != QLatin1String("1")) return;
    window.installEventFilter(new FirstPaintReporter(&window));
}

}  // namespace ckupdate
