#include "update/device/device_connection.h"

#include <cstring>
#include <exception>

namespace ckupdate {
namespace {

constexpr std::uint32_t kQueryCommand = 0x80000000u;
constexpr std::uint32_t kQueryDeviceType = 21;

struct CursorGuard {
    ConnectionObserver* observer;
    explicit CursorGuard(ConnectionObserver* o) : observer(o) {
        if (observer) observer->SetBusyCursor(true);
    }
    ~CursorGuard() {
        if (observer) observer->SetBusyCursor(false);
    }
};

}  // namespace

DeviceKind DeviceKindFor(std::uint32_t code) {
    switch (code) {
        case 1234: return {"Chromatik\xAE Superna", 1};
        case 3234: return {"Chromatik\xAE Superna", 2};
        case 4324: return {"Chromatik\xAE Portivo", 2};
        case 5324: return {"Chromatik\xAE V", 3};
        default: return {"Chromatik\xAE Portivo", 1};
    }
}

bool BootLoaderOnly(const PXM_COMM& c) {
    return (c.tStatus & TOLA_STATUS_INTERFACED) != 0 && (c.tStatus & TOLA_STATUS_WRONG_DEVICE) != 0 &&
           c.snVersion[0] == '\0' && c.snSerial_number[0] == '\0';
}

TDeviceConnection::TDeviceConnection(CommApi api, ConnectionObserver* observer) : api_(api), observer_(observer) {
    port_data_.dSize = sizeof(PXM_COMM);
    port_data_.iPort = kPortUsb;
}

std::int32_t TDeviceConnection::OpenDev() {
    CursorGuard cursor(observer_);
    port_data_.dSize = sizeof(PXM_COMM);
    port_data_.tStatus = 0;
    const std::int32_t r = api_.CKPcomm_poll_initialize(&port_data_);
    if (r != 1) {
        if (r == 2 || r == 4) SetJobsKeepingWatchIdle(job::kWatchOpen);
        else if (r == 3 && port_data_.iPort == kPortBluetooth) SetJobsKeepingWatchIdle(job::kDisconnect);
        else SetJobsKeepingWatchIdle(job::kReconnect);
        return r;
    }
    AskDeviceType();
    api_.CKPcomm_poll_set_details(kPollDetails);
    dev_info_.FirmwareVersion = QString::fromLatin1(port_data_.snVersion, static_cast<qsizetype>(
                                                                              ::strnlen(port_data_.snVersion, sizeof(TNAME))));
    dev_info_.Serial = QString::fromLatin1(port_data_.snSerial_number, static_cast<qsizetype>(::strnlen(
                                                                           port_data_.snSerial_number, sizeof(TNAME))));
    if (observer_) {
        observer_->ShowConnected();
        observer_->EnableConnectMenus();
    }
    SetJobsKeepingWatchIdle(job::kTest);
    return 1;
}

// The update engine opens the instrument itself after the restart while the
// connection thread must stay away: a job value set by an open never clears the
// watch-idle bit that the update set.
void TDeviceConnection::SetJobsKeepingWatchIdle(std::uint8_t flags) {
    std::uint8_t current = jobs_.load();
    while (!jobs_.compare_exchange_weak(current, static_cast<std::uint8_t>(flags | (current & job::kWatchIdle)))) {
    }
}

void TDeviceConnection::AskDeviceType() {
    try {
        COMM_USB_HOST host{};
        host.qdWord[0] = kQueryCommand;
        host.qdWord[1] = kQueryDeviceType;
        host.qdWord[14] = kDeviceTypeQueryWaitMs;
        const bool ok = api_.CKPcomm_send_command(&host);
        dev_info_.Device = host.qdWord[3];
        if (ok) {
            const DeviceKind kind = DeviceKindFor(dev_info_.Device);
            std::memset(port_data_.snDevice, 0, sizeof port_data_.snDevice);
            std::strncpy(port_data_.snDevice, kind.name, sizeof port_data_.snDevice - 1);
            dev_info_.CpuType = kind.cpuType;
        } else {
            dev_info_.CpuType = 0;
        }
    } catch (const std::exception&) {
        dev_info_.CpuType = 0;
    }
}

void TDeviceConnection::CloseDev() {
    dev_info_.Device = 0;
    dev_info_.CpuType = 0;
    const std::uint32_t port = port_data_.iPort;
    api_.CKPcomm_close();
    port_data_.iPort = port;
    if (observer_) {
        observer_->ShowDisconnected();
        observer_->EnableConnectMenus();
    }
}

void TDeviceConnection::SetUSBWatchIdle(bool idle) {
    if (idle) jobs_.fetch_or(job::kWatchIdle);
    else jobs_.fetch_and(static_cast<std::uint8_t>(~job::kWatchIdle));
}

}  // namespace ckupdate
