// The catalog of built-in firmware images (U_CK_FirmwareTypes,
// U_CK_FirmwareWrapper): fifteen entries over eleven images, one selected at a
// time.  Built once; the selection is a copy that everything else reads.
// Not thread-safe: the selection changes on the main thread only.
#pragma once

#include "update/firmware/firmware_table.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace ckupdate {

struct TSingleFirmware {
    QString snCK_firmware_release;
    QString snCK_firmware_date;
    QString snCK_Kind;
    std::uint32_t N_FDATASIZE = 0;
    std::uint32_t N_FLASHSIZE = 0;
    std::uint32_t N_FLASHBASE = 0;
    std::uint32_t N_FLASHBOOT = 0;
    std::vector<std::uint8_t> qbyCK_default;
};

class TFirmwares {
public:
    TFirmwares();

    QStringList Version;                  // captions: kind/release/date
    std::vector<TSingleFirmware> Firmware;
    std::uint32_t Default = 0;
    std::uint32_t count = 0;
    std::uint32_t ItemIndex = 0;

    // Makes entry `index` the selected one; 15 or more selects Default.
    void SelectFirmware(std::uint32_t index);
    const TSingleFirmware& Selected() const { return selected_; }

    // After a connection, outside the service mode: the last two characters of
    // the instrument's firmware text, upper-cased, pick the variant: "BU" entry 1,
    // "DW" entry 2; a text of two characters or less changes nothing.  True when
    // the selection changed.
    bool ChooseVariant(const QString& instrumentFirmware, bool serviceMode);

    // The first entry whose release is `release`, or -1.
    int IndexOfRelease(const QString& release) const;

private:
    TSingleFirmware selected_;
};

// The process-wide catalog.
TFirmwares& Firmwares();

// Bytes of one embedded image (kFirmwareImages order).
const std::uint8_t* EmbeddedImage(int image);

}  // namespace ckupdate
