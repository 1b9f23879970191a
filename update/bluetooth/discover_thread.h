// The Bluetooth search on a worker thread, so that the dialog stays responsive
// while the library searches (which takes seconds).
#pragma once

#include "update/binding/comm_api.h"

#include <QThread>

#include <memory>

namespace ckupdate {

class TDiscoverThread : public QThread {
    Q_OBJECT
public:
    explicit TDiscoverThread(CommApi api, QObject* parent = nullptr);

    // The search result; read it only after Discovered was delivered (or the
    // thread has finished).
    const BT_DEVICES& Devices() const { return *devices_; }

signals:
    // Emitted from the worker when the search has ended: success is true when
    // the library call returned non-zero (a missing library or entry point
    // counts as a failure).  Connect it queued to reach the dialog's thread.
    void Discovered(bool success);

protected:
    void run() override;

private:
    CommApi api_;
    std::unique_ptr<BT_DEVICES> devices_;
};

}  // namespace ckupdate
