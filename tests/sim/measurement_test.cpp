// Host commands that measure, queue, store and restore, sent over the USB face
// as a host writes them: whole blocks in the instrument's own layout.
#include <cstring>
#include <string>

#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

InstrumentConfig quick(InstrumentConfig c) {
    c.command_delay = 0ms;
    c.measure_time = 0ms;
    return c;
}

// A host command block of `words` words, all zero but the given ones.
Bytes block(std::size_t words, std::initializer_list<std::pair<std::size_t, std::uint32_t>> set) {
    Bytes b(words * 4, 0);
    for (const auto& [w, v] : set) put_le32(b, w * 4, v);
    return b;
}

struct Stm32 {
    explicit Stm32(InstrumentConfig c) : h(quick(std::move(c))), link(h.connect()) {}
    std::uint32_t at(std::size_t table_word) const { return h.instrument.layout().addresses[table_word]; }
    // Writes of at most 64 bytes; the piece with the command word goes last.
    void write(std::uint32_t address, const Bytes& b) {
        for (std::size_t from = (b.size() - 1) / 64 * 64;; from -= 64) {
            const Bytes piece(b.begin() + static_cast<std::ptrdiff_t>(from),
                              b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), from + 64)));
            ASSERT_EQ(ctl_write(link, 2, address + static_cast<std::uint32_t>(from), piece), 8);
            if (from == 0) break;
        }
    }
    void send(const Bytes& b) { write(at(7), b); }
    Bytes host(std::uint16_t bytes = 64) {
        Bytes out;
        for (std::uint16_t from = 0; from < bytes; from = static_cast<std::uint16_t>(from + 64)) {
            const auto piece = ctl_read(link, 1, at(7) + from, std::min<std::uint16_t>(64, static_cast<std::uint16_t>(bytes - from)));
            if (!piece) return {};
            out.insert(out.end(), piece->begin(), piece->end());
        }
        return out;
    }
    Bytes results() { return *h.instrument.peek(at(5), h.instrument.layout().sizes[5]); }
    std::vector<std::string> actions() const {
        std::vector<std::string> out;
        for (const auto& e : h.instrument.journal().entries(EventKind::HostAction)) out.push_back(e.text);
        return out;
    }
    Harness h;
    ChannelClient link;
};

InstrumentConfig release_22() {
    InstrumentConfig c = stm32_config();
    c.layout_release = "CK0A.00.22.00";
    return c;
}

std::string name_at(const Bytes& b, std::size_t at) {
    const auto* p = reinterpret_cast<const char*>(b.data() + at);
    return std::string(p, strnlen(p, 26));
}

TEST(Measurement, MeasureQueuesResultsAndRaisesEvents) {
    Stm32 i(stm32_config());
    i.send(block(16, {{0, 0x800000}}));
    Bytes b = i.host();
    EXPECT_EQ(le32(b, 0), 0u);
    EXPECT_EQ(le32(b, 48), 1u << 16 | 0);  // one entry, current 0
    EXPECT_EQ(le32(b, 60) & 0x6, 0x2u);  // a new measurement, no echo
    EXPECT_EQ(le32(b, 32), 40u);          // the state after a tooth measurement
    EXPECT_EQ(le32(b, 56), 1000u);

    i.send(block(16, {{0, 0x800000}}));
    b = i.host();
    EXPECT_EQ(le32(b, 48), 2u << 16 | 1);
    const Bytes r = i.results();
    EXPECT_EQ(le32(r, 0), 4u);  // the second measurement of the rotation is a tab
    EXPECT_EQ(name_at(r, 98), "B1");
    EXPECT_EQ(i.h.instrument.journal().count(EventKind::HostCommand), 2u);

    // The host acknowledges by writing the block back with the flags cleared.
    b[60] = 0;
    i.send(b);
    b = i.host();
    EXPECT_EQ(le32(b, 60), 0u);
    EXPECT_EQ(le32(b, 48), 2u << 16 | 1);
}

TEST(Measurement, QueueReadLoadsThatEntryAndRefusesOneBeyondTheEnd) {
    Stm32 i(stm32_config());
    i.send(block(16, {{0, 0x800000}}));
    i.send(block(16, {{0, 0x1000000}}));  // a calibration is queued too
    EXPECT_EQ(le32(i.results(), 0), 8u);

    i.send(block(16, {{0, 0x8}, {5, 0}}));
    Bytes r = i.results();
    EXPECT_EQ(le32(r, 0), 1u);
    EXPECT_EQ(name_at(r, 98), "A1");
    EXPECT_EQ(le32(i.host(), 48), 2u << 16 | 0);
    const Bytes details = *i.h.instrument.peek(i.at(4), 7316);
    EXPECT_EQ(le32(details, 6864), 1u);

    i.send(block(16, {{0, 0x8}, {5, 2}}));
    EXPECT_EQ(i.results(), r);
    EXPECT_EQ(le32(i.host(), 48), 2u << 16 | 0);
    EXPECT_EQ(i.actions().back(), "no such queue entry");
}

TEST(Measurement, MeasurementUnderWayShowsNothingYet) {
    InstrumentConfig slow = quick(stm32_config());
    slow.measure_time = std::chrono::minutes(10);
    Harness h(slow);
    auto link = h.connect();
    const std::uint32_t host = h.instrument.layout().addresses[7];
    ASSERT_EQ(ctl_write(link, 2, host, block(16, {{0, 0x800000}})), 8);
    const Bytes b = *ctl_read(link, 1, host, 64);
    EXPECT_EQ(le32(b, 0), 0u);  // the command is taken at once
    EXPECT_EQ(le32(b, 48), 0u);
    EXPECT_EQ(le32(b, 60), 0u);
    ASSERT_EQ(ctl_write(link, 2, host, block(16, {{0, 0x800000}})), 8);
    const auto notes = h.instrument.journal().entries(EventKind::HostAction);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].text, "busy measuring; command ignored");
}

TEST(Measurement, StateClearsAndStoresRestoreDefaultsResetsSettings) {
    Stm32 i(stm32_config());
    i.send(block(16, {{0, 0x800000}}));
    i.send(block(16, {{0, 0x2}, {1, 51}}));
    EXPECT_EQ(le32(i.host(), 48), 0u);

    const std::uint32_t settings = i.at(15);
    Bytes samples(4, 0);
    put_le32(samples, 0, 99);
    ASSERT_EQ(ctl_write(i.link, 2, settings + 272, samples), 8);
    i.send(block(16, {{0, 0x2}, {1, 53}}));
    EXPECT_EQ(le32(*i.h.instrument.peek(settings + 272, 4)), 99u);
    EXPECT_EQ(le32(i.host(), 32), 53u);

    i.send(block(16, {{0, 0x10000}, {11, 30}}));
    EXPECT_EQ(le32(*i.h.instrument.peek(settings + 272, 4)), 40u);
    const auto a = i.actions();
    EXPECT_EQ(a, (std::vector<std::string>{"measurement started", "measurement done", "queue cleared",
                                           "settings stored", "settings restored to defaults"}));
}

TEST(Measurement, HostModeShowsTheDisplayTextAndUnknownCommandsAreDropped) {
    Stm32 i(stm32_config());
    Bytes text(216, 0);
    put_le32(text, 0, 25);
    put_le32(text, 4, 20);
    put_le32(text, 8, 33);
    const std::string slave = "Slave Mode";
    std::copy(slave.begin(), slave.end(), text.begin() + 12);
    i.write(i.at(12), text);
    i.send(block(16, {{0, 0x302}, {1, 5}}));
    EXPECT_EQ(le32(i.host(), 32), 5u);

    i.send(block(16, {{0, 0x4000}, {1, 7}}));
    const Bytes b = i.host();
    EXPECT_EQ(le32(b, 0), 0u);
    EXPECT_EQ(le32(b, 32), 5u);
    const auto a = i.actions();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0], "host mode; display: Slave Mode");
    EXPECT_EQ(a[1], "unknown command 0x00004000 ignored");
    EXPECT_EQ(i.h.instrument.journal().count(EventKind::HostCommand), 2u);
}

TEST(Measurement, Release22KeepsItsWordsWhereItsBlockHasThem) {
    Stm32 i(release_22());
    // .22 block: 19 words; state in word 11, event flags in 10, queue in 16.
    i.send(block(19, {{0, 0x2}, {1, 51}}));
    Bytes b = i.host(76);
    EXPECT_EQ(le32(b, 11 * 4), 51u);
    EXPECT_EQ(le32(b, 8 * 4), 0u);

    i.send(block(19, {{0, 0x800000}}));
    b = i.host(76);
    EXPECT_EQ(le32(b, 16 * 4), 1u << 16);
    EXPECT_EQ(le32(b, 10 * 4) & 0x6, 0x2u);
    EXPECT_EQ(le32(b, 15 * 4), 0u);
    EXPECT_EQ(le32(b, 18 * 4), 1000u);
    EXPECT_EQ(le32(i.results(), 0), 1u);
}

TEST(Measurement, FirstGenerationFillsTwelveEntriesAsARingFromTheTop) {
    InstrumentConfig c = classic_config();
    c.measure_time = 0ms;
    Harness h(c);
    auto link = h.connect();
    const auto layout = h.instrument.layout();
    Bytes start(44, 0);
    start[3] = 0x4;   // word 0, big-endian
    start[15] = 1;    // word 3: colour measurement
    auto entry = [&](std::uint32_t e) { return *h.instrument.peek(layout.addresses[5] + 628 * e, 628); };
    for (int n = 0; n < 2; ++n) ASSERT_EQ(ez_write(link, layout.addresses[7], start), 0x22);
    Bytes b = *h.instrument.peek(layout.addresses[7], 44);
    EXPECT_EQ(be32(b, 0), 0u);
    EXPECT_EQ(be32(b, 40), 11u);  // word 10: newest entry; the first went into entry 0
    EXPECT_EQ(be32(b, 28), 21u);  // word 7: results ready
    EXPECT_EQ(be32(b, 24), 2u);   // word 6: event flags
    EXPECT_EQ(be32(entry(11), 444), 1u);  // a tab
    EXPECT_EQ(name_at(entry(11), 176), "B1");
    EXPECT_EQ(be32(entry(0), 444), 0u);  // the tooth before it

    // A tooth area: three measurements, one area each, in entries 10, 9, 8.
    for (int n = 0; n < 3; ++n) ASSERT_EQ(ez_write(link, layout.addresses[7], start), 0x22);
    b = *h.instrument.peek(layout.addresses[7], 44);
    EXPECT_EQ(be32(b, 40), 8u);
    for (std::uint32_t step = 0; step < 3; ++step) {
        const Bytes e = entry(10 - step);
        EXPECT_EQ(be32(e, 0), 6u);
        EXPECT_EQ(be32(e, 444), 0u);
        EXPECT_EQ(be32(e, 448), step);
        EXPECT_EQ(be32(e, 452), 1u);
    }
}

TEST(Measurement, ToothAreaTakesThreeMeasurementsAndTheStatesTellHowFar) {
    InstrumentConfig c = stm32_config();
    c.measure_kind = 2;
    Stm32 i(c);
    const std::array<std::uint32_t, 3> states[3] = {{2, 0, 0}, {4, 2, 0}, {4, 4, 4}};
    for (std::size_t step = 0; step < 3; ++step) {
        i.send(block(16, {{0, 0x800000}}));
        const Bytes r = i.results();
        EXPECT_EQ(le32(r, 0), 2u);
        for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(le32(r, 8 + 4 * k), states[step][k]) << step;
        EXPECT_NE(name_at(r, 98 + 26 * step), "---") << "the area just measured has its shade";
        if (step < 2) {
            EXPECT_EQ(name_at(r, 98 + 26 * (step + 1)), "---");
        }
        EXPECT_EQ(le32(i.host(), 32), 42u);
    }
    const Bytes details = *i.h.instrument.peek(i.at(4), 7316);
    EXPECT_EQ(le32(details, 6868 + 8), 4u);
    EXPECT_EQ(name_at(details, 3526), name_at(i.results(), 20 + 52)) << "the third area's second-system shade";
}

TEST(Measurement, TriggerMeasuresAndSendAgainRaisesTheEchoFlag) {
    Stm32 i(stm32_config());
    EXPECT_FALSE(i.h.instrument.send_again()) << "nothing in the queue";
    i.h.instrument.press_trigger();
    Bytes b = i.host();
    EXPECT_EQ(le32(b, 48), 1u << 16);
    EXPECT_EQ(le32(b, 60) & 0x6, 0x2u);
    b[60] = 0;  // acknowledged
    i.send(b);
    EXPECT_TRUE(i.h.instrument.send_again());
    EXPECT_EQ(le32(i.host(), 60) & 0x6, 0x4u);
    const auto a = i.actions();
    ASSERT_GE(a.size(), 3u);
    EXPECT_EQ(a[0], "nothing to send again");
    EXPECT_EQ(a[1], "trigger pressed");
    EXPECT_EQ(a.back(), "queue entry sent again");
}

TEST(Measurement, CalibrationLeavesAStateThatOffersNoMeasurement) {
    Stm32 i(stm32_config());
    i.send(block(16, {{0, 0x1000000}}));
    EXPECT_EQ(le32(i.host(), 32), 30u);
    // A slow sample rate asks the host to poll by the sample interval.
    EXPECT_EQ(le32(i.host(), 60) & 0x8, 0u);
    i.send(block(16, {{0, 0x40000}, {7, 3}}));
    EXPECT_EQ(le32(i.host(), 56), 10000u);
    EXPECT_EQ(le32(i.host(), 60) & 0x8, 0x8u);
}

}  // namespace
}  // namespace tola::sim::test
