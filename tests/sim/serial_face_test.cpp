// The serial faces over pseudo-terminals: the memory-mapped generation (kinds 8,
// 9) and the classic instrument (kind 2), driven by a host written from the wire
// description.
#include "tests/sim/link_test_support.h"

namespace tola::sim::test {
namespace {

TEST(SerialFace, LinkCheckNamesTheGeneration) {
    for (const auto& [kind, answer] : {std::pair{8, 230}, std::pair{9, 231}, std::pair{2, 1}}) {
        LinkHarness h(link_config(kind));
        EXPECT_TRUE(h.instrument.serial_path().string().starts_with("/dev/pts/")) << kind;
        auto wire = h.wire();
        EXPECT_EQ(wire.command(1), answer) << kind;
    }
}

TEST(SerialFace, UnknownCodeIsRefused) {
    LinkHarness h(link_config(9));
    auto wire = h.wire();
    EXPECT_EQ(wire.command(99), 200);
    EXPECT_EQ(wire.command(1), 231);  // and the line goes on
}

TEST(SerialFace, ReadsTheStructureTableAndVersionThroughRam) {
    LinkHarness h(link_config(9));
    auto wire = h.wire();
    const auto table = wire.read_memory(51, 0x20000000, 96);
    ASSERT_TRUE(table);
    EXPECT_EQ(*table, *h.instrument.peek(0x20000000, 96));
    const std::uint32_t version = le32(*table, 0);
    const auto block = wire.read_memory(51, version, 260);
    ASSERT_TRUE(block);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block->data()) + 26), "H51234");
}

TEST(SerialFace, MemoryWindowsAdmitOnlyWhatFitsUnderTheirCode) {
    LinkHarness h(link_config(8));
    auto wire = h.wire();
    EXPECT_TRUE(wire.read_memory(51, 0x2000FFF0, 16));
    EXPECT_EQ(wire.send_block(51, address_block(0x2000FFF0, 17)), 201);
    EXPECT_EQ(wire.send_block(53, address_block(0x20000000, 4)), 201);  // RAM under the flash code
    EXPECT_EQ(wire.send_block(51, address_block(0x08000000, 4)), 201);
    const auto flash = wire.read_memory(53, 0x08000000, 600);  // two packets: 500 + 100
    ASSERT_TRUE(flash);
    EXPECT_EQ(*flash, *h.instrument.peek(0x08000000, 600));
    EXPECT_TRUE(wire.read_memory(55, 0x40000000, 8));
    EXPECT_EQ(wire.send_block(55, address_block(0x50040000, 4)), 201);
}

TEST(SerialFace, RamWriteLandsInMemory) {
    LinkHarness h(link_config(9));
    auto wire = h.wire();
    Bytes data(700);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(wire.write_memory(52, 0x2000A000, data), 52);
    EXPECT_EQ(*h.instrument.peek(0x2000A000, 700), data);
    EXPECT_EQ(wire.write_memory(56, 0x40001000, Bytes{1, 2, 3, 4}), 56);
    EXPECT_EQ(*h.instrument.peek(0x40001000, 4), (Bytes{1, 2, 3, 4}));
}

TEST(SerialFace, ControllerCodesEnterUpdateEraseAndRestart) {
    auto config = link_config(9);
    config.restart_silence = 1500ms;
    LinkHarness h(config);
    auto wire = h.wire();
    EXPECT_EQ(wire.command(62), 62);
    EXPECT_EQ(wire.command(61), 61);
    EXPECT_TRUE(h.instrument.in_update_mode());

    Bytes erase = address_block(5, 4);
    EXPECT_EQ(wire.send_block(59, erase), 59);
    const auto erased = h.instrument.journal().entries(EventKind::Erase);
    ASSERT_EQ(erased.size(), 1u);
    EXPECT_EQ(erased[0].value, 5u);
    EXPECT_EQ(wire.send_block(59, address_block(99, 4)), 201);  // no such sector

    EXPECT_EQ(wire.command(60), 60);
    EXPECT_TRUE(h.instrument.journal().wait_for(EventKind::Restart, 1, 2s));
    EXPECT_FALSE(h.instrument.in_update_mode());
    wire.send_byte(1);
    EXPECT_TRUE(wire.quiet());  // restarting: silent
    std::optional<std::uint8_t> back;
    for (int i = 0; i < 20 && !back; ++i) {
        wire.send_byte(1);
        back = wire.receive_byte(250ms);
    }
    EXPECT_EQ(back, 231);
}

TEST(SerialFace, FlashWriteOutsideUpdateModeIsRefused) {
    LinkHarness h(link_config(9));
    auto wire = h.wire();
    EXPECT_EQ(wire.write_memory(54, 0x08060000, Bytes(16, 0x55)), 201);
}

TEST(SerialFace, DroppedLineStaysDeadUntilReplugged) {
    LinkHarness h(link_config(8));
    auto wire = h.wire();
    ASSERT_TRUE(h.instrument.inject("drop-link"));
    wire.send_byte(1);
    EXPECT_TRUE(wire.quiet());
    wire.send_byte(1);
    EXPECT_TRUE(wire.quiet());
    h.instrument.replug();
    EXPECT_EQ(wire.command(1), 230);
}

TEST(SerialFace, BadSumFaultReachesTheWire) {
    LinkHarness h(link_config(9));
    auto wire = h.wire();
    ASSERT_TRUE(h.instrument.inject("bad-sum"));
    EXPECT_EQ(wire.send_block(51, address_block(0x20000000, 96)), 51);
    EXPECT_FALSE(wire.receive_block(51));
    wire.send_byte(202);  // the host refuses; the next read is clean
    EXPECT_TRUE(wire.read_memory(51, 0x20000000, 96));
}

// --- classic instrument (kind 2) ---

TEST(ClassicSerialFace, DownloadsAnswerWithTheirMessages) {
    LinkHarness h(link_config(2));
    auto wire = h.wire();
    const auto layout = h.instrument.layout();

    wire.send_byte(30);  // no acknowledgement: the message's code opens the first packet
    const auto version = wire.receive_block(152);
    ASSERT_TRUE(version);
    ASSERT_EQ(version->size(), 260u);
    EXPECT_EQ(*version, *h.instrument.peek(layout.addresses[0], 260));

    wire.send_byte(40);
    const auto table = wire.receive_block(161);
    ASSERT_TRUE(table);
    EXPECT_EQ(*table, *h.instrument.peek(layout.table_address, 96));
    EXPECT_EQ(be32(*table, 4), layout.addresses[1]);  // big-endian, like the first generation

    wire.send_byte(31);
    const auto setup = wire.receive_block(151);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->size(), layout.sizes[1]);

    wire.send_byte(36);  // the second shade table, whole: the four lie back to back
    const auto tab = wire.receive_block(158);
    ASSERT_TRUE(tab);
    ASSERT_EQ(tab->size(), layout.sizes[2]);
    EXPECT_EQ(*tab, *h.instrument.peek(layout.addresses[2] + layout.sizes[2], layout.sizes[2]));

    wire.send_byte(41);
    const auto results = wire.receive_block(162);
    ASSERT_TRUE(results);
    EXPECT_EQ(results->size(), layout.sizes[5] / 12 * 3);
}

TEST(ClassicSerialFace, ParametersBlockIsKeptAndSentBack) {
    LinkHarness h(link_config(2));
    auto wire = h.wire();
    const Bytes parameters{0xFF, 0xF6, 0, 0, 0x03, 0xE8, 0x00, 0x14, 0, 0};
    EXPECT_EQ(wire.send_block(142, parameters), 142);
    wire.send_byte(32);
    EXPECT_EQ(wire.receive_block(153), parameters);
    EXPECT_EQ(wire.send_block(142, Bytes(9, 0)), 208);  // the block has ten bytes
}

TEST(ClassicSerialFace, EchoAndDisplayCommandsAreAcknowledged) {
    LinkHarness h(link_config(2));
    auto wire = h.wire();
    for (int code : {6, 9, 10, 11, 12, 26, 27, 17, 19, 21})
        EXPECT_EQ(wire.command(static_cast<std::uint8_t>(code)), code);
    EXPECT_EQ(wire.command(128), 128);  // Display Clear as a plain command
    Bytes item(25, 0);
    item[20] = 'H';
    EXPECT_EQ(wire.send_block(129, item), 129);
    EXPECT_EQ(wire.command(1), 1);
}

TEST(ClassicSerialFace, LiveEchoRunsFromFourUntilSix) {
    LinkHarness h(link_config(2));
    auto wire = h.wire();
    EXPECT_EQ(wire.command(4), 4);
    auto header = wire.receive_header();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->code, 176);
    EXPECT_EQ(header->length, h.instrument.layout().sizes[6]);
    EXPECT_EQ(header->total, 1);
    wire.receive(header->length);
    wire.send_byte(6);
    // Whatever live packet was already on its way, then the acknowledgement, then quiet.
    for (;;) {
        auto b = wire.receive_byte();
        ASSERT_TRUE(b);
        if (*b == 6) break;
        ASSERT_EQ(*b, 176);
        auto rest = wire.receive(7);
        wire.receive(static_cast<std::size_t>(rest[0] | rest[1] << 8));
    }
    EXPECT_TRUE(wire.quiet(400ms));
}

TEST(ClassicSerialFace, EchoesTriggerMeasurementAndLampOnItsOwn) {
    LinkHarness h(link_config(2));
    auto wire = h.wire();
    for (int code : {9, 26, 11, 15}) ASSERT_EQ(wire.command(static_cast<std::uint8_t>(code)), code);
    const auto layout = h.instrument.layout();

    h.instrument.press_trigger();
    auto header = wire.receive_header();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->code, 172);  // the switches: one packet, nobody acknowledges it
    EXPECT_EQ(header->total, 1);
    EXPECT_EQ(wire.receive(header->length), (Bytes{0x00, 0x01}));

    const auto details = wire.receive_block(155);
    ASSERT_TRUE(details);
    EXPECT_EQ(details->size(), layout.sizes[4]);
    const auto results = wire.receive_block(162);
    ASSERT_TRUE(results);
    const std::uint32_t entry = layout.results_entry;
    ASSERT_EQ(results->size(), 3 * entry);
    // The newest entry comes first: the one the measurement just filled.
    const Bytes newest(results->begin(), results->begin() + entry);
    EXPECT_EQ(newest, *h.instrument.peek(layout.addresses[5], entry)) << "the first measurement fills entry 0";
    EXPECT_TRUE(wire.quiet(300ms));

    EXPECT_EQ(wire.command(19), 19);  // lamp on
    header = wire.receive_header();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->code, 173);
    EXPECT_EQ(wire.receive(header->length), (Bytes{0x01}));

    // Echoes off: a measurement says nothing.
    for (int code : {10, 27, 12, 16}) ASSERT_EQ(wire.command(static_cast<std::uint8_t>(code)), code);
    h.instrument.press_trigger();
    EXPECT_TRUE(wire.quiet(600ms));
}

}  // namespace
}  // namespace tola::sim::test
