#include "update/bluetooth/discover_thread.h"

namespace ckupdate {

TDiscoverThread::TDiscoverThread(CommApi api, QObject* parent)
    : QThread(parent), api_(api), devices_(std::make_unique<BT_DEVICES>()) {}

void TDiscoverThread::run() {
    *devices_ = BT_DEVICES{};
    // The wrapper answers false when the library or its entry point is missing.
    const bool success = api_.CK_comm_BtDiscovery(devices_.get());
    emit Discovered(success);
}

}  // namespace ckupdate
