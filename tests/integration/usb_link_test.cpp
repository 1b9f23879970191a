// The USB link against the virtual instrument, through real channel sockets:
// memory paths and their pieces, failure texts, flash rewrites, the loader,
// the controller protocol of both CPU types and the boot-mode handshake.
#include "comm/api/library_state.h"
#include "comm/links/usb/boot_mode.h"
#include "comm/links/usb/controller_protocol.h"
#include "comm/links/usb/first_generation.h"
#include "comm/links/usb/usb_memory.h"
#include "comm/links/usb/usb_report.h"
#include "comm/platform/clock.h"
#include "comm/platform/diagnostics.h"
#include "comm/platform/usb_channel_frame.h"
#include "sim_fixture.h"

#include <array>
#include <numeric>
#include <string>

namespace tola::testing {
namespace {

using sim::EventKind;
using sim::Flag;

class UsbLink : public SimTest {};

std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed = 1) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

std::size_t count_code(const sim::Journal& j, std::uint32_t code) {
    std::size_t n = 0;
    for (const auto& e : j.entries(EventKind::Request)) n += e.code == code;
    return n;
}

TEST_F(UsbLink, FirstGenerationReadMovesPiecesOf64) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    EXPECT_EQ(0xE1A7u, comm_.dVID);
    EXPECT_EQ(0x5061u, comm_.dPID);
    instrument.journal().clear();
    std::vector<std::uint8_t> buffer(200);
    ASSERT_TRUE(usb::memory_read(buffer.data(), 0x80800000, 200));
    EXPECT_EQ((std::vector<std::uint32_t>{64, 64, 64, 8}), lengths_of(instrument.journal().entries(EventKind::MemoryRead)));
    EXPECT_EQ(*instrument.peek(0x80800000, 200), buffer);
}

TEST_F(UsbLink, FirstGenerationRamWriteCoalescesIntoPieces) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    instrument.journal().clear();
    const auto data = pattern(150);
    ASSERT_TRUE(usb::memory_write(data.data(), 0x80808000, 150));
    EXPECT_EQ((std::vector<std::uint32_t>{64, 64, 22}), lengths_of(instrument.journal().entries(EventKind::MemoryWrite)));
    EXPECT_EQ(*instrument.peek(0x80808000, 150), data);
}

TEST_F(UsbLink, FirstGenerationOutOfRangeReadFailsWithItsText) {
    start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_FALSE(usb::memory_read(buffer.data(), 0x40000000, 8));
    EXPECT_STREQ("Read memory FAILED, Address = 0x40000000, Length = 8, Out of Range - \r\nUSB read", comm_.ssStatus);
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_USB_FAILURE);
}

struct PieceFailure {
    const char* fault;
    const char* text;
};

TEST_F(UsbLink, FirstGenerationReadFailuresReportTheirTexts) {
    const PieceFailure cases[] = {
        {"refuse=0x222051", "Read MEM - FAILED, USB write, Address = 0x80800010, Length = 16 - \r\nUSB read"},
        {"refuse=0x22204E", "Read MEM - FAILED - Read status, Address = 0x80800010, Length = 16 - "},
        {"status=0x84", "Read MEM - FAILED, Invalid command, Address = 0x80800010, Length = 16 - "},
        {"status=0xFF", "Read MEM - FAILED, Read error, Address = 0x80800010, Length = 16 - "},
        {"status=0x55", "Read MEM - FAILED, Unknown error, Address = 0x80800010, Length = 16 - "},
    };
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.fault);
        library_state().stop_state = StopState::Running;
        usb::usb_state().last_error_text[0] = '\0';
        instrument.clear_faults();
        ASSERT_TRUE(instrument.inject(k.fault));
        std::array<std::uint8_t, 16> buffer{};
        EXPECT_FALSE(usb::memory_read(buffer.data(), 0x80800010, 16));
        // The piece's own report comes first; the whole read adds its summary afterwards.
        EXPECT_STREQ(k.text, usb::usb_state().last_error_text);
        EXPECT_EQ(StopState::ErrorStop, library_state().stop_state);
    }
}

TEST_F(UsbLink, WriteFailuresReportTheirTexts) {
    const PieceFailure cases[] = {
        {"status=0x84", "Write MEM - FAILED, Invalid command, Address = 0x80808000, Length = 4 - "},
        {"status=0xFF", "Write MEM - FAILED, Read error, Address = 0x80808000, Length = 4 - "},
        {"status=0x23", "Write MEM - FAILED, Unknown error, Address = 0x80808000, Length = 4 - "},
        {"refuse=0x22204E", "Write MEM - FAILED - Read status, Address = 0x80808000, Length = 4 - "},
    };
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.fault);
        library_state().stop_state = StopState::Running;
        instrument.clear_faults();
        ASSERT_TRUE(instrument.inject(k.fault));
        const std::array<std::uint8_t, 4> data{1, 2, 3, 4};
        EXPECT_FALSE(usb::memory_write(data.data(), 0x80808000, 4));
        EXPECT_STREQ(k.text, comm_.ssStatus);
    }
}

TEST_F(UsbLink, ReportedErrorStopsTheNextChunkedTransferAfterItsFirstPiece) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    ASSERT_TRUE(instrument.inject("status=0xFF"));
    std::array<std::uint8_t, 16> small{};
    EXPECT_FALSE(usb::memory_read(small.data(), 0x80800000, 16));
    ASSERT_EQ(StopState::ErrorStop, library_state().stop_state);

    instrument.journal().clear();
    std::vector<std::uint8_t> buffer(200);
    EXPECT_FALSE(usb::memory_read(buffer.data(), 0x80800000, 200));
    EXPECT_EQ(1u, instrument.journal().count(EventKind::MemoryRead));

    // Opening again lifts the stop.
    ASSERT_TRUE(usb::bUSB_open());
    EXPECT_TRUE(usb::memory_read(buffer.data(), 0x80800000, 200));
}

TEST_F(UsbLink, FirstGenerationFlashRewriteKeepsTheRestOfTheSector) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    const std::uint32_t sector_start = 0x80002000;  // external sector 11
    const auto before = *instrument.peek(sector_start, 8192);
    instrument.journal().clear();
    const std::array<std::uint8_t, 10> data{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    ASSERT_TRUE(usb::first_generation::write_flash(false, data.data(), sector_start + 100, 10));

    const auto erases = instrument.journal().entries(EventKind::Erase);
    ASSERT_EQ(1u, erases.size());
    EXPECT_EQ(11u, erases[0].value);
    auto after = *instrument.peek(sector_start, 8192);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), after.begin() + 100));
    std::copy(before.begin() + 100, before.begin() + 110, after.begin() + 100);
    EXPECT_EQ(before, after) << "the rest of the sector must survive the rewrite";
    EXPECT_FALSE(instrument.journal().flagged(Flag::UnerasedFlashWrite));
    EXPECT_STREQ("Erase external Flash sector 11 - OK - ", usb::usb_state().last_error_text[0] ? comm_.ssStatus : comm_.ssStatus);
}

TEST_F(UsbLink, FlashRewriteAcrossTwoInternalSectorsErasesBoth) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    const auto data = pattern(64, 3);
    ASSERT_TRUE(usb::first_generation::write_flash(false, data.data(), 0x4000 - 32, 64));
    const auto erases = instrument.journal().entries(EventKind::Erase);
    ASSERT_EQ(2u, erases.size());
    EXPECT_EQ(0u, erases[0].value);
    EXPECT_EQ(1u, erases[1].value);
    EXPECT_EQ(data, *instrument.peek(0x4000 - 32, 64));
}

TEST_F(UsbLink, FlashRewriteOutsideTheFlashIsRefused) {
    start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    const std::array<std::uint8_t, 4> data{};
    EXPECT_FALSE(usb::first_generation::write_flash(false, data.data(), 0x80800000, 4));
    EXPECT_STREQ("USB FAILED, address out of range - \r\nUSB address out of range", comm_.ssStatus);
}

TEST_F(UsbLink, EraseFailuresReportTheirTexts) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    ASSERT_TRUE(instrument.inject("erase=5"));
    EXPECT_FALSE(usb::first_generation::erase_sector(12));
    EXPECT_STREQ("Erase Flash - FAILED - 8051 <-> MCore comm failed - ", comm_.ssStatus);
    ASSERT_TRUE(instrument.inject("erase=4"));
    EXPECT_FALSE(usb::first_generation::erase_sector(12));
    EXPECT_STREQ("Erase Flash - FAILED - erase flash - ", comm_.ssStatus);
    EXPECT_TRUE(usb::first_generation::erase_sector(3));
    EXPECT_STREQ("Erase internal Flash sector 3 - OK - ", comm_.ssStatus);
}

TEST_F(UsbLink, LoaderIsDownloadedAsSRecordsAndStarted) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    instrument.journal().clear();
    ASSERT_TRUE(usb::first_generation::bUSB_CK_write_loader());
    std::uint32_t written = 0, lowest = 0xFFFFFFFF, highest = 0;
    for (const auto& e : instrument.journal().entries(EventKind::MemoryWrite)) {
        written += e.length;
        lowest = std::min(lowest, e.address);
        highest = std::max(highest, e.address + e.length);
    }
    EXPECT_EQ(3620u, written);
    EXPECT_EQ(0x801000u, lowest);
    EXPECT_EQ(0x801E24u, highest);
    EXPECT_STREQ("Jump 4200 - OK - ", comm_.ssStatus);
}

TEST_F(UsbLink, SRecordDownloadSkipsOtherRecordTypes) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    instrument.journal().clear();
    const std::string text =
        "S00F000068656C6C6F202020202000003C\r\n"
        "S30980808100a1b2c3d4ff\r\n"  // lower-case digits are accepted, the checksum is not examined
        "S70500000000FA\r\n";
    ASSERT_TRUE(usb::first_generation::download_srecords(text));
    const auto writes = instrument.journal().entries(EventKind::MemoryWrite);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ(0x80808100u, writes[0].address);
    EXPECT_EQ(4u, writes[0].length);
    EXPECT_EQ((std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3, 0xD4}), *instrument.peek(0x80808100, 4));
    EXPECT_STREQ("Write MEM hex data - Ok, 4 bytes - ", comm_.ssStatus);
}

TEST_F(UsbLink, SRecordFormatErrorsEndTheDownload) {
    start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    // A malformed record ends the download as a failure, and its text stays.
    EXPECT_FALSE(usb::first_generation::download_srecords("S3048080810000000000\r\n"));
    EXPECT_STREQ("Download (write) s-record format error line 1, line no data - ", comm_.ssStatus);
    EXPECT_FALSE(
        usb::first_generation::download_srecords("S0030000FC\r\nS34680808100" + std::string(140, '0') + "\r\n"));
    EXPECT_STREQ("Download (write) s-record format error line 2, line too long - ", comm_.ssStatus);
    EXPECT_FALSE(usb::first_generation::download_srecords("S30980808100A1B2\r\nS0030000FC00000\r\n"));
    EXPECT_STREQ("Download (write) s-record format error line 1 - ", comm_.ssStatus);
}

TEST_F(UsbLink, Stm32RamWindowEndsBelowItsLastByte) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    EXPECT_EQ(2, usb::cpu_type());
    const auto data = pattern(16);
    instrument.journal().clear();
    EXPECT_FALSE(usb::memory_write(data.data(), 0x2000FFF0, 16));
    EXPECT_EQ(static_cast<int>(usb::ControllerError::WriteAddressOutOfRange),
              static_cast<int>(usb::usb_state().controller_error));
    EXPECT_EQ(0u, instrument.journal().count(EventKind::Request)) << "refused without traffic";
    EXPECT_TRUE(usb::memory_write(data.data(), 0x2000FFF0, 15));
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 15), *instrument.peek(0x2000FFF0, 15));
}

TEST_F(UsbLink, Stm32ReadAndWriteMoveControllerPiecesOf128) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    const auto data = pattern(300, 5);
    instrument.journal().clear();
    ASSERT_TRUE(usb::memory_write(data.data(), 0x20008000, 300));
    EXPECT_EQ((std::vector<std::uint32_t>{64, 64, 64, 64, 44}),
              lengths_of(instrument.journal().entries(EventKind::MemoryWrite)));
    std::vector<std::uint8_t> back(300);
    ASSERT_TRUE(usb::memory_read(back.data(), 0x20008000, 300));
    EXPECT_EQ(data, back);
}

TEST_F(UsbLink, Stm32LeaveUpdateModeSendsItsBlockTwiceAndReadsNoReply) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    ASSERT_TRUE(usb::controller_command(11, 0));
    instrument.journal().clear();
    ASSERT_TRUE(usb::controller_command(10, 0));
    EXPECT_EQ(2u, count_code(instrument.journal(), usbchannel::kSendBlock));
    EXPECT_EQ(0u, count_code(instrument.journal(), usbchannel::kReceive));
}

TEST_F(UsbLink, Stm32FlashIsProgrammedInUpdateModeAcrossTheWholeMebibyte) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    ASSERT_TRUE(usb::controller_command(11, 0));
    ASSERT_TRUE(usb::controller_command(9, 11));  // the last 128 KiB sector
    const auto data = pattern(128, 9);
    ASSERT_TRUE(usb::controller_write(data.data(), 0x080FFF80, 128, 10));
    EXPECT_EQ(data, *instrument.peek(0x080FFF80, 128));
    EXPECT_FALSE(usb::controller_write(data.data(), 0x080FFF81, 128, 10)) << "beyond the flash end";
    // Written once, the flash is not erased any more: the instrument refuses a second write.
    EXPECT_FALSE(usb::controller_write(data.data(), 0x080FFF80, 128, 10));
    EXPECT_TRUE(instrument.journal().flagged(Flag::UnerasedFlashWrite));
}

TEST_F(UsbLink, H8sxFlashWritesAre128ByteLinesPaddedAsErased) {
    sim::Instrument& instrument = start(config(4, 1, "CK0A.00.31.00"));
    attach(TOLA_DEVICE_USB_PORTIVO);
    EXPECT_EQ(1, usb::cpu_type());
    std::string caption, text;
    platform::set_message_box_sink([&](std::string_view c, std::string_view t) {
        caption = c;
        text = t;
    });
    const auto data = pattern(10, 4);
    EXPECT_FALSE(usb::controller_write(data.data(), 0x00010040, 10, 0));
    platform::set_message_box_sink({});
    EXPECT_EQ("Error", caption);
    EXPECT_EQ("FLASH write must be on a 128 byte boundry!\r\n\r\nAddress = 0x00010040 is illegal", text);

    ASSERT_TRUE(usb::controller_command(11, 0));
    ASSERT_TRUE(usb::controller_command(9, 9));  // the 64 KiB block at 0x10000
    instrument.journal().clear();
    ASSERT_TRUE(usb::controller_write(data.data(), 0x00010000, 10, 0));
    std::vector<std::uint8_t> expected(128, 0xFF);
    std::copy(data.begin(), data.end(), expected.begin());
    EXPECT_EQ(expected, *instrument.peek(0x00010000, 128));
    EXPECT_EQ(4u, count_code(instrument.journal(), usbchannel::kSendBlock)) << "two blocks and two halves";
}

TEST_F(UsbLink, DescriptorOfTenBytesLeavesIdentityUnchanged) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    comm_.dVID = 0x1111;
    comm_.dPID = 0x2222;
    instrument.answer_descriptor_with(10);
    EXPECT_TRUE(usb::read_descriptor());
    EXPECT_EQ(0x1111u, comm_.dVID);
    EXPECT_EQ(0x2222u, comm_.dPID);
}

TEST_F(UsbLink, EzusbDeviceIsIdentifiedThroughTheFallbackDescriptorCode) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    attach(TOLA_DEVICE_USB_CHROMATIK);
    EXPECT_EQ(1u, count_code(instrument.journal(), usbchannel::kReadDescriptor));
    EXPECT_EQ(1u, count_code(instrument.journal(), usbchannel::kReadDescriptorEzusb));
    EXPECT_EQ(0x5061u, comm_.dPID);
}

TEST_F(UsbLink, TestSkipsIoShortlyAfterASuccessfulTransfer) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    std::array<std::uint8_t, 4> buffer{};
    ASSERT_TRUE(usb::memory_read(buffer.data(), 0x20000000, 4));
    instrument.journal().clear();
    EXPECT_TRUE(usb::test());
    EXPECT_EQ(0u, instrument.journal().count(EventKind::Request));
    usb::usb_state().last_success_tick = platform::tick_ms() - 2500;
    EXPECT_TRUE(usb::test());
    EXPECT_EQ(1u, instrument.journal().count(EventKind::Request));
}

TEST_F(UsbLink, VanishedDeviceFailsEveryOperationWithoutHanging) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    instrument.unplug();
    ASSERT_TRUE(instrument.wait_until_present(false, std::chrono::seconds(2)));
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_FALSE(usb::memory_read(buffer.data(), 0x20000000, 4));
    usb::usb_state().last_success_tick.reset();
    EXPECT_FALSE(usb::test());
    EXPECT_STREQ("USB Test - FAILED - can't read descriptor - \r\nUSB test", comm_.ssStatus);
    usb::close();
    EXPECT_FALSE(usb::bUSB_open());
}

TEST_F(UsbLink, SilentDeviceTimesOut) {
    sim::Instrument& instrument = start(config(4));
    attach(TOLA_DEVICE_USB_PORTIVO);
    instrument.stay_silent(1, std::chrono::seconds(10));
    std::array<std::uint8_t, 4> buffer{};
    const std::uint32_t begin = platform::tick_ms();
    EXPECT_FALSE(usb::controller_read(buffer.data(), 0x20000000, 4));
    EXPECT_LT(platform::ms_since(begin), 6000u);
}

TEST_F(UsbLink, BootModeHandshakeRunsStepByStep) {
    sim::Instrument& instrument = start(config(3));
    attach(TOLA_DEVICE_USB_H8SX_BOOT);
    ASSERT_TRUE(usb::boot_mode_handshake());
    std::vector<std::uint32_t> steps;
    for (const auto& e : instrument.journal().entries(EventKind::BootMode)) steps.push_back(e.code);
    EXPECT_EQ((std::vector<std::uint32_t>{0x55, 0x20, 0x10, 0x21, 0x11, 0x22, 0x23, 0x25, 0x26, 0x27, 0x3F, 0x06, 0x40,
                                          0x4F}),
              steps);
    EXPECT_EQ(0x5F, usb::usb_state().boot.boot_status[0]);
}

TEST_F(UsbLink, BootModeHandshakeFailsOnARefusedStep) {
    sim::Instrument& instrument = start(config(3));
    attach(TOLA_DEVICE_USB_H8SX_BOOT);
    instrument.refuse_next(usbchannel::kReceive, 1);
    EXPECT_FALSE(usb::boot_mode_handshake());
    EXPECT_EQ(static_cast<int>(usb::ControllerError::HandshakeFailed),
              static_cast<int>(usb::usb_state().controller_error));
}

}  // namespace
}  // namespace tola::testing
