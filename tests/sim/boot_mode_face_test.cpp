// The H8SX boot-mode dialogue, step by step as a host walks it.
#include <numeric>

#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

bool sums_to_zero(const Bytes& b) { return std::accumulate(b.begin(), b.end(), 0u) % 256 == 0; }

Bytes with_sum(Bytes b) {
    const unsigned s = std::accumulate(b.begin(), b.end(), 0u);
    b.push_back(static_cast<std::uint8_t>(0x100 - (s & 0xFF)));
    return b;
}

struct BootMode : ::testing::Test {
    Harness h{boot_mode_config()};
    ChannelClient c = h.connect();

    Bytes step(const Bytes& out, std::uint32_t capacity = 128) {
        auto sent = c.call(usbchannel::kSendBlock, out, 0);
        EXPECT_TRUE(sent && sent->success);
        auto r = c.call(usbchannel::kReceive, {}, capacity);
        if (!r || !r->success) return {};
        return r->output;
    }
};

TEST_F(BootMode, DescriptorIsRenesas) {
    auto r = c.call(usbchannel::kReadDescriptor, {}, 18);
    ASSERT_TRUE(r && r->success);
    EXPECT_EQ(r->output[8] | r->output[9] << 8, 0x045B);
    EXPECT_EQ(r->output[10] | r->output[11] << 8, 0x0025);
}

TEST_F(BootMode, FullHandshake) {
    EXPECT_EQ(step({0x55}, 1), Bytes{0xE6});

    const Bytes devices = step({0x20});
    ASSERT_GE(devices.size(), 8u);
    EXPECT_EQ(devices[0], 0x30);
    EXPECT_TRUE(sums_to_zero(devices));
    const Bytes code(devices.begin() + 4, devices.begin() + 8);  // first entry: count, chars, code
    EXPECT_EQ(step(with_sum({0x10, 4, code[0], code[1], code[2], code[3]})), Bytes{0x06});

    const Bytes modes = step({0x21});
    ASSERT_GE(modes.size(), 4u);
    EXPECT_EQ(modes[0], 0x31);
    EXPECT_TRUE(sums_to_zero(modes));
    EXPECT_EQ(step(with_sum({0x11, 1, modes[3]})), Bytes{0x06});

    const Bytes ratios = step({0x22});
    ASSERT_GE(ratios.size(), 6u);
    EXPECT_EQ(ratios[0], 0x32);
    EXPECT_TRUE(sums_to_zero(ratios));
    const std::uint8_t count = ratios[3], first = ratios[4], second = ratios[5];
    ASSERT_GE(count, 2);

    for (std::uint8_t inquiry : std::initializer_list<std::uint8_t>{0x23, 0x25, 0x26, 0x27}) {
        const Bytes a = step({inquiry});
        ASSERT_FALSE(a.empty()) << int(inquiry);
        EXPECT_EQ(a[0], inquiry + 0x10);
        EXPECT_TRUE(sums_to_zero(a)) << int(inquiry);
    }
    EXPECT_EQ(step(with_sum({0x3F, 7, 0x00, 0x00, 0x04, 0xB0, count, second, first})), Bytes{0x06});
    EXPECT_EQ(step({0x06}), Bytes{0x06});
    EXPECT_EQ(step({0x40}), Bytes{0x06});

    const Bytes status = step({0x4F});
    ASSERT_EQ(status.size(), 64u);
    EXPECT_EQ(status[0], 0x5F);
    EXPECT_TRUE(sums_to_zero(status));
    EXPECT_EQ(h.instrument.journal().count(EventKind::BootMode), 14u);
}

TEST_F(BootMode, SilentBeforeSyncAndSelectionsAreChecked) {
    EXPECT_TRUE(step({0x20}).empty());
    EXPECT_EQ(step({0x55}, 1), Bytes{0xE6});
    const Bytes bad_sum = step({0x10, 4, '1', '6', '5', '3', 0x00});
    ASSERT_FALSE(bad_sum.empty());
    EXPECT_EQ(bad_sum[0], 0x90);
    const Bytes wrong_device = step(with_sum({0x10, 4, 'X', 'X', 'X', 'X'}));
    ASSERT_FALSE(wrong_device.empty());
    EXPECT_NE(wrong_device[0], 0x06);
    EXPECT_NE(step({0x40})[0], 0x06);  // no programming state before a bit rate
}

}  // namespace
}  // namespace tola::sim::test
