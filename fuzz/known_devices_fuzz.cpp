// Fuzz target: the known Bluetooth instruments, as lines of the known-devices
// file and as the stored "BluetoothDevice" setting. Every line is added, every
// third removed again; the list must stay sorted without case-blind twins, and
// the file it writes must hold exactly its entries.
#include "fuzz/support/scratch_file.h"
#include "update/bluetooth/known_devices.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = text.split(QLatin1Char('\n'));
    ckupdate::TKnownDeviceList list;
    int n = 0;
    for (const QString& line : lines) {
        (void)ckupdate::SplitKnownDeviceEntry(line);
        (void)ckupdate::IsSelectableDeviceName(line);
        if (auto stored = ckupdate::ParseStoredBluetoothDevice(line)) {
            if (!stored->entry.contains(QLatin1Char('#'))) __builtin_trap();
            list.Add(stored->entry);
        }
        list.Add(line);
        if (++n % 3 == 0) list.Remove(line);
    }
    const QStringList& entries = list.Entries();
    for (qsizetype i = 1; i < entries.size(); ++i)
        if (QString::compare(entries[i - 1], entries[i], Qt::CaseInsensitive) >= 0) __builtin_trap();
    (void)list.Rows();
    const QString path = QString::fromStdString(tola::fuzzing::scratch_folder()) + "/BtKnownDevices.txt";
    try {
        list.SaveToFile(path);
    } catch (const ckupdate::EKnownDevicesFile&) {
        __builtin_trap();  // the scratch folder is writable
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) __builtin_trap();
    if (file.readAll().count("\r\n") < entries.size()) __builtin_trap();
    return 0;
}
