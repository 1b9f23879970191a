// Instrument configuration from files and from the command line.
#include "sim/command_line.h"
#include "sim/control_channel.h"
#include "sim/state_file.h"
#include "sim_test_support.h"

#include <nlohmann/json.hpp>

namespace tola::sim::test {
namespace {

TEST(Config, KeyValueFileWithSeveralInstruments) {
    std::string error;
    const auto list = parse_config_text(
        "# two instruments\nkind=4\ncpu=2\nrelease=CK0A.00.31.00\ndevice-type=0x14CC\n"
        "[instrument]\nkind = 1\nsocket = ezusb-0\nfault=status=0x84\n",
        &error);
    ASSERT_TRUE(list) << error;
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].device_type, 5324u);
    EXPECT_EQ((*list)[1].kind, 1);
    EXPECT_EQ((*list)[1].faults, std::vector<std::string>{"status=0x84"});
}

TEST(Config, JsonFileAndErrors) {
    std::string error;
    auto list = parse_config_text(
        R"({"instruments": [{"kind": 4, "cpu": 1, "release": "CK0A.00.28.00", "reset-settings": false,
                             "faults": ["unplug"]}]})",
        &error);
    ASSERT_TRUE(list) << error;
    EXPECT_EQ((*list)[0].cpu, 1);
    EXPECT_FALSE((*list)[0].reset_settings_on_restart);
    EXPECT_EQ((*list)[0].release_number(), 0x0102);

    EXPECT_FALSE(parse_config_text(R"({"instruments": [{"colour": "red"}]})", &error));
    EXPECT_FALSE(parse_config_text("kind\n", &error));
    EXPECT_FALSE(parse_config_text("{broken", &error));
}

TEST(Config, ValidationAndTimingDefaults) {
    InstrumentConfig c;
    c.kind = 5;  // no such kind (2 is the classic instrument on a serial port)
    EXPECT_FALSE(validate(c).empty());
    c.kind = 4;
    c.cpu = 1;
    c.descriptor_release = 0x0103;
    EXPECT_FALSE(validate(c).empty());
    c.cpu = 2;
    EXPECT_TRUE(validate(c).empty());
    EXPECT_EQ(c.completion_delay(), 20ms);  // done before the host's first 40 ms poll
    c.cpu = 1;
    c.descriptor_release.reset();
    EXPECT_EQ(c.completion_delay(), 0ms);
}

TEST(CommandLine, EachKindStartsAnInstrument) {
    const std::vector<std::string_view> args{"--usb-dir", "/run/x/usb", "--kind", "4", "--cpu", "2", "--release",
                                             "CK0A.00.31.00", "--firmware", "511vLE", "--serial", "H51234",
                                             "--device-type", "5324", "--kind", "3", "--fault", "unplug"};
    std::string error;
    const auto o = parse_command_line(args, "/default/usb", &error);
    ASSERT_TRUE(o) << error;
    ASSERT_EQ(o->instruments.size(), 2u);
    EXPECT_EQ(o->instruments[0].serial, "H51234");
    EXPECT_EQ(o->instruments[1].kind, 3);
    EXPECT_EQ(o->state_file, "/run/x/sim-state.json");

    EXPECT_FALSE(parse_command_line(std::vector<std::string_view>{"--kind"}, "/d", &error));
    EXPECT_FALSE(parse_command_line(std::vector<std::string_view>{"--kind", "7"}, "/d", &error));
    EXPECT_FALSE(parse_command_line(std::vector<std::string_view>{"--fault", "nonsense"}, "/d", &error));
    const auto none = parse_command_line(std::vector<std::string_view>{}, "/d/usb", &error);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->instruments.size(), 1u);
}

TEST(ControlChannel, FaultsAndJournalsByLine) {
    Harness h(stm32_config());
    EXPECT_EQ(control_command(h.simulator, "0 refuse=0x22240C"), "ok");
    EXPECT_EQ(control_command(h.simulator, "7 unplug"), "error no such instrument");
    EXPECT_EQ(control_command(h.simulator, "0 explode").rfind("error", 0), 0u);
    auto c = h.connect();
    EXPECT_FALSE(c.call(usbchannel::kReadDescriptor, {}, 18)->success);
    const std::string journal = control_command(h.simulator, "journal 0");
    EXPECT_NE(journal.find("request code=0x22240C"), std::string::npos);

    const auto state = nlohmann::json::parse(state_json(h.simulator));
    EXPECT_EQ(state["instruments"][0]["socket"], h.instrument.socket_path().string());
}

}  // namespace
}  // namespace tola::sim::test
