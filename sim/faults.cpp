#include "sim/faults.h"

#include <charconv>

namespace tola::sim {

bool FaultPlan::take_refusal(std::uint32_t code) {
    auto it = refuse.find(code);
    if (it == refuse.end() || it->second <= 0) return false;
    if (--it->second == 0) refuse.erase(it);
    return true;
}

std::optional<std::uint8_t> FaultPlan::take_status_override() {
    if (status_override.empty()) return std::nullopt;
    const std::uint8_t b = status_override.front();
    status_override.pop_front();
    return b;
}

std::optional<std::uint8_t> FaultPlan::take_erase_status() {
    auto s = erase_status;
    erase_status.reset();
    return s;
}

bool FaultPlan::take_silence() {
    if (silent_requests <= 0) return false;
    --silent_requests;
    return true;
}

std::optional<std::uint64_t> parse_number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return v;
}

namespace {

struct Args {
    std::optional<std::uint64_t> first, second;
    bool ok = true;
};

// "A[:B]" with both parts numbers; an empty text gives no numbers.
Args split_args(std::string_view text) {
    Args a;
    if (text.empty()) return a;
    const auto colon = text.find(':');
    const std::string_view left = text.substr(0, colon);
    if (!left.empty()) {
        a.first = parse_number(left);
        a.ok = a.first.has_value();
    }
    if (colon != std::string_view::npos) {
        a.second = parse_number(text.substr(colon + 1));
        a.ok = a.ok && a.second.has_value();
    }
    return a;
}

bool fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

}  // namespace

bool apply_fault(FaultPlan& plan, std::string_view text, std::string* error) {
    const auto eq = text.find('=');
    const std::string_view name = text.substr(0, eq);
    const std::string_view rest = eq == std::string_view::npos ? std::string_view{} : text.substr(eq + 1);
    const Args a = split_args(rest);
    if (!a.ok) return fail(error, "bad number in fault '" + std::string(text) + "'");

    if (name == "refuse") {
        if (!a.first) return fail(error, "refuse needs a control code");
        plan.refuse[static_cast<std::uint32_t>(*a.first)] += static_cast<int>(a.second.value_or(1));
    } else if (name == "truncate") {
        plan.truncate_next = static_cast<std::size_t>(a.first.value_or(0));
    } else if (name == "corrupt") {
        plan.corrupt_next = static_cast<std::size_t>(a.first.value_or(0));
    } else if (name == "status") {
        if (!a.first || *a.first > 0xFF) return fail(error, "status needs a byte");
        for (std::uint64_t i = 0; i < a.second.value_or(1); ++i)
            plan.status_override.push_back(static_cast<std::uint8_t>(*a.first));
    } else if (name == "erase") {
        if (!a.first || *a.first > 0xFF) return fail(error, "erase needs a byte");
        plan.erase_status = static_cast<std::uint8_t>(*a.first);
    } else if (name == "descriptor") {
        if (!a.first || *a.first > 18) return fail(error, "descriptor needs a length of 0..18");
        plan.descriptor_length = static_cast<std::size_t>(*a.first);
    } else if (name == "silent") {
        plan.silent_requests += static_cast<int>(a.first.value_or(1));
        if (a.second) plan.silent_close_after = std::chrono::milliseconds(*a.second);
    } else if (name == "restart-silence") {
        if (!a.first) return fail(error, "restart-silence needs milliseconds");
        plan.restart_silence = std::chrono::milliseconds(*a.first);
    } else if (name == "unplug") {
        plan.unplugged = true;
    } else if (name == "replug") {
        plan.unplugged = false;
    } else if (name == "clear") {
        plan = FaultPlan{};
    } else {
        return fail(error, "unknown fault '" + std::string(name) + "'");
    }
    return true;
}

}  // namespace tola::sim
