// Keeps one instrument's flash and permanent state (stored settings, identity
// block, weak cells) in files, so that an instrument comes back as it was when the
// simulator is started again, even after it was killed:
//   BASE.flash  every flash bank's bytes, back to back in the order of the memory
//               map; each change is written in place as it happens
//   BASE.json   the permanent state, replaced whole (written aside, renamed)
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "sim/device_core.h"

namespace tola::sim {

class InstrumentStore {
public:
    explicit InstrumentStore(std::filesystem::path base);

    // What an earlier run left: the flash is loaded into the memory map and the
    // permanent state returned.  Nothing (memory untouched) when there is no
    // complete earlier state, or when it does not fit this memory map.
    std::optional<PermanentState> load(MemoryMap& memory);
    // Writes everything afresh; throws when the files cannot be written.
    void save_all(const MemoryMap& memory, const PermanentState& permanent);
    // [address, address + length) of flash changed.
    bool save_flash(const MemoryMap& memory, std::uint32_t address, std::uint32_t length);
    bool save_permanent(const PermanentState& permanent);

    std::filesystem::path flash_path() const { return base_.string() + ".flash"; }
    std::filesystem::path state_path() const { return base_.string() + ".json"; }

private:
    bool open_flash();

    std::filesystem::path base_;
    std::fstream flash_;
};

}  // namespace tola::sim
