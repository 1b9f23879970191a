// The channel itself: framing, malformed input, several instruments per process.
#include "sim/request_reader.h"
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

TEST(RequestReader, ReassemblesSplitAndBackToBackRequests) {
    const Bytes a = usbchannel::encode(usbchannel::Request{0x222405, {1, 2, 3}, 0, {}});
    const Bytes b = usbchannel::encode(usbchannel::Request{0x222051, {2, 0, 0, 0}, 3, {0xAA, 0, 0}});
    Bytes stream = a;
    stream.insert(stream.end(), b.begin(), b.end());

    RequestReader reader;
    usbchannel::Request r;
    reader.append(std::span(stream).first(7));
    EXPECT_EQ(reader.next(r), RequestReader::Status::NeedMore);
    reader.append(std::span(stream).subspan(7));
    ASSERT_EQ(reader.next(r), RequestReader::Status::Ready);
    EXPECT_EQ(r.input, (Bytes{1, 2, 3}));
    ASSERT_EQ(reader.next(r), RequestReader::Status::Ready);
    EXPECT_EQ(r.code, 0x222051u);
    EXPECT_EQ(r.output_payload, (Bytes{0xAA, 0, 0}));
    EXPECT_EQ(reader.next(r), RequestReader::Status::NeedMore);
}

TEST(RequestReader, RejectsBadMagicOversizeAndMismatchedPayload) {
    auto header = [](std::uint32_t magic, std::uint32_t in, std::uint32_t cap, std::uint32_t payload) {
        Bytes h(20, 0);
        put_le32(h, 0, magic);
        put_le32(h, 4, 0x222405);
        put_le32(h, 8, in);
        put_le32(h, 12, cap);
        put_le32(h, 16, payload);
        return h;
    };
    for (const Bytes& bad : {header(0x12345678, 0, 0, 0), header(usbchannel::kRequestMagic, 65537, 0, 0),
                             header(usbchannel::kRequestMagic, 0, 70000, 0),
                             header(usbchannel::kRequestMagic, 0, 8, 4)}) {
        RequestReader reader;
        usbchannel::Request r;
        reader.append(bad);
        EXPECT_EQ(reader.next(r), RequestReader::Status::Malformed);
        reader.append(usbchannel::encode(usbchannel::Request{}));
        EXPECT_EQ(reader.next(r), RequestReader::Status::Malformed);  // no way back into step
    }
}

TEST(Channel, MalformedFramesCloseTheConnectionOnly) {
    Harness h(stm32_config());
    auto bad = h.connect();
    ASSERT_TRUE(bad.send_raw(Bytes(20, 0x41)));
    EXPECT_TRUE(bad.wait_closed());

    auto huge = h.connect();
    Bytes header(20, 0);
    put_le32(header, 0, usbchannel::kRequestMagic);
    put_le32(header, 4, usbchannel::kReceive);
    put_le32(header, 8, 0x7FFFFFFF);
    ASSERT_TRUE(huge.send_raw(header));
    EXPECT_TRUE(huge.wait_closed());

    auto good = h.connect();
    auto r = good.call(usbchannel::kReadDescriptor, {}, 18);
    ASSERT_TRUE(r && r->success);
}

TEST(Channel, ReplyNeverExceedsTheOfferedCapacity) {
    Harness h(stm32_config());
    auto c = h.connect();
    auto r = c.call(usbchannel::kReadDescriptor, {}, 8);
    ASSERT_TRUE(r && r->success);
    EXPECT_EQ(r->output.size(), 8u);
}

TEST(Channel, SeveralInstrumentsShareOneSimulator) {
    TempDir dir;
    Simulator sim(dir.path() / "usb");
    Instrument& a = sim.add(stm32_config());
    Instrument& b = sim.add(h8sx_config());
    Instrument& k = sim.add(classic_config());
    InstrumentConfig named = stm32_config();
    named.socket = "Chrmtk0-0";
    Instrument& n = sim.add(named);
    EXPECT_THROW(sim.add(classic_config()), std::invalid_argument);  // ezusb-0 is taken
    sim.start();

    EXPECT_EQ(a.socket_path().filename(), "dev0");
    EXPECT_EQ(b.socket_path().filename(), "dev1");
    EXPECT_EQ(n.socket_path(), dir.path() / "usb" / "Chrmtk0-0");
    for (Instrument* i : {&a, &b, &k, &n}) {
        auto c = ChannelClient::connect(i->socket_path());
        ASSERT_TRUE(c) << i->socket_path();
        EXPECT_TRUE(c->call(usbchannel::kReadDescriptorEzusb, {}, 18)->success);
    }
    sim.stop();
    EXPECT_FALSE(std::filesystem::exists(a.socket_path()));
    EXPECT_FALSE(std::filesystem::exists(k.socket_path()));
}

}  // namespace
}  // namespace tola::sim::test
