// The main window's part of an update (UpdateHost) straight from a
// TDeviceConnection: for tolactl, the tests and the benchmarks, which have no
// main window around the connection.
#pragma once

#include "update/device/device_connection.h"
#include "update/firmware/update_view.h"

namespace ckupdate {

class DeviceHost final : public UpdateHost {
public:
    explicit DeviceHost(TDeviceConnection& connection) : c_(connection) {}
    PXM_COMM& PortData() override { return c_.PortData(); }
    std::int32_t OpenDev() override { return c_.OpenDev(); }
    void CloseDev() override { c_.CloseDev(); }
    void SetUSBWatchIdle(bool idle) override { c_.SetUSBWatchIdle(idle); }
    InstrumentIdentity Identity() override { return c_.Identity(); }
    SearchLimit Limit() const override { return c_.Limit(); }
    void SetSearchLimit(const SearchLimit& limit) override { c_.SetSearchLimit(limit); }

private:
    TDeviceConnection& c_;
};

}  // namespace ckupdate
