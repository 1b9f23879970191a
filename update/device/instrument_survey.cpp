#include "update/device/instrument_survey.h"

#include "platform/runtime_folder.h"

#include <QMap>

#include <chrono>
#include <cstring>
#include <thread>

namespace ckupdate {
namespace {

using Clock = std::chrono::steady_clock;

// How long one place may take to answer: USB answers at once, a serial port
// walks the generations with a pause each, a radio link takes its connect.
constexpr auto kUsbWait = std::chrono::seconds(3);
constexpr auto kSerialWait = std::chrono::seconds(6);
constexpr auto kBluetoothWait = std::chrono::seconds(15);
constexpr auto kStepPause = std::chrono::milliseconds(100);

QString KindName(std::uint32_t iDevice) {
    switch (iDevice) {
        case TOLA_DEVICE_USB_CHROMATIK: return QStringLiteral("usb");
        case TOLA_DEVICE_SERIAL_CLASSIC: return QStringLiteral("first generation");
        case TOLA_DEVICE_USB_H8SX_BOOT: return QStringLiteral("boot loader");
        case TOLA_DEVICE_USB_PORTIVO: return QStringLiteral("usb portivo");
        case TOLA_DEVICE_SERIAL_MAPPED_A:
        case TOLA_DEVICE_SERIAL_MAPPED_B: return QStringLiteral("memory-mapped");
        case TOLA_DEVICE_BT_MAPPED_A:
        case TOLA_DEVICE_BT_MAPPED_B: return QStringLiteral("bluetooth memory-mapped");
        default: return QString();
    }
}

struct Place {
    QString link, where;
    std::uint32_t port = 0;
    Clock::duration wait{};
};

// Runs the search steps of one place until it answers or gives up.
std::int32_t OpenPlace(TDeviceConnection& connection, const Place& place, const std::atomic<bool>* stop) {
    PXM_COMM& record = connection.PortData();
    std::memset(&record, 0, sizeof record);
    record.dSize = sizeof record;
    record.iPort = place.port;
    const auto deadline = Clock::now() + place.wait;
    for (;;) {
        const std::int32_t r = connection.OpenDev();
        if (r != 0 && r != 2) return r;
        if (Clock::now() >= deadline || (stop != nullptr && stop->load())) return r;
        std::this_thread::sleep_for(kStepPause);
    }
}

std::optional<SurveyedInstrument> Identify(TDeviceConnection& connection, const Place& place, std::int32_t r) {
    const PXM_COMM& record = connection.PortData();
    SurveyedInstrument s;
    s.link = place.link;
    s.where = place.where;
    s.bootLoader = connection.DevInfo().BootLoader || record.iDevice == TOLA_DEVICE_USB_H8SX_BOOT;
    if (r != 1 && !s.bootLoader) return std::nullopt;
    s.kind = KindName(record.iDevice);
    s.product = RecordText(record.snDevice);
    s.deviceCode = connection.DevInfo().Device;
    if (!s.bootLoader) {
        // Under a socket limit the serial-number field holds what the
        // instrument reported; without one, what the search filled in.
        s.serial = RecordText(record.snSerial_number);
        s.firmware = RecordText(record.snVersion);
        s.layout = RecordText(record.snInterface);
    } else {
        s.note = QStringLiteral("only its boot loader answers: an update did not complete");
    }
    return s;
}

std::optional<SurveyedInstrument> Survey(TDeviceConnection& connection, const Place& place,
                                         const std::atomic<bool>* stop) {
    const std::int32_t r = OpenPlace(connection, place, stop);
    auto found = Identify(connection, place, r);
    connection.CloseDev();
    return found;
}

}  // namespace

std::vector<SurveyedInstrument> SurveyInstruments(TDeviceConnection& connection, const SurveyPlaces& places,
                                                  const SurveyProgress& progress, const std::atomic<bool>* stop) {
    const SearchLimit before = connection.Limit();
    std::vector<SurveyedInstrument> found;
    auto stopped = [stop] { return stop != nullptr && stop->load(); };
    for (const QString& socket : places.usbSockets) {
        if (stopped()) break;
        if (places.usbBusy && (places.busyUsbSocket.isEmpty() || places.busyUsbSocket == socket)) {
            SurveyedInstrument busy;
            busy.link = QStringLiteral("usb");
            busy.where = socket;
            busy.busy = true;
            busy.note = QStringLiteral("not opened: an update runs (%1)").arg(places.busyText);
            found.push_back(busy);
            continue;
        }
        if (progress) progress(QStringLiteral("usb"), socket);
        // The socket alone limits the search: every instrument there answers,
        // with or without a serial number.
        connection.SetSearchLimit(SearchLimit{QString(), socket});
        if (auto s = Survey(connection, {QStringLiteral("usb"), socket, kPortUsb, kUsbWait}, stop)) found.push_back(*s);
    }
    connection.SetSearchLimit(SearchLimit{});
    for (int n : places.comPorts) {
        if (stopped()) break;
        const QString where = QStringLiteral("com%1").arg(n);
        if (progress) progress(QStringLiteral("serial"), where);
        const auto port = static_cast<std::uint32_t>(TOLA_PORT_COM1 + n - 1);
        if (auto s = Survey(connection, {QStringLiteral("serial"), where, port, kSerialWait}, stop)) found.push_back(*s);
    }
    for (const QString& address : places.btAddresses) {
        if (stopped()) break;
        if (progress) progress(QStringLiteral("bluetooth"), address);
        BT_DEVICE device{};
        const QByteArray text = address.toLatin1();
        std::strncpy(device.snBtAddress, text.constData(), sizeof device.snBtAddress - 1);
        connection.SelectBluetoothDevice(device);
        if (auto s = Survey(connection, {QStringLiteral("bluetooth"), address, kPortBluetooth, kBluetoothWait}, stop))
            found.push_back(*s);
    }
    connection.SetSearchLimit(before);
    return found;
}

std::vector<SurveyedInstrument> SurveyUsb(TDeviceConnection& connection, const QStringList& sockets) {
    SurveyPlaces places;
    places.usbSockets = sockets;
    return SurveyInstruments(connection, places);
}

// The devices of the driver's interface class live in a folder of their own
// ("dev0", ...); "Chrmtk0-0" and "ezusb-0" beside it.  In the library's order.
QStringList UsbChannelSockets() {
    static constexpr const char* kInterfaceClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";
    const std::string folder = tola::os::usb_channel_folder();
    QStringList names;
    for (const std::string& name : tola::os::socket_names_in(folder + "/" + kInterfaceClass))
        names << QString::fromStdString(name);
    for (const std::string& name : tola::os::socket_names_in(folder)) names << QString::fromStdString(name);
    return names;
}

QStringList DuplicateSerials(const std::vector<SurveyedInstrument>& instruments) {
    QMap<QString, int> count;
    for (const SurveyedInstrument& s : instruments)
        if (!s.serial.isEmpty()) ++count[s.serial];
    QStringList twice;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (it.value() > 1) twice << it.key();
    return twice;
}

}  // namespace ckupdate
