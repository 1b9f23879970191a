// Which requests of the USB driver channel may wait long for their reply: a
// flash sector erase and the request right after it, nothing else.
#include "comm/platform/usb_channel_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

using namespace tola::usbchannel;

constexpr std::uint32_t kShort = 3000;
constexpr std::uint32_t kErase = 15000;

std::array<std::uint8_t, 12> command_block(std::uint8_t command) {
    std::array<std::uint8_t, 12> b{};
    b[2] = command;
    b[8] = 64;
    return b;
}

const std::array<std::uint8_t, 4> kPipe0{0, 0, 0, 0};
const std::array<std::uint8_t, 4> kPipe1{1, 0, 0, 0};
const std::array<std::uint8_t, 4> kPipe2{2, 0, 0, 0};

TEST(UsbReplyWindows, ControllerEraseAndItsReplyWaitForTheErase) {
    ReplyWindows windows;
    EXPECT_EQ(kErase, windows.window_for(kSendBlock, command_block(9), {}));
    EXPECT_EQ(kErase, windows.window_for(kReceive, {}, {}));
    EXPECT_EQ(kShort, windows.window_for(kReceive, {}, {})) << "only the request right after the erase";
    EXPECT_GE(reply_window_ms(ReplyWait::SectorErase), 10000u);
}

TEST(UsbReplyWindows, TheRequestAfterARepeatedEraseBlockStillWaits) {
    // The H8SX takes the erase block twice and reads no reply: the next block
    // may find it still erasing.
    ReplyWindows windows;
    EXPECT_EQ(kErase, windows.window_for(kSendBlock, command_block(9), {}));
    EXPECT_EQ(kErase, windows.window_for(kSendBlock, command_block(9), {}));
    EXPECT_EQ(kErase, windows.window_for(kSendBlock, command_block(11), {}));
    EXPECT_EQ(kShort, windows.window_for(kSendBlock, command_block(11), {}));
}

TEST(UsbReplyWindows, FirstGenerationEraseAndItsStatusWaitForTheErase) {
    ReplyWindows windows;
    const std::array<std::uint8_t, 3> erase{0x21, 12, 0};
    EXPECT_EQ(kErase, windows.window_for(kBulkWrite, kPipe2, erase));
    EXPECT_EQ(kErase, windows.window_for(kBulkRead, kPipe0, {}));
    const std::array<std::uint8_t, 6> read_memory{0x23, 0x80, 0x80, 0, 0, 64};
    EXPECT_EQ(kShort, windows.window_for(kBulkWrite, kPipe2, read_memory));
    EXPECT_EQ(kShort, windows.window_for(kBulkRead, kPipe0, {}));
    EXPECT_EQ(kShort, windows.window_for(kBulkRead, kPipe1, {}));
}

TEST(UsbReplyWindows, EverythingElseHasTheShortWindow) {
    ReplyWindows windows;
    EXPECT_EQ(kShort, windows.window_for(kReadDescriptor, {}, {}));
    auto read_block = command_block(1);
    read_block[10] = 1;  // a RAM read, not a command
    EXPECT_EQ(kShort, windows.window_for(kSendBlock, read_block, {}));
    EXPECT_EQ(kShort, windows.window_for(kReceive, {}, {}));
    // Data that happens to start with the erase byte, on the data pipe.
    const std::array<std::uint8_t, 3> data{0x21, 0, 0};
    EXPECT_EQ(kShort, windows.window_for(kBulkWrite, kPipe1, data));
    // One request after the erase the wait is over.
    EXPECT_EQ(kErase, windows.window_for(kSendBlock, command_block(9), {}));
    EXPECT_EQ(kErase, windows.window_for(kReadDescriptor, {}, {}));
    EXPECT_EQ(kShort, windows.window_for(kReceive, {}, {}));
}

}  // namespace
