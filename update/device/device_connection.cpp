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
           c.snVersion[0] == '\0';
}

TDeviceConnection::TDeviceConnection(CommApi api, ConnectionObserver* observer) : api_(api), observer_(observer) {
    port_data_.dSize = sizeof(PXM_COMM);
    port_data_.iPort = kPortUsb;
}

// The identity texts of an earlier answer are cleared before every open, so
// that what the record holds afterwards is what this open found.
void TDeviceConnection::ApplySearchLimit() {
    std::memset(port_data_.snVersion, 0, sizeof port_data_.snVersion);
    std::memset(port_data_.snInterface, 0, sizeof port_data_.snInterface);
    std::memset(port_data_.snSerial_number, 0, sizeof port_data_.snSerial_number);
    if (!limit_.Active()) return;
    port_data_.tStatus = TOLA_STATUS_PINNED;
    const QByteArray serial = limit_.serial.toLatin1().left(sizeof(TNAME) - 1);
    std::memcpy(port_data_.snSerial_number, serial.constData(), static_cast<std::size_t>(serial.size()));
    if (port_data_.iPort == kPortUsb) {
        std::memset(port_data_.snRS232, 0, sizeof port_data_.snRS232);
        const QByteArray socket = limit_.socket.toLatin1().left(sizeof(TNAME) - 1);
        std::memcpy(port_data_.snRS232, socket.constData(), static_cast<std::size_t>(socket.size()));
    }
}

std::int32_t TDeviceConnection::OpenDev() {
    CursorGuard cursor(observer_);
    port_data_.dSize = sizeof(PXM_COMM);
    port_data_.tStatus = 0;
    ApplySearchLimit();
    const std::int32_t r = api_.CKPcomm_poll_initialize(&port_data_);
    socket_ = limit_.Active() && port_data_.iPort == kPortUsb ? RecordText(port_data_.snRS232) : QString();
    if (r == 3 && port_data_.iPort == kPortUsb && BootLoaderOnly(port_data_)) {
        // Only the boot loader answers: the link stays open and is tested like
        // a connected instrument's, so that an update can complete it.
        dev_info_ = TDeviceInfo{};
        dev_info_.BootLoader = true;
        if (observer_) {
            observer_->ShowConnected();
            observer_->EnableConnectMenus();
        }
        SetJobsKeepingWatchIdle(job::kTest);
        return r;
    }
    dev_info_.BootLoader = false;
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

InstrumentIdentity TDeviceConnection::Identity() const {
    InstrumentIdentity id;
    id.serial = RecordText(port_data_.snSerial_number);
    id.iDevice = port_data_.iDevice;
    id.deviceCode = dev_info_.Device;
    id.cpuType = dev_info_.CpuType;
    id.socket = socket_;
    if (port_data_.iPort == kPortBluetooth) id.btAddress = bt_address_;
    return id;
}

void TDeviceConnection::SelectBluetoothDevice(const BT_DEVICE& device) {
    BT_DEVICE copy = device;
    api_.CK_comm_BtSetDevice(&copy);
    bt_address_ = QString::fromLatin1(device.snBtAddress, static_cast<qsizetype>(::strnlen(device.snBtAddress,
                                                                                               sizeof device.snBtAddress)));
}

void TDeviceConnection::CloseDev() {
    dev_info_.Device = 0;
    dev_info_.CpuType = 0;
    dev_info_.BootLoader = false;
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
