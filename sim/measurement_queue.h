// The instrument's on-board queue of the measurements it has taken.  The host
// sees it in host-block word 12: the current position in the low half, the
// number of entries in the high half.
#pragma once

#include <cstdint>
#include <deque>

#include "sim/content_results.h"

namespace tola::sim {

class MeasurementQueue {
public:
    // Enough for a day's work; the oldest entry makes room for a new one.
    static constexpr std::size_t kCapacity = 250;

    // A new entry becomes the current one.
    void add(MeasurementSample m) {
        if (entries_.size() == kCapacity) entries_.pop_front();
        entries_.push_back(std::move(m));
        position_ = entries_.size() - 1;
    }
    bool select(std::size_t index) {
        if (index >= entries_.size()) return false;
        position_ = index;
        return true;
    }
    void clear() {
        entries_.clear();
        position_ = 0;
    }

    std::size_t size() const { return entries_.size(); }
    std::size_t position() const { return position_; }
    const MeasurementSample& at(std::size_t index) const { return entries_.at(index); }
    std::uint32_t host_word() const {
        return static_cast<std::uint32_t>(entries_.size()) << 16 | static_cast<std::uint32_t>(position_ & 0xFFFF);
    }

private:
    std::deque<MeasurementSample> entries_;
    std::size_t position_ = 0;
};

}  // namespace tola::sim
