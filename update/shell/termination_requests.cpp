#include "update/shell/termination_requests.h"

#include "platform/termination_signals.h"
#include "update/shell/shell_trace.h"

#include <QSocketNotifier>
#include <QWidget>

#include <string>

namespace ckupdate {

TTerminationRequests::TTerminationRequests(QWidget& window) : QObject(&window), window_(window) {
    std::string error;
    const int fd = tola::os::route_termination_signals(error);
    if (fd < 0) {
        MainTrace("TTerminationRequests: signals not routed: " + error);
        return;
    }
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TTerminationRequests::Arrived);
}

TTerminationRequests::~TTerminationRequests() {
    if (notifier_ == nullptr) return;
    notifier_->setEnabled(false);
    tola::os::restore_termination_signals();
}

// Several signals at once are one request: the window either closes or says
// once why it does not.
void TTerminationRequests::Arrived() {
    const std::vector<int> arrived = tola::os::take_termination_signals();
    if (arrived.empty()) return;
    for (int s : arrived) MainTrace("TfrmMain: close requested (signal " + std::to_string(s) + ")");
    window_.close();
}

}  // namespace ckupdate
