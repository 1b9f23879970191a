#include "sim/instrument_store.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

namespace tola::sim {
namespace {

std::string to_hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> from_hex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

std::uint64_t total_flash(const MemoryMap& memory) {
    std::uint64_t n = 0;
    for (const auto& bank : memory.flash_banks()) n += bank->size();
    return n;
}

}  // namespace

InstrumentStore::InstrumentStore(std::filesystem::path base) : base_(std::move(base)) {}

std::optional<PermanentState> InstrumentStore::load(MemoryMap& memory) {
    std::ifstream state_in(state_path());
    std::ifstream flash_in(flash_path(), std::ios::binary);
    if (!state_in || !flash_in) return std::nullopt;
    const auto doc = nlohmann::json::parse(state_in, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return std::nullopt;
    PermanentState p;
    try {
        p.firmware = doc.at("firmware").get<std::string>();
        auto version = from_hex(doc.at("version").get<std::string>());
        auto settings = from_hex(doc.at("settings").get<std::string>());
        if (!version || !settings) return std::nullopt;
        p.version = std::move(*version);
        p.settings = std::move(*settings);
        for (const auto& cell : doc.at("weak_cells")) p.weak_cells.insert(cell.get<std::uint32_t>());
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    std::vector<char> bytes(total_flash(memory));
    if (!flash_in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) || flash_in.peek() != EOF)
        return std::nullopt;
    std::size_t at = 0;
    for (auto& bank : memory.flash_banks()) {
        bank->load(0, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, bank->size()));
        at += bank->size();
    }
    return p;
}

bool InstrumentStore::open_flash() {
    if (flash_.is_open()) return true;
    flash_.open(flash_path(), std::ios::in | std::ios::out | std::ios::binary);
    return flash_.is_open();
}

void InstrumentStore::save_all(const MemoryMap& memory, const PermanentState& permanent) {
    std::error_code ec;
    if (base_.has_parent_path()) std::filesystem::create_directories(base_.parent_path(), ec);
    flash_.close();
    {
        std::ofstream out(flash_path(), std::ios::binary | std::ios::trunc);
        for (const auto& bank : memory.flash_banks())
            out.write(reinterpret_cast<const char*>(bank->bytes().data()), bank->size());
        if (!out) throw std::runtime_error("cannot write " + flash_path().string());
    }
    if (!open_flash()) throw std::runtime_error("cannot open " + flash_path().string());
    if (!save_permanent(permanent)) throw std::runtime_error("cannot write " + state_path().string());
}

bool InstrumentStore::save_flash(const MemoryMap& memory, std::uint32_t address, std::uint32_t length) {
    if (!open_flash()) return false;
    std::uint64_t at = 0;
    for (const auto& bank : memory.flash_banks()) {
        if (bank->contains(address, length)) {
            const std::uint32_t offset = address - bank->base();
            flash_.seekp(static_cast<std::streamoff>(at + offset));
            flash_.write(reinterpret_cast<const char*>(bank->bytes().data() + offset), length);
            // Out of this process at once: a killed simulator loses nothing.
            flash_.flush();
            return static_cast<bool>(flash_);
        }
        at += bank->size();
    }
    return false;
}

bool InstrumentStore::save_permanent(const PermanentState& p) {
    nlohmann::json doc{{"firmware", p.firmware},
                       {"version", to_hex(p.version)},
                       {"settings", to_hex(p.settings)},
                       {"weak_cells", p.weak_cells}};
    const std::filesystem::path tmp = state_path().string() + ".new";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << doc.dump() << '\n';
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, state_path(), ec);
    return !ec;
}

}  // namespace tola::sim
