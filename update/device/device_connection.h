// Opening and closing the instrument for the program (OpenDev, CloseDev of the
// main window), the device-type table and the job flags that the connection
// thread works on.  Needs no widgets: the main window observes it, tolactl uses
// it directly.
//
// OpenDev and CloseDev call the library and must not run on two threads at once
// (the program keeps them apart with its interface section and the watch-idle
// bit).  The job flags are atomic and may be read and written from any thread.
#pragma once

#include "update/binding/comm_api.h"
#include "update/device/instrument_identity.h"

#include <QString>

#include <atomic>
#include <cstdint>

namespace ckupdate {

// The instrument's identity as the update needs it.
struct TDeviceInfo {
    std::uint32_t Device = 0;   // device type code: 1234, 3234, 4324, 5324
    std::uint32_t CpuType = 0;  // 0 when the instrument did not tell, else 1, 2, 3 (only 3 may be updated)
    QString FirmwareVersion;    // release text, such as "511vLE"
    QString Serial;             // serial number, as the instrument reports it (empty when unknown)
    // The instrument answers only as its boot loader (an update was interrupted
    // while programming): over USB it is kept connected so that an update can
    // complete it.
    bool BootLoader = false;
};

namespace job {
inline constexpr std::uint8_t kTest = 0x01, kWatchOpen = 0x02, kReconnect = 0x04, kDisconnect = 0x08,
                              kInitialConnect = 0x10, kWatchIdle = 0x20, kCloseAndReconnect = 0x40,
                              kChooseInstrument = 0x80;
}

inline constexpr std::uint32_t kPortUsb = 1;
// The device type code and processor type of a Chromatik V, the one kind that is updated.
inline constexpr std::uint32_t kChromatikVDeviceType = 5324;
inline constexpr std::uint32_t kChromatikVCpuType = 3;
// The library's controller type of a Chromatik V (an STM32F2).
inline constexpr std::int32_t kChromatikVController = 2;
inline constexpr std::uint32_t kPortBluetooth = 500;
inline constexpr std::int32_t kDeviceTypeQueryWaitMs = 300;
inline constexpr std::int32_t kPollDetails = 7;

struct DeviceKind {
    const char* name;  // 8-bit text for snDevice
    std::uint32_t cpuType;
};
// The name and processor type of a device type code.
DeviceKind DeviceKindFor(std::uint32_t code);

// An instrument that answered the open only as its boot loader: the link is up
// (its controller commands work) but there is no application to identify
// ("Software not loaded"): an update was interrupted while programming.  (The
// serial-number field may hold the host's search limit, so only the release
// tells that the instrument reported no identity.)
bool BootLoaderOnly(const PXM_COMM& record);

// What the main window does when the connection changes.
class ConnectionObserver {
public:
    virtual ~ConnectionObserver() = default;
    virtual void ShowConnected() {}
    virtual void ShowDisconnected() {}
    virtual void SetBusyCursor(bool /*busy*/) {}
    virtual void EnableConnectMenus() {}
};

class TDeviceConnection {
public:
    explicit TDeviceConnection(CommApi api, ConnectionObserver* observer = nullptr);

    // The library's result (0..4): 1 connected.  Sets the job flags from it.
    std::int32_t OpenDev();
    void CloseDev();

    // The watch-idle switch (job bit 0x20).
    void SetUSBWatchIdle(bool idle);
    std::uint8_t JobFlags() const { return jobs_.load(); }
    void SetJobFlags(std::uint8_t flags) { jobs_.store(flags); }
    // Sets bits on their own, leaving the others as they are.
    void AddJobFlags(std::uint8_t bits) { jobs_.fetch_or(bits); }

    PXM_COMM& PortData() { return port_data_; }
    const TDeviceInfo& DevInfo() const { return dev_info_; }
    // The instrument the record is connected to, as far as it told.
    InstrumentIdentity Identity() const;

    // Limits every later OpenDev to one instrument (the library's opt-in search
    // limit); an empty limit searches as before.
    void SetSearchLimit(const SearchLimit& limit) { limit_ = limit; }
    const SearchLimit& Limit() const { return limit_; }
    // The USB socket the last limited open connected (the library names it then).
    const QString& Socket() const { return socket_; }
    // Chooses the Bluetooth instrument that the Bluetooth port connects to
    // (TOLA_comm_bt_set_device_ex) and remembers its address.
    void SelectBluetoothDevice(const BT_DEVICE& device);
    const QString& BluetoothAddress() const { return bt_address_; }
    void SetObserver(ConnectionObserver* observer) { observer_ = observer; }
    CommApi Api() const { return api_; }

private:
    void AskDeviceType();
    void SetJobsKeepingWatchIdle(std::uint8_t flags);

    CommApi api_;
    ConnectionObserver* observer_;
    void ApplySearchLimit();

    PXM_COMM port_data_{};
    TDeviceInfo dev_info_;
    SearchLimit limit_;
    QString socket_;
    QString bt_address_;
    std::atomic<std::uint8_t> jobs_{0};
};

}  // namespace ckupdate
