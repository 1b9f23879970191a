#include "comm/links/serial/link_errors.h"

#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/links/serial/codes.h"
#include "comm/platform/serial_port.h"

namespace tola::serial {

const char* error_text(LinkError error) {
    switch (error) {
        case LinkError::PortNotAvailable: return "RS232 port not available";
        case LinkError::TxFull: return "RS232 TX full";
        case LinkError::TxOverrun: return "RS232 TX overrun";
        case LinkError::RxParity: return "RS232 RX parity";
        case LinkError::RxOverflow: return "RS232 RX overflow";
        case LinkError::RxFrame: return "RS232 RX frame";
        case LinkError::IoAccess: return "RS232 IO access";
        case LinkError::Other: return "RS232 other";
        case LinkError::NoAcknowledge: return "Chromatik did not acknowledge";
        case LinkError::Checksum: return "Chromatik checksum error";
        case LinkError::Parity: return "Chromatik parity error";
        case LinkError::UnknownCommand: return "Chromatik unknown command";
        case LinkError::WrongCommand: return "Chromatik wrong command";
        case LinkError::PacketLength: return "Chromatik packet length error";
        case LinkError::NumberOfPackets: return "Chromatik number packets error";
        case LinkError::PacketOrder: return "Chromatik packet order error";
        case LinkError::TransferLength: return "Chromatik wrong num packets error";
        case LinkError::Timeout: return "Chromatik timeout error";
        case LinkError::None: break;
    }
    return nullptr;
}

LinkError refusal_error(std::uint8_t refusal) {
    switch (refusal) {
        case code::kNackWrongCommand: return LinkError::WrongCommand;
        case code::kNackChecksum: return LinkError::Checksum;
        case code::kNackParity: return LinkError::Parity;
        case code::kNackTimeout: return LinkError::Timeout;
        case code::kNackPacketLength: return LinkError::PacketLength;
        case code::kNackNumPackets: return LinkError::NumberOfPackets;
        case code::kNackPacketNumber: return LinkError::PacketOrder;
        case code::kNackTransferLength: return LinkError::TransferLength;
        default: return LinkError::UnknownCommand;
    }
}

LinkError classify(std::uint32_t comm_error_class) {
    namespace ce = platform::comm_error;
    switch (comm_error_class) {
        case ce::kNone: return LinkError::None;
        case ce::kRxOverflow: return LinkError::RxOverflow;
        case ce::kOverrun: return LinkError::TxOverrun;
        case ce::kParity: return LinkError::RxParity;
        case ce::kFrame: return LinkError::RxFrame;
        case ce::kTxFull: return LinkError::TxFull;
        case ce::kIoAccess: return LinkError::IoAccess;
        default: return LinkError::Other;
    }
}

void report(LinkError error) {
    const char* text = error_text(error);
    PXM_COMM* c = valid_record();
    if (text == nullptr || c == nullptr || c->hRS232 == -1) return;
    bStr_cpy(c->ssStatus, text, sizeof c->ssStatus);
    c->tStatus |= TOLA_STATUS_SERIAL_FAILURE;
}

}  // namespace tola::serial
