// What the Chromatik V keeps through a restart: the boot loader holds an
// instrument whose application area has no valid header block and then serves
// only flash and its commands; only settings stored with state 53 come back; and
// faults that carry out a write or command but lose its acknowledgement.
#include "sim/boot_loader_faults.h"
#include "sim/command_line.h"
#include "sim/firmware_header.h"
#include "tests/sim/link_test_support.h"

namespace tola::sim::test {
namespace {

constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kHeader = kFlash + 0xC000;

Bytes header_bytes(const std::string& release) {
    const auto h = make_firmware_header(release, "May 1, 2024");
    return Bytes(h.begin(), h.end());
}

// Enters the boot loader, replaces sector 3 (a piece of image, then the header
// block unless header is empty) and leaves with command 10; returns once the
// instrument is back.
void reprogram(Harness& h, ChannelClient& c, const std::string& header) {
    ASSERT_TRUE(ctl_command(c, 11, 0));
    ASSERT_TRUE(ctl_command(c, 9, 3));
    ASSERT_EQ(ctl_write(c, 4, kHeader + 0x40, Bytes(64, 0x5A)), 8);
    if (!header.empty()) {
        const Bytes block = header_bytes(header);
        ASSERT_EQ(ctl_write(c, 4, kHeader, block), 8);
    }
    ASSERT_TRUE(ctl_command(c, 10, 0));
    ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
    ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));
}

// Host command "set state 53": the firmware stores its settings permanently.
void store_settings(ChannelClient& c, std::uint32_t host_block) {
    Bytes words(8, 0);
    put_le32(words, 0, 0x2);
    put_le32(words, 4, 53);
    ASSERT_EQ(ctl_write(c, 2, host_block, words), 8);
}

struct AppCase {
    const char* name;
    const char* fault;   // applied before programming
    std::string header;  // written last; empty: none
    bool boot_loader;    // stays in the boot loader after command 10
};

void PrintTo(const AppCase& c, std::ostream* os) { *os << c.name; }

class Application : public ::testing::TestWithParam<AppCase> {};

TEST_P(Application, WithoutAValidHeaderOnlyTheBootLoaderAnswers) {
    const AppCase& p = GetParam();
    Harness h{stm32_config()};
    auto c = h.connect();
    const std::uint32_t table = h.instrument.layout().table_address;
    if (*p.fault) {
        ASSERT_TRUE(h.instrument.inject(p.fault));
    }
    // While the boot loader runs for an update, RAM is out of reach already.
    ASSERT_TRUE(ctl_command(c, 11, 0));
    EXPECT_FALSE(ctl_read(c, 1, table, 16));
    ASSERT_NO_FATAL_FAILURE(reprogram(h, c, p.header));
    c = h.connect();

    EXPECT_EQ(h.instrument.in_update_mode(), p.boot_loader);
    EXPECT_EQ(ctl_read(c, 1, table, 16).has_value(), !p.boot_loader);
    EXPECT_EQ(ctl_write(c, 2, h.instrument.layout().addresses[tw::kHost], Bytes(8, 0)), p.boot_loader ? 15 : 8);
    EXPECT_TRUE(ctl_read(c, 3, kFlash + 0xC040, 16));
    EXPECT_EQ(h.instrument.firmware(), p.boot_loader ? "511vLE" : p.header);
    if (!p.boot_loader) return;
    // Command 10 cannot leave it either, until a valid application is in place.
    ASSERT_TRUE(ctl_command(c, 10, 0));
    ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
    ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));
    c = h.connect();
    EXPECT_TRUE(h.instrument.in_update_mode());
    ASSERT_TRUE(h.instrument.inject("clear"));
    ASSERT_NO_FATAL_FAILURE(reprogram(h, c, "512bLE"));
    c = h.connect();
    EXPECT_FALSE(h.instrument.in_update_mode());
    EXPECT_EQ(h.instrument.firmware(), "512bLE");
    EXPECT_TRUE(ctl_read(c, 1, table, 16));
}

INSTANTIATE_TEST_SUITE_P(Cases, Application,
                         ::testing::Values(AppCase{"Erased", "", "", true},
                                           AppCase{"WeakCellInHeader", "weak-flash=0x0800C012", "512bLE", true},
                                           AppCase{"WeakCellInImage", "weak-flash=0x0800C050", "512bLE", false},
                                           AppCase{"Valid", "", "512bLE", false}),
                         [](const auto& test) { return std::string(test.param.name); });

struct SettingsCase {
    const char* name;
    bool stored;            // 0xEE stored with state 53 before 0x77 is written
    const char* firmware;   // after the restart (511vLE: the same)
    bool reset_settings;
    bool expect_stored;     // 0xEE comes back; else the firmware's defaults
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class SettingsAfterRestart : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsAfterRestart, OnlyWhatWasStoredComesBack) {
    const SettingsCase& p = GetParam();
    InstrumentConfig config = stm32_config();
    config.reset_settings_on_restart = p.reset_settings;
    Harness h{config};
    auto c = h.connect();
    const std::uint32_t settings = h.instrument.layout().addresses[tw::kSettings];
    const std::uint32_t host = h.instrument.layout().addresses[tw::kHost];
    const Bytes factory = *h.instrument.peek(settings, 16);
    ASSERT_NE(factory, Bytes(16, 0xEE));
    if (p.stored) {
        ASSERT_EQ(ctl_write(c, 2, settings, Bytes(16, 0xEE)), 8);
        ASSERT_NO_FATAL_FAILURE(store_settings(c, host));
    }
    ASSERT_EQ(ctl_write(c, 2, settings, Bytes(16, 0x77)), 8);  // never stored
    if (std::string(p.firmware) == "511vLE") {
        ASSERT_TRUE(ctl_command(c, 11, 0));
        ASSERT_TRUE(ctl_command(c, 10, 0));
        ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
        ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));
    } else {
        ASSERT_NO_FATAL_FAILURE(reprogram(h, c, p.firmware));
    }
    c = h.connect();
    EXPECT_EQ(h.instrument.firmware(), p.firmware);
    EXPECT_EQ(ctl_read(c, 1, settings, 16), p.expect_stored ? Bytes(16, 0xEE) : factory);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsAfterRestart,
                         ::testing::Values(SettingsCase{"StoredSameFirmware", true, "511vLE", true, true},
                                           SettingsCase{"UnstoredSameFirmware", false, "511vLE", true, false},
                                           SettingsCase{"StoredNewFirmwareDefaults", true, "512bLE", true, false},
                                           SettingsCase{"StoredNewFirmwareKeeps", true, "512bLE", false, true},
                                           SettingsCase{"UnstoredNewFirmwareKeeps", false, "512bLE", false, false}),
                         [](const auto& test) { return std::string(test.param.name); });

std::size_t lost_acks(const Instrument& i) {
    std::size_t n = 0;
    for (const auto& e : i.journal().entries(EventKind::Refused)) n += e.text.find("acknowledgement lost") != std::string::npos;
    return n;
}

TEST(LostAcknowledgement, UsbWriteAndCommandsAreCarriedOutButFail) {
    Harness h{stm32_config()};
    auto c = h.connect();
    ASSERT_TRUE(h.instrument.inject("lose-ack-command=11"));
    EXPECT_FALSE(ctl_command(c, 11, 0));
    EXPECT_TRUE(h.instrument.in_update_mode());

    ASSERT_TRUE(h.instrument.inject("lose-ack-command=9"));
    EXPECT_FALSE(ctl_command(c, 9, 3));
    EXPECT_EQ(*h.instrument.peek(kHeader, 4), Bytes(4, 0xFF));

    ASSERT_TRUE(h.instrument.inject("lose-ack-write=0x0800C010:1"));
    const Bytes header = header_bytes("512bLE");
    EXPECT_FALSE(ctl_write(c, 4, kHeader, header));  // the reply never comes
    EXPECT_EQ(*h.instrument.peek(kHeader, 64), header);
    EXPECT_EQ(ctl_write(c, 4, kHeader + 0x40, Bytes(16, 1)), 8);  // the count ran out

    ASSERT_TRUE(h.instrument.inject("lose-ack-command=10"));
    const Bytes block = request_block(10, 0, 64, false);
    ASSERT_TRUE(c.call(usbchannel::kSendBlock, block, 0)->success);
    EXPECT_FALSE(c.call(usbchannel::kSendBlock, block, 0)->success);
    ASSERT_TRUE(h.instrument.journal().wait_for(EventKind::Restart, 1, 5s));
    EXPECT_EQ(h.instrument.firmware(), "512bLE");
    EXPECT_EQ(lost_acks(h.instrument), 4u);
}

// The boot loader of the byte-stream links serves flash but not RAM, and loses
// acknowledgements as told.
TEST(LostAcknowledgement, ByteStreamLinksAnswerWithARefusal) {
    for (int kind : {9, 10}) {
        SCOPED_TRACE(kind);
        LinkHarness h{link_config(kind)};
        auto wire = h.wire();
        constexpr std::uint32_t kConfirmation = 0x0A3E5C71;
        ASSERT_TRUE(wire.read_memory(51, 0x20000000, 16));
        ASSERT_TRUE(kind == 10 ? wire.send_block(61, address_block(kConfirmation, 4)) == 61 : wire.command(61) == 61);
        EXPECT_FALSE(wire.read_memory(51, 0x20000000, 16));
        EXPECT_NE(wire.write_memory(52, 0x20000000, Bytes(8, 0)), 52);
        EXPECT_TRUE(wire.read_memory(53, kHeader, 64));
        ASSERT_EQ(wire.send_block(59, address_block(3, 4)), 59);
        ASSERT_TRUE(h.instrument.inject("lose-ack-write=0x0800C000"));
        const Bytes header = header_bytes("512bLE");
        EXPECT_EQ(wire.write_memory(54, kHeader, header), link::kWrongCommand);
        EXPECT_EQ(*h.instrument.peek(kHeader, 64), header);
        ASSERT_TRUE(h.instrument.inject("lose-ack-command=10"));
        EXPECT_EQ(kind == 10 ? wire.send_block(60, address_block(kConfirmation, 4)) : wire.command(60),
                  link::kWrongCommand);
        ASSERT_TRUE(h.instrument.journal().wait_for(EventKind::Restart, 1, 5s));
        EXPECT_EQ(h.instrument.firmware(), "512bLE");
        EXPECT_EQ(lost_acks(h.instrument), 2u);
    }
}

// Every fault the help lists for the boot loader starts an instrument from the
// command line as well as on the control socket.
TEST(BootLoaderFaults, EveryListedFaultIsTakenOnTheCommandLine) {
    const std::string help = usage_text();
    const auto from = help.find("boot loader (every link):");
    const auto to = help.find("serial and Bluetooth faces:");
    ASSERT_NE(from, std::string::npos);
    std::vector<std::string> names;
    std::size_t at = help.find('\n', from);
    while (at < to) {
        const auto line_end = help.find('\n', at + 1);
        const std::string line = help.substr(at + 1, line_end - at - 1);
        const auto start = line.find_first_not_of(' ');
        const auto eq = line.find('=', start);
        if (start == 24 && eq != std::string::npos) names.push_back(line.substr(start, eq - start));
        at = line_end;
    }
    ASSERT_GE(names.size(), 6u);
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string fault = name + "=0x0800C000";
        EXPECT_TRUE(is_boot_loader_fault(fault));
        std::string error;
        const std::vector<std::string_view> args{"--kind", "4", "--fault", fault};
        const auto o = parse_command_line(args, "/d/usb", &error);
        ASSERT_TRUE(o) << error;
        EXPECT_NO_THROW(Instrument{o->instruments.at(0)});
        EXPECT_TRUE(Instrument(stm32_config()).inject(fault));
    }
    std::string error;
    EXPECT_FALSE(parse_command_line(std::vector<std::string_view>{"--fault", "lose-ack-write=x"}, "/d", &error));
}

}  // namespace
}  // namespace tola::sim::test
