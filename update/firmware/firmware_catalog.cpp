#include "update/firmware/firmware_catalog.h"

#include "firmware_images.inc"

namespace ckupdate {

const std::uint8_t* EmbeddedImage(int image) { return kEmbeddedImages[image]; }

TFirmwares::TFirmwares() {
    count = static_cast<std::uint32_t>(kCatalogImages.size());
    for (int image : kCatalogImages) {
        const FirmwareImageDescription& description = kFirmwareImages[static_cast<std::size_t>(image)];
        TSingleFirmware f;
        f.snCK_firmware_release = QString::fromLatin1(description.release);
        f.snCK_firmware_date = QString::fromLatin1(description.date);
        f.snCK_Kind = QStringLiteral("CKV");
        f.N_FDATASIZE = description.size;
        f.N_FLASHSIZE = kFlashSize;
        f.N_FLASHBASE = kFlashBase;
        f.N_FLASHBOOT = kFlashBootSize;
        const std::uint8_t* bytes = EmbeddedImage(image);
        f.qbyCK_default.assign(bytes, bytes + description.size);
        Firmware.push_back(std::move(f));
    }
    Default = 0;
    for (const auto& f : Firmware)
        Version << f.snCK_Kind + "/" + f.snCK_firmware_release + "/" + f.snCK_firmware_date;
    SelectFirmware(Default);
}

void TFirmwares::SelectFirmware(std::uint32_t index) {
    if (index > count - 1) index = Default;
    ItemIndex = index;
    selected_ = Firmware[index];
    selected_.qbyCK_default.resize(selected_.N_FDATASIZE);
}

bool TFirmwares::ChooseVariant(const QString& instrumentFirmware, bool serviceMode) {
    if (serviceMode || instrumentFirmware.size() <= 2) return false;
    const QString variant = instrumentFirmware.right(2).toUpper();
    std::uint32_t index = ItemIndex;
    if (variant == QLatin1String("BU")) index = 1;
    else if (variant == QLatin1String("DW")) index = 2;
    if (index == ItemIndex) return false;
    SelectFirmware(index);
    return true;
}

int TFirmwares::IndexOfRelease(const QString& release) const {
    for (std::size_t i = 0; i < Firmware.size(); ++i)
        if (Firmware[i].snCK_firmware_release == release) return static_cast<int>(i);
    return -1;
}

TFirmwares& Firmwares() {
    static TFirmwares catalog;
    return catalog;
}

}  // namespace ckupdate
