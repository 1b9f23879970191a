// What the connection functions do before any link answers: record checks,
// the hold bit, close and the interface name.
#include "comm/api/library_state.h"
#include "comm/platform/diagnostics.h"
#include "tola_comm.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Points the USB folder where no instrument can be, whatever runs in the
// user's session, and puts the old value back.
class NoUsbInstrument {
public:
    NoUsbInstrument() {
        if (const char* v = std::getenv("TOLA_USB_DIR")) old_ = v;
        ::setenv("TOLA_USB_DIR", "/nonexistent/tola-test-usb", 1);
    }
    ~NoUsbInstrument() {
        if (old_) ::setenv("TOLA_USB_DIR", old_->c_str(), 1);
        else ::unsetenv("TOLA_USB_DIR");
    }
    NoUsbInstrument(const NoUsbInstrument&) = delete;
    NoUsbInstrument& operator=(const NoUsbInstrument&) = delete;

private:
    std::optional<std::string> old_;
};

PXM_COMM fresh_record(std::uint32_t port) {
    PXM_COMM c;
    std::memset(&c, 0, sizeof c);
    c.dSize = sizeof c;
    c.iPort = port;
    return c;
}

TEST(OpenCall, MissingRecordShowsTheErrorBox) {
    std::string caption, text;
    tola::platform::set_message_box_sink([&](std::string_view c, std::string_view t) {
        caption = c;
        text = t;
    });
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(nullptr));
    tola::platform::set_message_box_sink({});
    EXPECT_EQ("ERROR", caption);
    EXPECT_EQ("lpComm not defined", text);
}

TEST(OpenCall, WrongRecordSizeIsAnInternalError) {
    PXM_COMM c = fresh_record(1);
    c.dSize = 660;
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(&c));
    EXPECT_EQ(0x1008u, c.tStatus);
    EXPECT_STREQ("Internal errror\r\nsizeof(PXM_COMM) != dSize", c.ssStatus);
    // Later calls find the wrong size too.
    EXPECT_EQ(0, bTOLA_comm_test());
    EXPECT_STREQ("Interface Failure, wrong version", c.ssStatus);
    char name[501];
    EXPECT_EQ(0, bTOLA_comm_get_interface_name(name));
    EXPECT_STREQ("Not Interfaced, incompatable version version", name);
    EXPECT_EQ(0x10000u, c.tStatus);
}

TEST(OpenCall, RecordTooShortForItsStatusIsNeverWritten) {
    // A caller's record of 100 bytes: not even the status text lies inside it.
    std::array<unsigned char, sizeof(PXM_COMM)> memory{};
    memory.fill(0x5A);
    auto* record = reinterpret_cast<PXM_COMM*>(memory.data());
    record->dSize = 100;
    const auto before = memory;
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(record));
    EXPECT_EQ(0, bTOLA_comm_test());
    char name[501];
    EXPECT_EQ(0, bTOLA_comm_get_interface_name(name));
    EXPECT_STREQ("Not Interfaced, incompatable version version", name);
    TOLA_comm_close();
    EXPECT_EQ(before, memory);
    tola::library_state().record = nullptr;
}

TEST(OpenCall, HoldBitReturnsFourWithoutEffect) {
    PXM_COMM c = fresh_record(1);
    c.tStatus = 0x4;
    c.hUSB = 0;
    EXPECT_EQ(4, iTOLA_comm_poll_initialize(&c));
    EXPECT_EQ(0, c.hUSB) << "a held call changes nothing";
    EXPECT_EQ(4, iTOLA_comm_poll_initialize(&c));
}

TEST(OpenCall, UnknownPortFails) {
    PXM_COMM c = fresh_record(77);
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(&c));
    EXPECT_EQ(0x4008u, c.tStatus);
    EXPECT_STREQ("Unknown Interface Port", c.ssStatus);
}

TEST(OpenCall, CloseResetsTheRecordButKeepsItRemembered) {
    const NoUsbInstrument none;
    PXM_COMM c = fresh_record(1);
    std::strcpy(c.snDevice, "something");
    c.hUSB = 0;
    iTOLA_comm_poll_initialize(&c);
    EXPECT_EQ(-1, c.hUSB) << "0 stands for no handle";
    EXPECT_NE(0, TOLA_comm_close());
    EXPECT_EQ(664u, c.dSize);
    EXPECT_EQ(-1, c.hUSB);
    EXPECT_EQ(-1, c.hRS232);
    EXPECT_EQ(0u, c.iPort);
    EXPECT_EQ(0u, c.tStatus);
    EXPECT_STREQ("", c.snDevice);
    EXPECT_STREQ("Ports closed, not interfaced", c.ssStatus);
    EXPECT_EQ(&c, tola::library_state().record);
    EXPECT_EQ(0, bTOLA_comm_test());
}

TEST(InterfaceName, SuffixFollowsThePortBits) {
    PXM_COMM c = fresh_record(1);
    c.tStatus = 0x4;
    iTOLA_comm_poll_initialize(&c);  // remembered, held
    char name[501];
    c.tStatus = 0;
    EXPECT_EQ(0, bTOLA_comm_get_interface_name(name));
    EXPECT_STREQ("Not Interfaced", name);
    EXPECT_EQ(0, bTOLA_comm_get_interface_name(nullptr));

    std::strcpy(c.snDevice, "Chromatik\xAE Portivo");
    const struct {
        std::uint32_t bits;
        const char* suffix;
    } cases[] = {{0x11, " - USB"},           {0x101, " - RS232 comm 1"},   {0x801, " - RS232 comm 4"},
                 {0x03000001, " - RS232 comm 7"}, {0x10000001, " - RS232 comm 20"}, {0x21, " - Unknown Port"}};
    for (const auto& k : cases) {
        c.tStatus = k.bits;
        EXPECT_EQ(1, bTOLA_comm_get_interface_name(name));
        EXPECT_EQ(std::string("Chromatik\xAE Portivo") + k.suffix, name);
    }
    EXPECT_EQ(1, bTOLA_comm_get_interface_name(nullptr));
}

TEST(LocalTransfer, MessageClearedOnlyForReportingIdentifiers) {
    char message[501];
    std::strcpy(message, "old");
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(nullptr, nullptr, CKPSTRUCT_COMMVERSION, 0, 2, nullptr));
    PXM_COMM c = fresh_record(1);
    // No link is open: nothing to transfer, no text, and identifier 3 keeps the buffer as passed.
    c.hUSB = -1;
    c.hRS232 = -1;
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&c, message, CKPSTRUCT_COMMVERSION, 260, 2, message));
    EXPECT_STREQ("old", message);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&c, message, CKPSTRUCT_SETTINGS | CKPSTRUCT_LOCAL, 0, 2, message));
    EXPECT_STREQ("", message);
    std::strcpy(message, "old");
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(nullptr, message, CKPSTRUCT_MEASUREDETAILS, 0, 2, message));
    EXPECT_STREQ("lpComm not defined", message);
}

}  // namespace
