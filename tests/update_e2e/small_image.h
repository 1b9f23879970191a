// A firmware file for the update tests that takes seconds to write: the
// catalog's boot area and header layout, with data in sectors 3 and 4 only.
#pragma once

#include "update/firmware/firmware_catalog.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>

namespace ckupdate::testing {

inline QString WriteSmallImage(const QString& folder, const char* release) {
    QByteArray bytes(0x60000, char(0xFF));
    const auto& full = Firmwares().Firmware[0].qbyCK_default;
    auto copy = [&](std::uint32_t at, std::uint32_t length) { std::copy_n(full.begin() + at, length, bytes.begin() + at); };
    copy(0, 0xC000);
    QByteArray header(64, '\0');
    header.replace(0, 10, "App Loaded");
    header.replace(16, static_cast<qsizetype>(std::char_traits<char>::length(release)), release);
    bytes.replace(0xC000, 64, header);
    copy(0xC040, 0x600);
    copy(0x10000, 0x200);
    auto field = [](const char* t) {
        QByteArray b(t);
        b.resize(64, '\0');
        return b;
    };
    const QString file = folder + "/small-" + release + ".bin";
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write(field("Chromatik V") + field(release) + field("May 2, 2024") + bytes);
    return file;
}

}  // namespace ckupdate::testing
