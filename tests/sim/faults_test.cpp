// Fault injection as tests and the program's switches use it.
#include "sim/faults.h"
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

TEST(Faults, RefuseNextRequestsOfOneCode) {
    Harness h(stm32_config());
    auto c = h.connect();
    h.instrument.refuse_next(usbchannel::kReadDescriptor, 2);
    EXPECT_FALSE(c.call(usbchannel::kReadDescriptor, {}, 18)->success);
    EXPECT_TRUE(c.call(usbchannel::kReadDescriptorEzusb, {}, 18)->success);  // other codes unaffected
    EXPECT_FALSE(c.call(usbchannel::kReadDescriptor, {}, 18)->success);
    EXPECT_TRUE(c.call(usbchannel::kReadDescriptor, {}, 18)->success);
}

TEST(Faults, TruncateCorruptAndShortDescriptor) {
    Harness h(stm32_config());
    auto c = h.connect();
    const Bytes good = c.call(usbchannel::kReadDescriptor, {}, 18)->output;

    h.instrument.truncate_next_reply(5);
    auto r = c.call(usbchannel::kReadDescriptor, {}, 18);
    EXPECT_EQ(r->output, Bytes(good.begin(), good.begin() + 5));
    EXPECT_EQ(r->bytes_returned, 5u);

    h.instrument.corrupt_next_reply(8);
    r = c.call(usbchannel::kReadDescriptor, {}, 18);
    EXPECT_EQ(r->output[8], static_cast<std::uint8_t>(~good[8]));
    EXPECT_EQ(c.call(usbchannel::kReadDescriptor, {}, 18)->output, good);

    h.instrument.answer_descriptor_with(10);
    EXPECT_EQ(c.call(usbchannel::kReadDescriptor, {}, 18)->output.size(), 10u);
    EXPECT_EQ(c.call(usbchannel::kReadDescriptor, {}, 18)->output.size(), 10u);
}

TEST(Faults, SilentInstrumentTakesTheRequestAndClosesLater) {
    Harness h(stm32_config());
    auto c = h.connect();
    h.instrument.stay_silent(1, 100ms);
    ASSERT_TRUE(c.send_raw(usbchannel::encode(usbchannel::Request{usbchannel::kReadDescriptor, {}, 18, {}})));
    EXPECT_TRUE(c.wait_closed());
    EXPECT_EQ(h.instrument.journal().count(EventKind::Request), 1u);
    auto next = h.connect();
    EXPECT_TRUE(next.call(usbchannel::kReadDescriptor, {}, 18)->success);
}

TEST(Faults, UnplugRemovesTheSocketUntilReplugged) {
    Harness h(stm32_config());
    auto c = h.connect();
    h.instrument.unplug();
    ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
    EXPECT_FALSE(std::filesystem::exists(h.instrument.socket_path()));
    EXPECT_TRUE(c.wait_closed());
    h.instrument.replug();
    ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));
    EXPECT_TRUE(h.connect().call(usbchannel::kReadDescriptor, {}, 18)->success);
}

TEST(Faults, SilenceAfterRestartOverridesTheConfiguredOnceAndFaultTextsParse) {
    InstrumentConfig cfg = stm32_config();
    cfg.restart_silence = 0ms;
    Harness h(cfg);
    auto c = h.connect();
    ASSERT_TRUE(h.instrument.inject("restart-silence=200"));
    ASSERT_TRUE(ctl_command(c, 10, 0));
    ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
    ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));

    FaultPlan plan;
    std::string why;
    EXPECT_TRUE(apply_fault(plan, "refuse=0x22240C:3", &why));
    EXPECT_EQ(plan.refuse[0x22240C], 3);
    EXPECT_TRUE(apply_fault(plan, "status=0x84:2"));
    EXPECT_EQ(plan.status_override.size(), 2u);
    EXPECT_TRUE(apply_fault(plan, "silent=1:3000"));
    EXPECT_EQ(plan.silent_close_after, 3000ms);
    EXPECT_FALSE(apply_fault(plan, "refuse", &why));
    EXPECT_FALSE(apply_fault(plan, "erase=0x1FF"));
    EXPECT_FALSE(apply_fault(plan, "explode"));
    EXPECT_TRUE(apply_fault(plan, "clear"));
    EXPECT_TRUE(plan.refuse.empty());
}

}  // namespace
}  // namespace tola::sim::test
