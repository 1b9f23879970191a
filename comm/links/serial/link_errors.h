// Error codes of the byte-stream links and their status texts.  Every text
// marks the serial/Bluetooth failure bit; none is written unless the
// connection record is valid and its hRS232 is open.
#pragma once

#include <cstdint>

namespace tola::serial {

enum class LinkError : int {
    None = 0,
    PortNotAvailable = 1,
    TxFull = 3,
    TxOverrun = 4,
    RxParity = 5,
    RxOverflow = 6,
    RxFrame = 7,
    IoAccess = 8,
    Other = 9,
    NoAcknowledge = 10,
    Checksum = 11,
    Parity = 12,
    UnknownCommand = 13,
    WrongCommand = 14,
    PacketLength = 15,
    NumberOfPackets = 16,
    PacketOrder = 17,
    TransferLength = 18,
    Timeout = 20,
};

// The text of an error code; null for None and for codes without a text.
const char* error_text(LinkError error);

// The error a refusal code stands for (200..208); UnknownCommand for any
// other byte.
LinkError refusal_error(std::uint8_t refusal);

// The error a comm-error class of the platform stands for (None for 0).
LinkError classify(std::uint32_t comm_error_class);

// Writes the error's text to ssStatus and sets the failure bit, when the
// connection record is valid and a link is open.  None does nothing.
void report(LinkError error);

}  // namespace tola::serial
