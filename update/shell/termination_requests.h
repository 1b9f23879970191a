// A session logout (SIGTERM), a terminal that goes away (SIGHUP) and Ctrl-C
// (SIGINT) reach the program as close requests to its main window, in the
// window's own event loop: refused with the box that says why while an update
// runs, exactly like a click on the close button, and a normal close otherwise.
// An update cut off would leave the instrument in its boot loader.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace ckupdate {

class TTerminationRequests : public QObject {
    Q_OBJECT
public:
    // Routes the signals for the object's lifetime; the previous handlers
    // come back when it goes.
    explicit TTerminationRequests(QWidget& window);
    ~TTerminationRequests() override;
    TTerminationRequests(const TTerminationRequests&) = delete;
    TTerminationRequests& operator=(const TTerminationRequests&) = delete;

    // False when the signals could not be routed (they then end the program).
    bool Routed() const { return notifier_ != nullptr; }

private:
    void Arrived();

    QWidget& window_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ckupdate
