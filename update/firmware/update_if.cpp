#include "update/firmware/update_if.h"

#include "update/program_trace.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace ckupdate {
namespace {

std::string Format(const char* pattern, auto... args) {
    char text[200];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

const char* Outcome(bool ok) { return ok ? "TRUE" : "FALSE"; }

// Texts of the update dialog; lupdate finds them under this context.
struct TrCk {
    Q_DECLARE_TR_FUNCTIONS(U_CK_UpdateIf)
};

QString Hex(std::uint32_t value, int digits) {
    return QString::number(value, 16).rightJustified(digits, QLatin1Char('0')).toUpper();
}

}  // namespace

void TUpdateIf::Trace(const std::string& text) { ProgramTrace(std::to_string(clock_.NowMs()) + " " + text + "\r"); }

template <typename Attempt>
bool TUpdateIf::WithRetries(Attempt attempt) {
    for (int i = 0; i < kFlashAttempts; ++i) {
        if (i > 0) clock_.SleepMs(kFlashRetryPauseMs);
        if (attempt()) return true;
    }
    return false;
}

bool TUpdateIf::SendCommand(std::int32_t command, std::int32_t data) {
    const bool ok = api_.CKPRenesas_command(command, data);
    Trace(Format("SendCommand: Command=%d, Data=%d, result=%s", command & 0xFFFF, data, Outcome(ok)));
    return ok;
}

bool TUpdateIf::PageErase(int page) {
    const bool ok = WithRetries([&] { return api_.CKPRenesas_command(ctl::kEraseSector, page); });
    Trace(Format("PageErase: Page=%d, result=%s", page, Outcome(ok)));
    if (!ok) throw E_UpdateIf(TrCk::tr("Error: Deleting page %1").arg(page));
    return true;
}

bool TUpdateIf::ProgramFlash(const std::uint8_t* data, int page, std::uint32_t address, std::uint16_t length) {
    // A failed write may have happened in full or in part with only its
    // acknowledgement lost, and flash takes a byte only while it is erased: a
    // read-back settles what is there before another attempt, which then writes
    // only what is still erased.  Anything else in the block cannot be mended.
    std::uint16_t in_flash = 0;
    bool garbled = false;
    const bool ok = WithRetries([&] {
        if (garbled) return false;
        if (api_.CKPRenesas_write(data + in_flash, address + in_flash, static_cast<std::uint16_t>(length - in_flash)))
            return true;
        std::vector<std::uint8_t> back(length);
        if (!api_.CKPRenesas_read(back.data(), address, length)) return false;
        const auto at = static_cast<std::uint16_t>(std::mismatch(back.begin(), back.end(), data).first - back.begin());
        if (at == length) {
            Trace(Format("ProgramFlash: Adress=%08x, Page=%d, length=%d, written (acknowledgement lost)", address, page,
                         length));
            return true;
        }
        garbled = !std::all_of(back.begin() + at, back.end(), [](std::uint8_t b) { return b == 0xFF; });
        in_flash = at;
        return false;
    });
    Trace(Format("ProgramFlash: Adress=%08x, Page=%d, length=%d, result=%s", address, page, length, Outcome(ok)));
    if (!ok)
        throw E_UpdateIf(TrCk::tr("Error: Programming page %1, address 0x%2, lenth 0x%3")
                             .arg(page)
                             .arg(Hex(address, 8), Hex(length, 2)));
    return true;
}

bool TUpdateIf::ReadFlash(std::uint8_t* data, int page, std::uint32_t address, std::uint16_t length) {
    const bool ok = WithRetries([&] { return api_.CKPRenesas_read(data, address, length); });
    Trace(Format("ReadFlash: Adress=%08x, Page=%d, length=%d, result=%s", address, page, length, Outcome(ok)));
    if (!ok)
        throw E_UpdateIf(TrCk::tr("Error: Reading page %1, address 0x%2, lenth 0x%3")
                             .arg(page)
                             .arg(Hex(address, 8), Hex(length, 2)));
    return true;
}

}  // namespace ckupdate
