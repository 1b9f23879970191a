// A bench of several instruments: the host names the one it wants by serial
// number, USB socket or both; every other one is passed over without a write.
#include "sim_fixture.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

struct Attached {
    int kind;
    const char* serial;
    const char* fault = "";    // injected once it is served
    int com = 0;               // serial kinds: the COM port it is behind
    bool boot_loader = false;  // left in its boot loader before the search
};

struct Case {
    const char* name;
    std::vector<Attached> attached;
    std::uint32_t port;
    const char *serial, *socket;  // the limit (serial nullptr: the bit not set)
    int result;
    const char* found;             // serial number connected to; nullptr: none
    const char* rs232;             // snRS232 afterwards
    const char* status = nullptr;  // ssStatus afterwards; nullptr: not looked at
    bool as_without_limit = false;  // all as the open of the first socket without a limit gives
};

std::size_t writes(const sim::Instrument& i) {
    std::size_t n = 0;
    for (EventKind k : {EventKind::MemoryWrite, EventKind::FlashWrite, EventKind::Erase, EventKind::ControllerCommand,
                        EventKind::HostCommand, EventKind::BootMode})
        n += i.journal().count(k);
    return n;
}

class Limited : public SimTest, public ::testing::WithParamInterface<Case> {
protected:
    std::string outcome(std::int32_t result) const {
        return std::to_string(result) + " " + std::to_string(comm_.tStatus) + " " + comm_.ssStatus + " " + comm_.snDevice;
    }
};

TEST_P(Limited, TakesTheNamedInstrumentAndWritesToNoOther) {
    const Case& p = GetParam();
    std::vector<sim::InstrumentConfig> configs;
    for (const Attached& a : p.attached) {
        configs.push_back(config(a.kind, 2, a.kind == 1 ? "CK0A.00.20.00" : "CK0A.00.31.00"));
        configs.back().serial = a.serial;
    }
    start_all(configs);
    for (std::size_t i = 0; i < p.attached.size(); ++i) {
        const Attached& a = p.attached[i];
        sim::Instrument& instrument = sim_->instrument(i);
        ASSERT_TRUE(!*a.fault || instrument.inject(a.fault));
        if (a.com != 0) use_serial_port(a.com, instrument);
        if (instrument.config().bluetooth_link()) {
            ASSERT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(2)));
            BT_DEVICE device{};
            std::strcpy(device.snBtAddress, instrument.bt_address().c_str());
            TOLA_comm_bt_set_device_ex(&device, sizeof device);
        }
        if (a.boot_loader) {
            pin("", instrument.socket_path().filename().c_str());
            ASSERT_EQ(1, connect());
            ASSERT_EQ(1, bTOLA_comm_Controller_command(11, 0));
            TOLA_comm_close();
        }
    }
    std::string without_limit;
    if (p.as_without_limit) {
        without_limit = outcome(connect(p.port));
        TOLA_comm_close();
    }
    for (std::size_t i = 0; i < sim_->size(); ++i) sim_->instrument(i).journal().clear();

    if (p.serial != nullptr) pin(p.serial, p.socket);
    std::int32_t result = connect(p.port);
    if (p.port == TOLA_PORT_SEARCH && result == 3) result = connect(p.port);  // the automatic search goes on
    EXPECT_EQ(p.result, result) << comm_.ssStatus;
    EXPECT_STREQ(p.rs232, comm_.snRS232);
    if (p.as_without_limit) {
        EXPECT_EQ(without_limit, outcome(result));
    }
    if (p.status != nullptr) {
        EXPECT_STREQ(p.status, comm_.ssStatus);
    }
    if (p.found == nullptr) {
        EXPECT_EQ(std::make_pair(-1, -1), std::make_pair(comm_.hUSB, comm_.hRS232)) << "no handle left open";
        EXPECT_EQ(TOLA_STATUS_WRONG_DEVICE, comm_.tStatus & (TOLA_STATUS_WRONG_DEVICE | TOLA_STATUS_INTERFACED));
    }
    EXPECT_STREQ(p.found != nullptr ? p.found : p.serial, comm_.snSerial_number);
    for (std::size_t i = 0; i < sim_->size(); ++i) {
        const bool taken = p.found != nullptr && p.attached[i].serial == std::string(p.found);
        EXPECT_TRUE(taken || writes(sim_->instrument(i)) == 0) << "written to " << p.attached[i].serial;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bench, Limited,
    ::testing::Values(
        Case{"NoLimitTakesTheFirstSocket", {{4, "H51234"}, {4, "H51235"}}, 1, nullptr, "", 1, "H51234", ""},
        Case{"SerialAtTheDriverSocket", {{4, "H51234"}, {1, "H51235"}}, 1, "H51235", "", 1, "H51235", "ezusb-0"},
        Case{"Socket", {{4, "H51234"}, {4, "H51235"}}, 1, "", "dev1", 1, "H51235", "dev1"},
        Case{"WantedOneSilent", {{4, "H51234"}, {4, "H51235", "silent=1:100"}, {3, "-"}}, 1, "H51235", "", 3, nullptr,
             "", "Instrument H51235 not found; answering: H51234 on dev0, no serial number on dev2"},
        Case{"BootLoaderPassedOverForASerialNumber", {{4, "H51234", "", 0, true}, {4, "H51235"}}, 1, "H51235", "", 1,
             "H51235", "dev1"},
        Case{"BootLoaderTakenAtItsNamedSocket", {{4, "H51234", "", 0, true}, {4, "H51235"}}, 1, "H51235", "dev0", 3,
             "H51235", "dev0", "Software not loaded", true},
        Case{"OtherOnAFixedComPort", {{8, "H51234", "", 3}}, TOLA_PORT_COM1 + 2, "H51235", "", 3, nullptr, "COM3",
             "Instrument H51235 not found; answering: H51234 on COM3"},
        Case{"OtherOverBluetooth", {{10, "H51234"}}, TOLA_PORT_BLUETOOTH, "H51235", "", 3, nullptr, "Bluetooth",
             "Instrument H51235 not found; answering: H51234 on Bluetooth"},
        Case{"SerialTwiceIsTakenNowhere", {{4, "H51234"}, {4, "H51235"}, {4, "H51234"}}, 1, "H51234", "", 3, nullptr, "",
             "Instrument H51234 answers on dev0, dev2: more than one instrument has this serial number; name the "
             "socket as well"},
        Case{"SerialTwiceTakenAtItsNamedSocket", {{4, "H51234"}, {4, "H51234"}}, 1, "H51234", "dev1", 1, "H51234",
             "dev1"},
        Case{"AutomaticSearchPassesOverUsb", {{4, "H51234"}, {8, "H51235", "", 1}}, TOLA_PORT_SEARCH, "H51235", "", 1,
             "H51235", "COM1"}),
    [](const auto& row) { return std::string(row.param.name); });

class SearchLimitLife : public SimTest {};

// The bit is the host's: taken once, it lasts through the steps of its search;
// a fresh start without it, or a close, searches every instrument again.
TEST_F(SearchLimitLife, LastsUntilAFreshStartOrAClose) {
    std::vector<sim::InstrumentConfig> configs{config(4), config(4)};
    configs[1].serial = "H51235";
    start_all(configs);
    // Each step with the device closed: an open one is only identified again.
    auto step = [&](std::uint32_t status) {
        usb::close();
        comm_.tStatus = status;
        return connect() == 1 ? std::string(comm_.snSerial_number) : "";
    };
    pin("H51235", "");
    EXPECT_EQ("H51235", step(TOLA_STATUS_PINNED));
    EXPECT_EQ("H51235", step(comm_.tStatus)) << "a later step of the same search";
    EXPECT_EQ("H51234", step(0)) << "a fresh start";
    pin("H51235", "");
    EXPECT_EQ("H51235", step(TOLA_STATUS_PINNED));
    TOLA_comm_close();
    EXPECT_EQ("H51234", step(TOLA_STATUS_TESTING)) << "no fresh start: the close dropped the limit";

    // A serial number without its end is refused, and stays as the host wrote it.
    pin("", "");
    std::memset(comm_.snSerial_number, 'H', sizeof comm_.snSerial_number);
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(&comm_));
    EXPECT_STREQ("Instrument limit refused: snSerial_number is not a terminated text", comm_.ssStatus);
    EXPECT_EQ('H', comm_.snSerial_number[sizeof(TNAME) - 1]);
}

}  // namespace
}  // namespace tola::testing
