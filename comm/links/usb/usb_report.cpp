#include "comm/links/usb/usb_report.h"

#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/links/usb/usb_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tola::usb {
namespace {

constexpr std::size_t kStatusSize = sizeof(TSTRING);

struct FlagLine {
    std::uint32_t flag;
    const char* line;
};

constexpr FlagLine kFlagLines[] = {
    {flag::kTest, "USB test"},         {flag::kWrite, "USB write"}, {flag::kRead, "USB read"},
    {flag::kReset, "USB reset"},       {flag::kAddress, "USB address out of range"},
};

}  // namespace

int report(const char* text, std::uint32_t flags) {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return flags == 0 ? 1 : 0;
    c->ssStatus[0] = '\0';
    bStr_cpy(c->ssStatus, text, kStatusSize);
    bStr_cat(c->ssStatus, " - ", kStatusSize);
    if (flags == 0) return 1;
    c->tStatus |= TOLA_STATUS_USB_FAILURE;
    for (const FlagLine& f : kFlagLines) {
        if ((flags & f.flag) == 0) continue;
        bStr_cat(c->ssStatus, "\r\n", kStatusSize);
        bStr_cat(c->ssStatus, f.line, kStatusSize);
    }
    UsbState& s = usb_state();
    if (std::strcmp(c->ssStatus, s.last_error_text) != 0) library_state().stop_state = StopState::ErrorStop;
    bStr_cpy(s.last_error_text, c->ssStatus, sizeof s.last_error_text);
    return 0;
}

int reportf(std::uint32_t flags, const char* format, ...) {
    char text[kStatusSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return report(text, flags);
}

int not_ready_report() {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return 0;
    if (c->hUSB == -1)
        bStr_cpy(c->ssStatus, "USB not connected or power off", kStatusSize);
    else if (!usb_state().structures_loaded)
        bStr_cpy(c->ssStatus, "Software not loaded", kStatusSize);
    return 0;
}

}  // namespace tola::usb
