#include "data/firmware/image_generator.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ckupdate::data {
namespace {

constexpr std::uint32_t kStackTop = 0x20020000;
constexpr std::uint32_t kBootEnd = 0x9A00;  // the boot loader's code ends here; erased up to 0xC000
constexpr std::uint32_t kVectorCount = 98;  // Cortex-M3 core vectors plus the STM32F2 interrupts

class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    std::uint32_t state_;
};

std::uint32_t Seed(const char* release) {
    std::uint32_t h = 2166136261u;
    for (const char* p = release; *p != 0; ++p) h = (h ^ static_cast<std::uint8_t>(*p)) * 16777619u;
    return h;
}

void Put32(std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) image[offset + static_cast<std::uint32_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutText(std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint32_t field, const std::string& text) {
    std::fill_n(image.begin() + offset, field, std::uint8_t{0});
    std::memcpy(image.data() + offset, text.data(), std::min<std::size_t>(text.size(), field - 1));
}

// Thumb code words: instruction-like halfwords that never form an erased (0xFF) byte.
void FillCode(std::vector<std::uint8_t>& image, std::uint32_t from, std::uint32_t to, Random& random) {
    for (std::uint32_t i = from; i < to; ++i) {
        auto b = static_cast<std::uint8_t>(random.next() >> 24);
        if (b == 0xFF) b = 0xBF;
        image[i] = b;
    }
}

void VectorTable(std::vector<std::uint8_t>& image, std::uint32_t at, std::uint32_t code_from, std::uint32_t code_to,
                 Random& random) {
    Put32(image, at, kStackTop);
    for (std::uint32_t v = 1; v < kVectorCount; ++v) {
        const std::uint32_t target = code_from + (random.next() % (code_to - code_from)) / 2 * 2;
        Put32(image, at + 4 * v, (kFlashBase + target) | 1u);  // Thumb handlers
    }
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<Gap> ApplicationGaps(std::uint32_t size) {
    const std::vector<Gap> all{{0x18000, 0x1000}, {0x30800, 0x1000}, {0x51000, 0x1400}, {0x72000, 0x1000}};
    std::vector<Gap> gaps;
    for (const Gap& g : all)
        if (g.start + g.length + 0x2000 < size) gaps.push_back(g);
    return gaps;
}

std::vector<std::uint8_t> GenerateFirmwareImage(const FirmwareImageDescription& description) {
    std::vector<std::uint8_t> image(description.size, 0xFF);
    Random random(Seed(description.release));

    // Boot loader.
    VectorTable(image, 0, 4 * kVectorCount, kBootEnd, random);
    FillCode(image, 4 * kVectorCount, kBootEnd, random);

    // Header block.
    const std::uint32_t h = kApplicationStart;
    PutText(image, h, 16, "App Loaded");
    PutText(image, h + 16, 16, description.release);
    PutText(image, h + 32, 32, description.date);

    // Application.
    const std::uint32_t app = h + kHeaderBlockSize;
    const std::uint32_t text_block = description.size - 0x100;
    VectorTable(image, app, app + 4 * kVectorCount, text_block, random);
    FillCode(image, app + 4 * kVectorCount, text_block, random);
    for (const Gap& g : ApplicationGaps(description.size))
        std::fill_n(image.begin() + g.start, g.length, std::uint8_t{0xFF});

    const std::string texts = std::string("TOLA Chromatik V firmware ") + description.release + " (" +
                              description.date + ")\nCopyright TOLA. All rights reserved.\n";
    PutText(image, text_block, 0xFC, texts);

    const std::uint32_t crc_at = description.size - 4;
    Put32(image, crc_at, Crc32(image.data(), crc_at));
    if (image[description.size - 1] == 0xFF) image[description.size - 1] = 0xFE;
    return image;
}

}  // namespace ckupdate::data
