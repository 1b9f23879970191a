// What a failed transfer leaves in the library's host copies, and the store
// sequence that follows the downloads that must reach the instrument's flash.
#include "comm/platform/clock.h"
#include "comm/platform/usb_channel_frame.h"
#include "comm/structures/host_copies.h"
#include "sim_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

class HostCopyFailures : public SimTest {
protected:
    sim::Instrument& connect_chromatik_v() {
        sim::Instrument& instrument = start(config(4));
        EXPECT_EQ(1, connect());
        return instrument;
    }

    // Puts a recognisable host copy in place without touching the instrument.
    // (The host block moves to the instrument whatever the flag says: it is
    // placed directly.)
    void place(std::int32_t id, std::vector<std::uint8_t>& record) {
        std::fill(record.begin(), record.end(), kMarker);
        if (id == CKPSTRUCT_COMMUSBHOST) {
            std::memcpy(&structures::host_copies().host_block, record.data(), record.size());
            return;
        }
        ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, record.data(), id | CKPSTRUCT_LOCAL,
                                                    static_cast<std::int32_t>(record.size()), 1, message_))
            << message_;
    }

    static constexpr std::uint8_t kMarker = 0x5A;
    char message_[501] = {};
};

// Upload: the read is refused.  Download: the write is refused.
TEST_F(HostCopyFailures, EachStructureKeepsOrClearsItsCopyAsItsRuleSays) {
    sim::Instrument& instrument = connect_chromatik_v();
    struct Case {
        std::int32_t id;
        std::size_t size;
        std::int32_t direction;
        bool cleared;
    };
    // The version block comes last: its copy names the layout every other conversion uses.
    const Case cases[] = {
        {CKPSTRUCT_SHADEROM_TOOTH, 8788, 2, false}, {CKPSTRUCT_SHADEROM_TOOTH, 8788, 1, false},
        {CKPSTRUCT_SETTINGS, 512, 2, false},     {CKPSTRUCT_SETTINGS, 512, 1, true},
        {CKPSTRUCT_NORM, 256, 2, true},          {CKPSTRUCT_NORM, 256, 1, true},
        {CKPSTRUCT_DATA, 168, 2, false},         {CKPSTRUCT_DATA, 168, 1, true},
        {CKPSTRUCT_MEASUREDETAILS, 7316, 2, true}, {CKPSTRUCT_RESULTS, 876, 2, true},
        {CKPSTRUCT_COMMUSBHOST, 64, 2, false},   {CKPSTRUCT_COMMUSBHOST, 64, 1, false},
        {CKPSTRUCT_COMMVERSION, 260, 2, false},  {CKPSTRUCT_COMMVERSION, 260, 1, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("identifier " + std::to_string(k.id) + ", direction " + std::to_string(k.direction));

        std::vector<std::uint8_t> record(k.size);
        place(k.id, record);
        instrument.refuse_next(k.direction == 2 ? usbchannel::kReceive : usbchannel::kSendBlock, 1);
        EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, record.data(), k.id, static_cast<std::int32_t>(k.size),
                                                    k.direction, message_));
        EXPECT_STREQ(k.direction == 2 ? "Upload FAILED" : "Download FAILED", message_);

        const std::uint8_t left = k.cleared ? 0 : kMarker;
        EXPECT_EQ(k.size, static_cast<std::size_t>(std::count(record.begin(), record.end(), left)))
            << (k.cleared ? "the copy should be cleared" : "the copy should be kept");
        instrument.clear_faults();
    }
}

TEST_F(HostCopyFailures, HostBlockByAddressNeedsItsTableEntry) {
    connect_chromatik_v();
    structures::host_copies().table.dCOMM_USB_HOST = 0;
    EXPECT_EQ(0, bTOLA_Transfer_structure(0, &comm_, &structures::host_copies().host_block, 0, 2, message_));
    EXPECT_STREQ("Missing host address 'dCOMM_USB_HOST'", message_);
}

// The four host commands of the store sequence, in order, each after its pause.
void expect_store_sequence(const sim::Instrument& instrument, std::uint32_t took_ms) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> commands;
    for (const auto& e : instrument.journal().entries(EventKind::HostCommand)) commands.emplace_back(e.value, e.address);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{{0x2, 5}, {0x2, 5}, {0x200, 0}, {0x2, 53}};
    EXPECT_EQ(expected, commands);
    EXPECT_GE(took_ms, 4u * 200u) << "each command comes after a pause of 200 ms";
}

TEST_F(HostCopyFailures, ShadeTablesDownloadedOverUsbAreStored) {
    sim::Instrument& instrument = connect_chromatik_v();
    std::vector<std::uint8_t> tables(4 * structures::kShadeTableSize);
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, tables.data(), CKPSTRUCT_SHADEROM_TOOTH,
                                                static_cast<std::int32_t>(tables.size()), 2, message_));
    instrument.journal().clear();
    const std::uint32_t begin = platform::tick_ms();
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, tables.data(), CKPSTRUCT_SHADEROM_TOOTH,
                                                static_cast<std::int32_t>(tables.size()), 1, message_))
        << message_;
    const std::uint32_t took = platform::ms_since(begin);
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 4, std::chrono::seconds(1)));
    expect_store_sequence(instrument, took);
}

class StoreSequenceOverStreams : public SimTest, public ::testing::WithParamInterface<int> {};

TEST_P(StoreSequenceOverStreams, SettingsDownloadIsApplied) {
    const int kind = GetParam();
    sim::Instrument& instrument = start(config(kind));
    if (kind == TOLA_DEVICE_BT_MAPPED_A) {
        ASSERT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(2)));
        BT_DEVICE device{};
        std::strcpy(device.snBtAddress, instrument.bt_address().c_str());
        TOLA_comm_bt_set_device_ex(&device, sizeof device);
        ASSERT_EQ(1, connect(TOLA_PORT_BLUETOOTH));
    } else {
        use_serial_port(3, instrument);
        ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2));
    }
    char message[501] = {};
    CKNG_SETTINGS settings{};
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &settings, CKPSTRUCT_SETTINGS, sizeof settings, 2, message));
    instrument.journal().clear();
    const std::uint32_t begin = platform::tick_ms();
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &settings, CKPSTRUCT_SETTINGS, sizeof settings, 1, message))
        << message;
    const std::uint32_t took = platform::ms_since(begin);
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 4, std::chrono::seconds(1)));
    expect_store_sequence(instrument, took);
}

INSTANTIATE_TEST_SUITE_P(SerialAndBluetooth, StoreSequenceOverStreams,
                         ::testing::Values(TOLA_DEVICE_SERIAL_MAPPED_A, TOLA_DEVICE_BT_MAPPED_A));

}  // namespace
}  // namespace tola::testing
