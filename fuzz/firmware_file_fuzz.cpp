// Fuzz target: external firmware files as the update's --file and the program's
// file choice read them. The first byte picks the layout the rest is laid out
// in: as it is, behind the "Chromatik" header, or as the texts of the trailer
// layout behind a full image part (cut short when the input says so), so the
// checks of both layouts and of short parts all see fuzzed bytes.
#include "fuzz/support/scratch_file.h"
#include "update/firmware/bin_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t layout = data[0];
    ++data;
    --size;
    std::vector<std::uint8_t> file;
    switch (layout % 3) {
        case 0:
            file.assign(data, data + size);
            break;
        case 1:
            file.assign({'C', 'h', 'r', 'o', 'm', 'a', 't', 'i', 'k'});
            file.insert(file.end(), data, data + size);
            break;
        default: {
            // Image part: the input's tail as the first image bytes, the rest erased.
            const std::size_t texts = std::min<std::size_t>(size, 3 * 64);
            file.assign(ckupdate::kExternalImagePart, 0xFF);
            std::copy_n(data + texts, std::min<std::size_t>(size - texts, file.size()), file.begin());
            if (layout & 0x80) file.resize(file.size() - (layout & 0x7F) * 1024u);
            file.insert(file.end(), data, data + texts);
            break;
        }
    }
    const std::string path = tola::fuzzing::write_scratch("firmware.bin", file.data(), file.size());
    static ckupdate::TBinStream buffer;
    const ckupdate::FirmwareFileRead read = ckupdate::ReadFirmwareFile(QString::fromStdString(path), buffer);
    if (!read.opened || read.bytesRead > file.size()) __builtin_trap();
    if (buffer.Data.size() != ckupdate::kFlashSize) __builtin_trap();
    (void)ckupdate::FieldText(buffer.CDeviceName);
    (void)ckupdate::FieldText(buffer.CReleaseNumber);
    (void)ckupdate::FieldText(buffer.CReleaseDate);
    if (ckupdate::ImageEnd(buffer.Data) > buffer.Data.size()) __builtin_trap();
    return 0;
}
