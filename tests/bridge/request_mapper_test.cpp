// Channel requests to USB transfers: which endpoint, which direction, which
// time-out, and what the channel hears back.
#include "bridge/usb/request_mapper.h"
#include "comm/platform/usb_channel.h"

#include <gtest/gtest.h>

#include <deque>

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;

struct Transfer {
    char kind;  // 'd' descriptor, 'o' bulk out, 'i' bulk in
    std::uint8_t endpoint;
    std::vector<std::uint8_t> data;  // sent, or the capacity's worth asked for
    int timeout_ms;
};

class FakeDevice final : public UsbDevice {
public:
    explicit FakeDevice(std::vector<Endpoint> endpoints) : endpoints_(std::move(endpoints)) {}

    TransferResult read_device_descriptor(std::span<std::uint8_t, 18> out, int timeout_ms) override {
        log.push_back({'d', 0, {}, timeout_ms});
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i + 1);
        return next(18);
    }
    std::vector<Endpoint> endpoints() const override { return endpoints_; }
    TransferResult bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data, int timeout_ms) override {
        log.push_back({'o', endpoint, {data.begin(), data.end()}, timeout_ms});
        return next(data.size());
    }
    TransferResult bulk_in(std::uint8_t endpoint, std::span<std::uint8_t> buffer, int timeout_ms) override {
        log.push_back({'i', endpoint, std::vector<std::uint8_t>(buffer.size()), timeout_ms});
        // A device sends whole packets: one that does not fit the buffer overflows it.
        if (packet != 0 && std::min(incoming.size(), packet) > buffer.size()) return TransferResult{TransferStatus::Failed, 0};
        const std::size_t n = std::min(buffer.size(), incoming.size());
        std::copy(incoming.begin(), incoming.begin() + static_cast<long>(n), buffer.begin());
        return next(n);
    }

    std::vector<Transfer> log;
    std::deque<TransferStatus> outcomes;  // Ok when empty
    std::vector<std::uint8_t> incoming{0xAB, 0xCD, 0xEF};
    std::size_t packet = 0;  // the packet the device sends; 0: exactly what is asked

private:
    TransferResult next(std::size_t length) {
        if (outcomes.empty()) return TransferResult{TransferStatus::Ok, length};
        const auto s = outcomes.front();
        outcomes.pop_front();
        return TransferResult{s, s == TransferStatus::Ok ? length : 0};
    }
    std::vector<Endpoint> endpoints_;
};

std::vector<std::uint8_t> pipe(std::uint32_t n) {
    std::vector<std::uint8_t> v;
    ch::put_u32(v, n);
    return v;
}

ProductProfile profile_of(std::uint16_t product) {
    const auto t = builtin_profiles();
    return *find_profile(t, 0xE1A7, product);
}

// The EZ-USB lists an interrupt endpoint among its bulk ones; pipes count bulk endpoints only.
std::vector<Endpoint> classic_endpoints() {
    return {{0x81, true}, {0x83, false}, {0x82, true}, {0x02, true}, {0x04, true}};
}

TEST(RequestMapper, PipesAreTheBulkEndpointsInInterfaceOrder) {
    FakeDevice device(classic_endpoints());
    RequestMapper m(profile_of(0x5061));
    const std::vector<std::uint8_t> command{0x23, 0x80, 0x80, 0x00, 0x00, 0x40};
    auto r = m.handle(&device, ch::Request{ch::kBulkWrite, pipe(2), 6, command});
    EXPECT_TRUE(r.success);
    EXPECT_EQ(6u, r.bytes_returned);
    r = m.handle(&device, ch::Request{ch::kBulkRead, pipe(0), 3, {}});
    EXPECT_TRUE(r.success);
    EXPECT_EQ((std::vector<std::uint8_t>{0xAB, 0xCD, 0xEF}), r.output);
    r = m.handle(&device, ch::Request{ch::kBulkRead, pipe(1), 64, {}});
    EXPECT_EQ(3u, r.bytes_returned);
    r = m.handle(&device, ch::Request{ch::kBulkWrite, pipe(3), 2, {9, 9}});
    EXPECT_TRUE(r.success);

    ASSERT_EQ(4u, device.log.size());
    EXPECT_EQ('o', device.log[0].kind);
    EXPECT_EQ(0x02, device.log[0].endpoint);
    EXPECT_EQ(command, device.log[0].data);
    EXPECT_EQ(0x81, device.log[1].endpoint);
    EXPECT_EQ(64u, device.log[1].data.size()) << "a whole packet";
    EXPECT_EQ(0x82, device.log[2].endpoint);
    EXPECT_EQ(64u, device.log[2].data.size());
    EXPECT_EQ(0x04, device.log[3].endpoint);
}

TEST(RequestMapper, AConfiguredPipeListReplacesTheInterfaceOrder) {
    FakeDevice device(classic_endpoints());
    ProductProfile p = profile_of(0x5061);
    p.pipes = {0x86, 0x88, 0x06, 0x08};
    RequestMapper m(p);
    EXPECT_TRUE(m.handle(&device, ch::Request{ch::kBulkWrite, pipe(2), 3, {0xAA, 0, 0}}).success);
    ASSERT_EQ(1u, device.log.size());
    EXPECT_EQ(0x06, device.log[0].endpoint);
}

TEST(RequestMapper, PipeRequestsThatCannotBeCarriedAreRefusedWithoutTraffic) {
    FakeDevice device(classic_endpoints());
    RequestMapper m(profile_of(0x5061));
    const struct {
        ch::Request request;
        const char* error;
    } cases[] = {
        {{ch::kBulkWrite, pipe(4), 1, {1}}, "the device has no pipe 4"},
        {{ch::kBulkRead, pipe(0xFFFFFFFF), 1, {}}, "the device has no pipe 4294967295"},
        {{ch::kBulkWrite, pipe(0), 1, {1}}, "pipe 0 carries data in, not out"},
        {{ch::kBulkRead, pipe(2), 3, {}}, "pipe 2 carries data out, not in"},
        {{ch::kBulkRead, {1, 0}, 3, {}}, "a pipe request without its pipe number"},
        {{ch::kSendBlock, std::vector<std::uint8_t>(12), 0, {}},
         "control code 0x222405 does not belong to this device's protocol"},
        {{0x222000, {}, 0, {}}, "unknown control code 0x222000"},
    };
    for (const auto& c : cases) {
        const auto r = m.handle(&device, c.request);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(c.error, m.last_error());
    }
    EXPECT_TRUE(device.log.empty());
}

TEST(RequestMapper, RequestBlocksTravelOnTheFirstBulkOutAndInEndpoints) {
    FakeDevice device({{0x83, false}, {0x81, true}, {0x01, true}, {0x82, true}});
    RequestMapper m(profile_of(0x5062));
    const std::vector<std::uint8_t> block{0, 0, 1, 0, 0, 0, 0, 0x20, 64, 0, 1, 0};
    auto r = m.handle(&device, ch::Request{ch::kSendBlock, block, 0, {}});
    EXPECT_TRUE(r.success);
    EXPECT_EQ(12u, r.bytes_returned);
    r = m.handle(&device, ch::Request{ch::kReceive, {}, 64, {}});
    EXPECT_TRUE(r.success);
    EXPECT_EQ(3u, r.output.size());
    ASSERT_EQ(2u, device.log.size());
    EXPECT_EQ(0x01, device.log[0].endpoint);
    EXPECT_EQ(block, device.log[0].data);
    EXPECT_EQ(0x81, device.log[1].endpoint);

    // Pipe codes belong to the first generation only.
    EXPECT_FALSE(m.handle(&device, ch::Request{ch::kBulkRead, pipe(0), 3, {}}).success);
    EXPECT_EQ(2u, device.log.size());

    FakeDevice no_in({{0x01, true}});
    EXPECT_FALSE(m.handle(&no_in, ch::Request{ch::kReceive, {}, 12, {}}).success);
    EXPECT_EQ("the device has no bulk IN endpoint", m.last_error());
}

TEST(RequestMapper, DescriptorIsReadFromTheDeviceAndCutToTheCapacity) {
    FakeDevice device({{0x01, true}, {0x81, true}});
    RequestMapper m(profile_of(0x5062));
    auto r = m.handle(&device, ch::Request{ch::kReadDescriptor, {}, 18, {}});
    ASSERT_TRUE(r.success);
    EXPECT_EQ(18u, r.bytes_returned);
    EXPECT_EQ(1, r.output[0]);
    EXPECT_EQ(18, r.output[17]);
    r = m.handle(&device, ch::Request{ch::kReadDescriptorEzusb, {}, 10, {}});
    EXPECT_EQ(10u, r.bytes_returned);
    EXPECT_EQ(10u, r.output.size());
    EXPECT_EQ(2u, device.log.size());
}

TEST(RequestMapper, FailuresRefuseTheRequestAndAGoneDeviceIsNoted) {
    FakeDevice device({{0x01, true}, {0x81, true}});
    RequestMapper m(profile_of(0x5062));
    device.outcomes = {TransferStatus::Timeout, TransferStatus::Stall, TransferStatus::Gone};
    EXPECT_FALSE(m.handle(&device, ch::Request{ch::kReceive, {}, 12, {}}).success);
    EXPECT_EQ("receive on endpoint 0x81: timed out", m.last_error());
    EXPECT_FALSE(m.device_gone());
    EXPECT_FALSE(m.handle(&device, ch::Request{ch::kSendBlock, std::vector<std::uint8_t>(12), 0, {}}).success);
    EXPECT_EQ("send on endpoint 0x1: refused by the device (stall)", m.last_error());
    const auto r = m.handle(&device, ch::Request{ch::kReceive, {}, 12, {}});
    EXPECT_FALSE(r.success);
    EXPECT_TRUE(r.output.empty());
    EXPECT_TRUE(m.device_gone());
    // Without an open device nothing is attempted.
    EXPECT_FALSE(m.handle(nullptr, ch::Request{ch::kReadDescriptor, {}, 18, {}}).success);
    EXPECT_EQ("the device is not open", m.last_error());
    EXPECT_FALSE(m.device_gone());
}

TEST(RequestMapper, TheTransferAfterAnEraseCommandGetsTheEraseWindow) {
    const int normal = transfer_timeout_ms(ch::kReceive, PendingWork::None);
    const int erase = transfer_timeout_ms(ch::kReceive, PendingWork::Erase);
    EXPECT_EQ(static_cast<int>(ch::reply_window_ms(ch::ReplyWait::SectorErase)) - kReplyMarginMs, erase);
    EXPECT_LT(normal, erase);

    FakeDevice later({{0x01, true}, {0x81, true}});
    RequestMapper m(profile_of(0x5062));
    std::vector<std::uint8_t> erase_block{0, 0, 9, 0, 5, 0, 0, 0, 64, 0, 0, 0};
    std::vector<std::uint8_t> read_block{0, 0, 9, 0, 0, 0, 0, 0x20, 64, 0, 1, 0};  // space 9 read: no erase
    m.handle(&later, ch::Request{ch::kSendBlock, erase_block, 0, {}});
    m.handle(&later, ch::Request{ch::kReceive, {}, 12, {}});
    m.handle(&later, ch::Request{ch::kReceive, {}, 12, {}});
    m.handle(&later, ch::Request{ch::kSendBlock, read_block, 0, {}});
    m.handle(&later, ch::Request{ch::kReceive, {}, 64, {}});
    ASSERT_EQ(5u, later.log.size());
    EXPECT_EQ(normal, later.log[0].timeout_ms);
    EXPECT_EQ(erase, later.log[1].timeout_ms);
    EXPECT_EQ(normal, later.log[2].timeout_ms);
    EXPECT_EQ(normal, later.log[4].timeout_ms);
    // The H8SX sends the erase block twice: both repeats wait for the erase.
    m.handle(&later, ch::Request{ch::kSendBlock, erase_block, 0, {}});
    m.handle(&later, ch::Request{ch::kSendBlock, erase_block, 0, {}});
    m.handle(&later, ch::Request{ch::kSendBlock, read_block, 0, {}});
    EXPECT_EQ(erase, later.log[6].timeout_ms);
    EXPECT_EQ(erase, later.log[7].timeout_ms);

    FakeDevice classic(classic_endpoints());
    RequestMapper c(profile_of(0x5061));
    c.handle(&classic, ch::Request{ch::kBulkWrite, pipe(2), 3, {0x21, 12, 0}});
    c.handle(&classic, ch::Request{ch::kBulkRead, pipe(0), 3, {}});
    c.handle(&classic, ch::Request{ch::kBulkWrite, pipe(3), 3, {0x21, 12, 0}});  // data, not a command
    c.handle(&classic, ch::Request{ch::kBulkRead, pipe(0), 3, {}});
    EXPECT_EQ(erase, classic.log[1].timeout_ms);
    EXPECT_EQ(transfer_timeout_ms(ch::kBulkRead, PendingWork::None), classic.log[3].timeout_ms);
    // Each connection has its own erase: another client's request neither takes
    // nor ends the wait of the connection that announced it.
    PendingWork first = PendingWork::None, second = PendingWork::None;
    c.handle(&classic, ch::Request{ch::kBulkWrite, pipe(2), 3, {0x21, 12, 0}}, first);
    c.handle(&classic, ch::Request{ch::kBulkRead, pipe(0), 3, {}}, second);
    c.handle(&classic, ch::Request{ch::kBulkRead, pipe(0), 3, {}}, first);
    EXPECT_EQ(transfer_timeout_ms(ch::kBulkRead, PendingWork::None), classic.log[5].timeout_ms);
    EXPECT_EQ(erase, classic.log[6].timeout_ms);
}

TEST(RequestMapper, BulkReadsAskForWholePacketsAndReturnAtMostTheCapacity) {
    const struct {
        std::uint32_t code;
        std::uint16_t max_packet;
        std::uint32_t capacity;
        std::size_t asked;     // the buffer handed to the USB stack
        std::size_t returned;  // what the client hears of a full packet
    } cases[] = {
        {ch::kReceive, 64, 12, 64, 12},   {ch::kReceive, 64, 64, 64, 64},   {ch::kReceive, 64, 65, 128, 64},
        {ch::kReceive, 512, 12, 512, 12}, {ch::kReceive, 64, 0, 64, 0},     {ch::kBulkRead, 64, 3, 64, 3},
        {ch::kBulkRead, 512, 600, 1024, 512},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.code) + " packet " + std::to_string(k.max_packet) + " capacity " +
                     std::to_string(k.capacity));
        const bool classic = k.code == ch::kBulkRead;
        std::vector<Endpoint> endpoints = classic ? classic_endpoints() : std::vector<Endpoint>{{0x01, true}, {0x81, true}};
        for (auto& e : endpoints) e.max_packet = k.max_packet;
        FakeDevice device(endpoints);
        device.packet = k.max_packet;
        device.incoming.assign(k.max_packet, 0x5A);
        RequestMapper m(profile_of(classic ? 0x5061 : 0x5062));
        const auto r = m.handle(&device, ch::Request{k.code, classic ? pipe(0) : std::vector<std::uint8_t>{}, k.capacity, {}});
        ASSERT_TRUE(r.success) << m.last_error();
        ASSERT_EQ(1u, device.log.size());
        EXPECT_EQ(k.asked, device.log[0].data.size());
        EXPECT_EQ(k.returned, r.bytes_returned);
        EXPECT_EQ(k.returned, r.output.size());
    }
}

TEST(ReplyWindows, EveryTransferEndsBeforeTheLibraryStopsWaiting) {
    for (const std::uint32_t code : {ch::kReadDescriptor, ch::kReadDescriptorEzusb, ch::kBulkWrite, ch::kBulkRead,
                                     ch::kSendBlock, ch::kReceive}) {
        // Whatever the request, the bridge answers within the library's window for it.
        const std::vector<std::uint8_t> none;
        ch::ReplyWindows library;
        const int t = transfer_timeout_ms(code, PendingWork::None);
        EXPECT_GT(t, 0);
        EXPECT_LE(t + kReplyMarginMs, static_cast<int>(library.window_for(code, none, none))) << std::hex << code;
        // And the request after an erase, also within the library's (longer) window for it.
        const std::vector<std::uint8_t> erase_block{0, 0, 9, 0, 5, 0, 0, 0, 64, 0, 0, 0};
        library.window_for(ch::kSendBlock, erase_block, none);
        const int after_erase = transfer_timeout_ms(code, PendingWork::Erase);
        EXPECT_LE(after_erase + kReplyMarginMs, static_cast<int>(library.window_for(code, none, none)))
            << std::hex << code;
    }
}

}  // namespace
}  // namespace tola::usbd
