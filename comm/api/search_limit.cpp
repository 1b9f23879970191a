#include "comm/api/search_limit.h"

#include "comm/api/bounded_string.h"

#include <cstdio>
#include <cstring>

namespace tola {
namespace {

std::string_view text_of(const char* field) { return {field, ::strnlen(field, kLimitTextMax)}; }

}  // namespace

bool SearchLimit::serial_matches(const TNAME& version_serial) const {
    return wants_serial() && text_of(version_serial) == text_of(serial);
}

SearchLimit& search_limit() {
    static SearchLimit limit;
    return limit;
}

void Answering::add(const TNAME* version_serial, std::string_view where) {
    if (!list_.empty()) list_ += ", ";
    const std::string_view serial = version_serial != nullptr ? text_of(*version_serial) : std::string_view{};
    list_ += serial.empty() ? std::string_view("no serial number") : serial;
    list_ += " on ";
    list_ += where;
}

void Answering::report(PXM_COMM& c, const SearchLimit& limit) const {
    // A long list is cut at the end of the status text rather than dropped.
    char text[sizeof(TSTRING)];
    const std::string_view wanted = text_of(limit.wants_serial() ? limit.serial : limit.socket);
    std::snprintf(text, sizeof text, "Instrument %.*s not found; answering: %s", static_cast<int>(wanted.size()),
                  wanted.data(), list_.c_str());
    bStr_cpy(c.ssStatus, text, sizeof c.ssStatus);
    c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
}

void report_ambiguous(PXM_COMM& c, const SearchLimit& limit, std::string_view where) {
    char text[sizeof(TSTRING)];
    const std::string_view wanted = text_of(limit.serial);
    std::snprintf(text, sizeof text,
                  "Instrument %.*s answers on %.*s: more than one instrument has this serial number; name the "
                  "socket as well",
                  static_cast<int>(wanted.size()), wanted.data(), static_cast<int>(where.size()), where.data());
    bStr_cpy(c.ssStatus, text, sizeof c.ssStatus);
    c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
}

}  // namespace tola
