// The main window's part of an update for tests: straight from a TDeviceConnection.
#pragma once

#include "update/firmware/device_host.h"

namespace ckupdate::testing {

using ConnectionHost = DeviceHost;

}  // namespace ckupdate::testing
