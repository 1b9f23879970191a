#include "update/bluetooth/known_devices.h"

#include "update/widgets/windows1252.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <algorithm>

namespace ckupdate {

QString KnownDeviceEntry(const QString& name, const QString& address) {
    return name + QLatin1Char('#') + address;
}

std::optional<KnownDevice> SplitKnownDeviceEntry(const QString& entry) {
    const qsizetype hash = entry.indexOf(QLatin1Char('#'));
    if (hash < 1) return std::nullopt;
    return KnownDevice{entry.left(hash), entry.mid(hash + 1)};
}

bool IsSelectableDeviceName(const QString& name) {
    return name.startsWith(QLatin1String(kSelectableDevicePrefix), Qt::CaseSensitive);
}

std::optional<StoredBluetoothDevice> ParseStoredBluetoothDevice(const QString& setting) {
    if (setting.size() < kMinStoredDeviceLength) return std::nullopt;
    const qsizetype hash = setting.indexOf(QLatin1Char('#'));
    if (hash < 0) return std::nullopt;
    StoredBluetoothDevice stored;
    if (setting.startsWith(QLatin1Char('('))) {
        // An older form kept the address first: "(address)#name".
        stored.name = setting.mid(hash + 1);
        stored.entry = KnownDeviceEntry(stored.name, setting.left(hash));
    } else {
        stored.name = setting.left(hash);
        stored.entry = setting;
    }
    if (stored.name.isEmpty()) return std::nullopt;
    return stored;
}

bool TKnownDeviceList::Add(const QString& entry) {
    const auto less = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; };
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), entry, less);
    if (at != entries_.end() && at->compare(entry, Qt::CaseInsensitive) == 0) return false;
    entries_.insert(at, entry);
    return true;
}

bool TKnownDeviceList::Remove(const QString& entry) {
    const auto at = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const QString& e) { return e.compare(entry, Qt::CaseInsensitive) == 0; });
    if (at == entries_.end()) return false;
    entries_.erase(at);
    return true;
}

QList<KnownDevice> TKnownDeviceList::Rows() const {
    QList<KnownDevice> rows;
    for (const QString& entry : entries_) {
        if (auto row = SplitKnownDeviceEntry(entry)) rows.append(*row);
    }
    return rows;
}

void TKnownDeviceList::SaveToFile(const QString& path) const {
    QByteArray text;
    for (const QString& entry : entries_) text += ToWindows1252(entry) + "\r\n";
    // Written beside and then renamed over the old file, so a failed write
    // leaves the previous list in place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        throw EKnownDevicesFile(QCoreApplication::translate("ckupdate::TfrmDiscover", "Cannot create file \"%1\". %2")
                                    .arg(path, file.errorString()));
    }
}

}  // namespace ckupdate
