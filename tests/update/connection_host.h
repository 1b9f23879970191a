// The main window's part of an update for tests: its connection's record,
// OpenDev, CloseDev and the watch-idle switch, straight from a TDeviceConnection.
#pragma once

#include "update/device/device_connection.h"
#include "update/firmware/update_view.h"

namespace ckupdate::testing {

class ConnectionHost final : public UpdateHost {
public:
    explicit ConnectionHost(TDeviceConnection& c) : c_(c) {}
    PXM_COMM& PortData() override { return c_.PortData(); }
    std::int32_t OpenDev() override { return c_.OpenDev(); }
    void CloseDev() override { c_.CloseDev(); }
    void SetUSBWatchIdle(bool idle) override { c_.SetUSBWatchIdle(idle); }

private:
    TDeviceConnection& c_;
};

}  // namespace ckupdate::testing
