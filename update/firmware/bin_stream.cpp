#include "update/firmware/bin_stream.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace ckupdate {
namespace {

QString MissingData() { return QCoreApplication::translate("TfrmCkUpdate", "Error: Missing data"); }

// Reads up to `length` bytes; the count read (short at the end of the file or on an error).
qint64 ReadSome(QFile& file, char* into, qint64 length, bool& failed) {
    if (failed) return 0;
    qint64 total = 0;
    while (total < length) {
        const qint64 n = file.read(into + total, length - total);
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) break;
        total += n;
    }
    return total;
}

}  // namespace

QString FieldText(const std::array<char, 64>& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return QString::fromLatin1(field.data(), static_cast<qsizetype>(end - field.begin()));
}

std::uint32_t ImageEnd(const std::vector<std::uint8_t>& data) {
    for (std::size_t i = data.size(); i > 0; --i)
        if (data[i - 1] != 0xFF) return static_cast<std::uint32_t>(i);
    return 0;
}

FirmwareFileRead ReadFirmwareFile(const QString& path, TBinStream& buffer) {
    FirmwareFileRead result;
    std::fill(buffer.Data.begin(), buffer.Data.end(), std::uint8_t{0xFF});
    buffer.CDeviceName.fill(0);
    buffer.CReleaseNumber.fill(0);
    buffer.CReleaseDate.fill(0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return result;
    result.opened = true;
    bool failed = false;

    std::array<char, 64> probe{};
    ReadSome(file, probe.data(), 64, failed);
    const bool header_layout = QByteArray(probe.data(), 9) == QByteArray("Chromatik");
    if (failed || !file.seek(0)) return result;

    auto field = [&](std::array<char, 64>& f) {
        const qint64 n = ReadSome(file, f.data(), 64, failed);
        result.bytesRead += static_cast<std::uint64_t>(n);
        if (n < 64) result.messages << MissingData();
    };
    auto image = [&](qint64 length) {
        const qint64 n = ReadSome(file, reinterpret_cast<char*>(buffer.Data.data()), length, failed);
        result.bytesRead += static_cast<std::uint64_t>(n);
        return n;
    };

    if (header_layout) {
        field(buffer.CDeviceName);
        field(buffer.CReleaseNumber);
        field(buffer.CReleaseDate);
        if (image(kFlashSize) < kExternalImagePart) result.messages << MissingData();
    } else {
        if (image(kExternalImagePart) != kExternalImagePart) result.messages << MissingData();
        field(buffer.CDeviceName);
        field(buffer.CReleaseNumber);
        field(buffer.CReleaseDate);
    }
    return result;
}

}  // namespace ckupdate
