// The instrument's end of the packet protocol, driven byte by byte with a
// handler that records what reached it and a clock the test moves by hand.
#include <gtest/gtest.h>

#include "sim/packet_peer.h"
#include "tests/sim/link_test_support.h"

namespace tola::sim::test {
namespace {

struct Recorder : LinkHandler {
    std::vector<std::pair<std::uint8_t, Bytes>> blocks;
    std::optional<std::uint8_t> refuse_blocks;
    Bytes reply;

    CodeAction on_code(std::uint8_t code, Clock::time_point) override {
        switch (code) {
            case 1: return CodeAction::answer(230);
            case 40: return CodeAction::receive(std::nullopt);
            case 41: return CodeAction::receive(std::nullopt, true);
            case 42: return CodeAction::receive(8);
            case 43: return CodeAction::send(150, reply);
            default: return CodeAction::refuse(200);
        }
    }
    BlockAction on_block(std::uint8_t code, std::vector<std::uint8_t> data, Clock::time_point) override {
        blocks.emplace_back(code, data);
        if (refuse_blocks) return BlockAction::refuse(*refuse_blocks);
        if (code == 42 && !reply.empty()) return BlockAction::answer(OutgoingBlock{42, reply});
        return BlockAction::accept();
    }
};

class PacketPeerTest : public ::testing::Test {
protected:
    Bytes feed(const Bytes& in) {
        peer.receive(in, now);
        return peer.take_output();
    }
    Bytes after(std::chrono::milliseconds wait) {
        now += wait;
        peer.tick(now);
        return peer.take_output();
    }
    static Bytes counting(std::size_t n) {
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + 1);
        return b;
    }

    Recorder handler;
    LinkFaults faults;
    PacketPeer peer{handler, faults};
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
};

TEST(PacketHeader, SumWrapsAndXorCoversEveryByte) {
    const Bytes data(300, 0xFF);
    const auto h = header_for(51, data, 2, 1);
    EXPECT_EQ(h.sum, static_cast<std::uint16_t>(300 * 0xFF));
    EXPECT_EQ(h.parity, 0);  // an even count of equal bytes
    const auto raw = encode(h);
    const Bytes wire = packet(51, data, 2, 1);
    EXPECT_EQ(Bytes(raw.begin(), raw.end()), Bytes(wire.begin(), wire.begin() + 8));
    EXPECT_EQ(header_for(7, Bytes{}, 1, 1).sum, 0);
}

TEST_F(PacketPeerTest, BlockOfTwoPacketsIsAcknowledgedPacketByPacket) {
    const Bytes data = counting(501);
    EXPECT_EQ(feed({40}), Bytes{40});
    EXPECT_EQ(feed(packet(40, Bytes(data.begin(), data.begin() + 500), 2, 1)), Bytes{40});
    EXPECT_TRUE(handler.blocks.empty());
    // The last packet arrives in pieces.
    const Bytes last = packet(40, Bytes(data.begin() + 500, data.end()), 2, 2);
    EXPECT_TRUE(feed(Bytes(last.begin(), last.begin() + 3)).empty());
    EXPECT_EQ(feed(Bytes(last.begin() + 3, last.end())), Bytes{40});
    ASSERT_EQ(handler.blocks.size(), 1u);
    EXPECT_EQ(handler.blocks[0].second, data);
    EXPECT_EQ(peer.state(), PacketPeer::State::Idle);
}

TEST_F(PacketPeerTest, EveryCheckOfAPacketHasItsRefusal) {
    auto refusal_for = [&](std::uint8_t code, Bytes wire) {
        peer.reset();
        feed({code});
        return feed(wire);
    };
    Bytes bad_sum = packet(40, {1, 2, 3});
    bad_sum[3] ^= 1;
    EXPECT_EQ(refusal_for(40, bad_sum), Bytes{202});
    Bytes bad_xor = packet(40, {1, 2, 3});
    bad_xor[5] ^= 1;
    EXPECT_EQ(refusal_for(40, bad_xor), Bytes{203});
    EXPECT_EQ(refusal_for(40, packet(41, {1})), Bytes{201});
    Bytes too_long = packet(40, {});
    too_long[1] = 0xF5;  // 501
    too_long[2] = 0x01;
    EXPECT_EQ(refusal_for(40, too_long), Bytes{205});
    EXPECT_EQ(refusal_for(40, packet(40, {1}, 1, 2)), Bytes{207});
    EXPECT_EQ(refusal_for(40, packet(40, {1}, 0, 1)), Bytes{206});
    // Exact-length blocks: complete before the announced packets, or the wrong size.
    EXPECT_EQ(refusal_for(42, packet(42, Bytes(8, 0), 3, 1)), Bytes{206});
    EXPECT_EQ(refusal_for(42, packet(42, Bytes(7, 0), 1, 1)), Bytes{208});
    EXPECT_EQ(refusal_for(42, packet(42, Bytes(9, 0), 1, 1)), Bytes{208});
    EXPECT_TRUE(handler.blocks.empty());
    EXPECT_EQ(feed({77}), Bytes{200});
}

TEST_F(PacketPeerTest, SecondPacketOutOfOrderIsRefused) {
    feed({40});
    EXPECT_EQ(feed(packet(40, {1}, 3, 1)), Bytes{40});
    EXPECT_EQ(feed(packet(40, {2}, 3, 3)), Bytes{207});
    EXPECT_EQ(feed({1}), Bytes{230});  // the line is ready for the next exchange
}

TEST_F(PacketPeerTest, HandlerRefusalReplacesTheLastAcknowledgement) {
    handler.refuse_blocks = 201;
    feed({42});
    EXPECT_EQ(feed(packet(42, Bytes(8, 0))), Bytes{201});
}

TEST_F(PacketPeerTest, StalledTransfersTimeOut) {
    feed({40});
    EXPECT_TRUE(after(1999ms).empty());
    EXPECT_EQ(after(2ms), Bytes{204});
    feed({40});
    const Bytes p = packet(40, {1, 2, 3, 4});
    feed(Bytes(p.begin(), p.begin() + 10));  // header and two of four data bytes
    EXPECT_EQ(after(1001ms), Bytes{204});
    EXPECT_EQ(peer.state(), PacketPeer::State::Idle);
}

TEST_F(PacketPeerTest, OptionalBlockIsAPlainCommandWhenNoHeaderFollows) {
    EXPECT_EQ(feed({41}), Bytes{41});
    EXPECT_EQ(feed({1}), Bytes{230});  // not a header: the byte opens the next exchange
    EXPECT_EQ(feed({41}), Bytes{41});
    EXPECT_TRUE(after(3000ms).empty());
    EXPECT_EQ(feed({41}), Bytes{41});
    EXPECT_EQ(feed(packet(41, {9, 9})), Bytes{41});
    ASSERT_EQ(handler.blocks.size(), 1u);
}

TEST_F(PacketPeerTest, LinkCheckAndCodeOneBlockAreToldApart) {
    EXPECT_EQ(feed({1, 1}), (Bytes{230, 230}));
    EXPECT_EQ(feed(packet(1, Bytes(8, 0))), Bytes{1});
    ASSERT_EQ(handler.blocks.size(), 1u);
    EXPECT_EQ(handler.blocks[0].first, 1);
}

TEST_F(PacketPeerTest, SentBlockWaitsForEachAcknowledgement) {
    handler.reply = counting(1001);
    const Bytes first = feed({43});
    ASSERT_EQ(first.size(), 508u);
    EXPECT_EQ(first, packet(150, Bytes(handler.reply.begin(), handler.reply.begin() + 500), 3, 1));
    EXPECT_EQ(feed({150}).size(), 508u);
    const Bytes third = feed({150});
    EXPECT_EQ(third, packet(150, {handler.reply.back()}, 3, 3));
    EXPECT_EQ(peer.state(), PacketPeer::State::AwaitAck);
    EXPECT_TRUE(feed({150}).empty());
    EXPECT_EQ(peer.state(), PacketPeer::State::Idle);
}

TEST_F(PacketPeerTest, HostRefusalOrNewCodeEndsASentBlock) {
    handler.reply = counting(600);
    feed({43});
    EXPECT_TRUE(feed({202}).empty());
    EXPECT_EQ(peer.state(), PacketPeer::State::Idle);
    feed({43});
    EXPECT_EQ(feed({1}), Bytes{230});
}

TEST_F(PacketPeerTest, ReadAnswerFollowsTheAcknowledgement) {
    handler.reply = {5, 6, 7};
    feed({42});
    const Bytes out = feed(packet(42, Bytes(8, 0)));
    Bytes expected{42};
    const Bytes p = packet(42, {5, 6, 7});
    expected.insert(expected.end(), p.begin(), p.end());
    EXPECT_EQ(out, expected);
}

TEST_F(PacketPeerTest, SendFaultsSpoilOneBlockEach) {
    handler.reply = {1, 2, 3, 4};
    auto sent = [&] {
        peer.reset();
        return feed({43});
    };
    const Bytes clean = packet(150, handler.reply);
    faults.bad_sum = 1;
    Bytes s = sent();
    EXPECT_EQ(s[3], clean[3] + 1);
    EXPECT_EQ(sent(), clean);
    faults.bad_parity = 1;
    EXPECT_NE(sent()[5], clean[5]);
    faults.bad_number = 1;
    EXPECT_EQ(sent()[7], 2);
    faults.short_block = 1;
    EXPECT_EQ(sent(), packet(150, {1, 2, 3}));
    faults.extra_packet = 1;
    EXPECT_EQ(sent(), packet(150, handler.reply, 2, 1));
    EXPECT_EQ(sent(), clean);
}

TEST_F(PacketPeerTest, LineFaultsOnExchanges) {
    faults.mute = 2;
    EXPECT_TRUE(feed({1}).empty());
    EXPECT_TRUE(feed({1}).empty());
    EXPECT_EQ(feed({1}), Bytes{230});
    faults.stray.push_back(230);
    EXPECT_EQ(feed({40}), (Bytes{230, 40}));
    peer.reset();
    faults.nack[1] = 204;
    EXPECT_EQ(feed({1}), Bytes{204});
    EXPECT_EQ(feed({1}), Bytes{230});
    faults.drop = true;
    EXPECT_TRUE(feed({1}).empty());
    EXPECT_TRUE(peer.take_drop());
    EXPECT_FALSE(peer.take_drop());
}

TEST(LinkFaultText, ReadsEveryFormAndRejectsNonsense) {
    LinkFaults f;
    std::string error;
    EXPECT_TRUE(apply_link_fault(f, "bad-sum", &error));
    EXPECT_TRUE(apply_link_fault(f, "mute=3", &error));
    EXPECT_TRUE(apply_link_fault(f, "stray=0xE6:2", &error));
    EXPECT_TRUE(apply_link_fault(f, "nack=51:202", &error));
    EXPECT_TRUE(apply_link_fault(f, "drop-link", &error));
    EXPECT_EQ(f.bad_sum, 1);
    EXPECT_EQ(f.mute, 3);
    EXPECT_EQ(f.stray, (std::deque<std::uint8_t>{230, 230}));
    EXPECT_EQ(f.nack.at(51), 202);
    EXPECT_TRUE(f.drop);

    EXPECT_FALSE(apply_link_fault(f, "nack=51:199", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(apply_link_fault(f, "stray", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(apply_link_fault(f, "unplug", &error));  // not a line fault
    EXPECT_TRUE(error.empty());
}

TEST(LinkConfig, KindsAndBluetoothAddressesAreChecked) {
    InstrumentConfig c;
    for (int kind : {2, 8, 9, 10, 11}) {
        c.kind = kind;
        EXPECT_EQ(validate(c), "") << kind;
    }
    for (int kind : {5, 7, 12}) {
        c.kind = kind;
        EXPECT_NE(validate(c), "") << kind;
    }
    c.kind = 9;
    c.cpu = 1;
    EXPECT_NE(validate(c), "");
    c.cpu = 2;
    c.kind = 10;
    c.bt_address = "00:80:25:AB:CD:0G";
    EXPECT_NE(validate(c), "");
    c.bt_address = "00:80:25:ab:CD:01";
    EXPECT_EQ(validate(c), "");
    c.kind = 8;
    EXPECT_NE(validate(c), "");  // a serial instrument has no radio
    EXPECT_TRUE(apply_setting(c, "fault", "bad-xor=2", nullptr));
    EXPECT_FALSE(apply_setting(c, "fault", "nack=1", nullptr));
    c.kind = 11;
    EXPECT_EQ(c.byte_order(), ByteOrder::Little);
}

}  // namespace
}  // namespace tola::sim::test
