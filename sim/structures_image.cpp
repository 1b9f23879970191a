#include "sim/structures_image.h"

#include <algorithm>
#include <stdexcept>

#include "sim/content_blocks.h"
#include "sim/content_settings.h"
#include "sim/content_setup.h"
#include "sim/host_layout.h"
#include "sim/release_table.h"

namespace tola::sim {
namespace {

// Release-table word that sizes the structure at each table word (-1: none).
constexpr std::array<int, kTableWords> kReleaseWordOf{
    rw::kVersion, rw::kSetup, rw::kShadeTable, rw::kNorm, rw::kMeasureDetails, rw::kResults,
    rw::kData, rw::kHost, rw::kAdd1, rw::kAdd2, rw::kAdd3, rw::kAdd4, rw::kDisplayText, rw::kAdd5,
    rw::kMeas, rw::kSettings, rw::kTable, rw::kReserved17, rw::kWord18, -1, -1, -1, -1, -1};

constexpr std::uint32_t kAlign = 16;

std::uint32_t align_up(std::uint32_t v) { return (v + kAlign - 1) / kAlign * kAlign; }

struct Arena {
    std::uint32_t next;
    std::uint32_t end;
    std::optional<std::uint32_t> take(std::uint32_t size) {
        const std::uint32_t at = align_up(next);
        if (static_cast<std::uint64_t>(at) + size > end) return std::nullopt;
        next = at + size;
        return at;
    }
};

// Which structures live in flash on the first generation: everything the host
// rewrites with its flash-aware write.
bool classic_flash_resident(std::size_t word) {
    return word == tw::kVersion || word == tw::kSetup || word == tw::kShadeTables || word == tw::kSettings ||
           word == tw::kAdd2;
}

// Structures too large for the H8SX's internal RAM.
bool h8sx_external(std::size_t word) { return word == tw::kShadeTables || word == tw::kMeasureDetails; }

void put_text(std::vector<std::uint8_t>& out, std::size_t slot, std::string_view text) {
    const std::size_t n = std::min<std::size_t>(text.size(), kTextBytes - 1);
    std::copy_n(text.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(slot * kTextBytes));
}

}  // namespace

std::optional<Placement> StructureLayout::find(std::size_t table_word) const {
    for (const auto& p : placements)
        if (p.table_word == table_word) return p;
    return std::nullopt;
}

std::optional<std::uint32_t> table_address_for(const InstrumentConfig& c) {
    if (c.kind == 1) return 0x80800000;
    if (c.kind == 4) return c.cpu == 2 ? 0x20000000u : 0x00FF2400u;
    return std::nullopt;
}

StructureLayout plan_structures(const InstrumentConfig& c) {
    StructureLayout layout;
    const auto table = table_address_for(c);
    if (!table) return layout;
    layout.table_address = *table;
    layout.order = c.byte_order();
    layout.layout_number = layout_number(c.layout_release);

    const ReleaseSizes release = sizes_for_release(c.layout_release);
    std::array<std::uint32_t, kTableWords> placed{};
    for (std::size_t w = 0; w < kTableWords; ++w) {
        if (kReleaseWordOf[w] < 0) continue;
        const std::uint32_t size = release[static_cast<std::size_t>(kReleaseWordOf[w])];
        layout.sizes[w] = size;
        placed[w] = size;
        if (w == tw::kShadeTables) placed[w] *= 4;  // four tables back to back
        if (w == tw::kResults && c.kind == 1) {
            placed[w] *= 12;  // the first generation keeps 12 result entries
            layout.sizes[w] = placed[w];
        }
    }
    layout.sizes[tw::kVersion] = placed[tw::kVersion] = kVersionBytes;
    layout.results_entry = release[rw::kResults];

    Arena ram{*table + kTableBytes, 0};
    Arena other{0, 0};
    if (c.kind == 1) {
        ram.end = 0x80810000;
        other = Arena{0x80000000, 0x80040000};
    } else if (c.cpu == 2) {
        ram.end = 0x20010000;
    } else {
        ram.end = 0x00FFC000;
        other = Arena{0x00200000, 0x00240000};
    }

    // Small structures first, so the table's neighbourhood stays readable in a dump.
    std::vector<std::size_t> order;
    for (std::size_t w = 0; w < kTableWords; ++w)
        if (w != 17 && placed[w] != 0) order.push_back(w);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return placed[a] < placed[b]; });

    for (std::size_t w : order) {
        const std::uint32_t size = placed[w];
        std::optional<std::uint32_t> at;
        if (c.kind == 1 && classic_flash_resident(w)) at = other.take(size);
        else if (c.kind == 4 && c.cpu == 1 && h8sx_external(w)) at = other.take(size);
        else at = ram.take(size);
        if (!at && c.kind == 4 && c.cpu == 1) at = other.take(size);
        if (!at) throw std::length_error("structures of release " + c.layout_release + " do not fit the memory map");
        layout.addresses[w] = *at;
        layout.placements.push_back(Placement{w, *at, size});
    }
    return layout;
}

VersionTexts version_texts(const InstrumentConfig& c, std::string_view firmware, std::string_view date) {
    VersionTexts t;
    t.name = c.product_name();
    t.serial = c.serial;
    t.release = firmware;
    t.version = c.layout_release;
    t.release_date = date;
    t.install_date = "Not Installed";
    t.part = "TBD";
    if (c.kind == 4 && c.cpu == 2) t.mfg1 = "CPU-STM", t.mfg2 = "2", t.mfg3 = "2x";
    else if (c.kind == 4) t.mfg1 = "CPU-H8SX", t.mfg2 = "1", t.mfg3 = "1x";
    else t.mfg1 = "CPU-MCORE", t.mfg2 = "0", t.mfg3 = "0x";
    return t;
}

std::vector<std::uint8_t> version_block(const VersionTexts& t) {
    std::vector<std::uint8_t> out(kVersionBytes, 0);
    const std::array<const std::string*, 10> texts{&t.name, &t.serial, &t.release, &t.version, &t.release_date,
                                                   &t.install_date, &t.part, &t.mfg1, &t.mfg2, &t.mfg3};
    for (std::size_t i = 0; i < texts.size(); ++i) put_text(out, i, *texts[i]);
    return out;
}

std::vector<std::uint8_t> pattern_block(std::size_t table_word, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    for (std::uint32_t i = 0; i < size; i += 4) {
        const std::uint32_t v = 0xC0000000u | static_cast<std::uint32_t>(table_word) << 16 | (i / 4 & 0xFFFF);
        store_u32(std::span(out).subspan(i), v, order);
    }
    return out;
}

std::vector<std::uint8_t> initial_host_block(int n, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    HostWords words{};
    words[hw::kState] = kHostStateIdle;
    words[hw::kCommandTime] = kHostInitialCommandTime;
    write_host_words(out, words, host_layout(n), order);
    return out;
}

std::vector<std::uint8_t> default_settings(const StructureLayout& layout, std::uint32_t size) {
    if (!has_settings_record(layout.layout_number)) return classic_settings_block(size, layout.order);
    return settings_block(layout.layout_number, size, layout.order);
}

void write_measurement(MemoryMap& memory, const StructureLayout& layout, const MeasurementSample& m,
                       std::size_t entry) {
    const int n = layout.layout_number;
    if (auto p = layout.find(tw::kResults)) {
        if (n >= 22) {
            memory.load(p->address, results_block(m, n, p->size, layout.order));
        } else if (layout.results_entry != 0) {
            const std::size_t entries = p->size / layout.results_entry;
            const std::uint32_t at = p->address + static_cast<std::uint32_t>(entry % entries) * layout.results_entry;
            memory.load(at, classic_results_entry(m, layout.results_entry, layout.order));
        }
    }
    if (auto p = layout.find(tw::kMeasureDetails)) memory.load(p->address, details_block(m, n, p->size, layout.order));
    if (auto p = layout.find(tw::kMeas); p && n >= 22) memory.load(p->address, meas_block(n, p->size, layout.order, m.number));
    if (auto p = layout.find(tw::kAdd5); p && n >= 31) memory.load(p->address, short_result_block(m, p->size));
}

void write_structures(MemoryMap& memory, const StructureLayout& layout, const VersionTexts& texts) {
    std::vector<std::uint8_t> table(kTableBytes, 0), sizes(kTableBytes, 0);
    for (std::size_t w = 0; w < kTableWords; ++w) {
        store_u32(std::span(table).subspan(w * 4), layout.addresses[w], layout.order);
        store_u32(std::span(sizes).subspan(w * 4), layout.sizes[w], layout.order);
    }
    memory.load(layout.table_address, table);
    const int n = layout.layout_number;
    const ByteOrder order = layout.order;
    for (const auto& p : layout.placements) {
        switch (p.table_word) {
            case tw::kVersion: memory.load(p.address, version_block(texts)); break;
            case tw::kSizes: memory.load(p.address, sizes); break;
            case tw::kHost: memory.load(p.address, initial_host_block(n, p.size, order)); break;
            case tw::kSetup:
                memory.load(p.address, n >= 22 ? setup_block(n, p.size, order) : classic_setup_block(p.size, order));
                break;
            case tw::kNorm:
                memory.load(p.address, n >= 22 ? norm_block(n, p.size, order) : classic_norm_block(n, p.size, order));
                break;
            case tw::kSettings: memory.load(p.address, default_settings(layout, p.size)); break;
            case tw::kData: memory.load(p.address, data_block(n, p.size, order, 0, 0)); break;
            case tw::kAdd3:
                memory.load(p.address, n >= 29 ? calibration_block(p.size, order) : pattern_block(p.table_word, p.size, order));
                break;
            case tw::kMeas: memory.load(p.address, meas_block(n, p.size, order, 0)); break;
            case tw::kShadeTables:
                memory.load(p.address, shade_tables_block(n, layout.sizes[tw::kShadeTables], order));
                break;
            case tw::kResults:
            case tw::kMeasureDetails: break;  // below
            default: memory.load(p.address, pattern_block(p.table_word, p.size, order)); break;
        }
    }
    const MeasurementSample factory = colour_measurement(0, 0, kind::kTooth);
    const std::size_t entries = n < 22 && layout.results_entry ? layout.sizes[tw::kResults] / layout.results_entry : 1;
    for (std::size_t e = 0; e < entries; ++e) write_measurement(memory, layout, factory, e);
}

}  // namespace tola::sim
