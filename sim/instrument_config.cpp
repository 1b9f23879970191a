#include "sim/instrument_config.h"

#include <cctype>

#include <nlohmann/json.hpp>

#include "sim/boot_loader_faults.h"
#include "sim/faults.h"
#include "sim/packet_peer.h"

namespace tola::sim {

std::uint16_t InstrumentConfig::release_number() const {
    if (descriptor_release) return *descriptor_release;
    switch (kind) {
        case 1: return 0x0001;
        case 3: return 0x0100;
        default: return cpu == 2 ? kStm32ReleaseNumber : kH8sxReleaseNumber;
    }
}

ByteOrder InstrumentConfig::byte_order() const {
    return (kind == 4 && cpu == 2) || kind >= 8 ? ByteOrder::Little : ByteOrder::Big;
}

InstrumentConfig InstrumentConfig::core_config() const {
    InstrumentConfig c = *this;
    if (kind >= 8 && kind <= 11) {
        c.kind = 4;
        c.cpu = 2;
        c.reports_whiteness = kind >= 10;
    } else if (kind == 2) {
        c.kind = 1;
    }
    return c;
}

std::string InstrumentConfig::bluetooth_name() const {
    if (!bt_name.empty()) return bt_name;
    std::string n = product_name();
    std::erase(n, '\xAE');
    return n + " " + serial;
}

std::chrono::milliseconds InstrumentConfig::completion_delay() const {
    if (command_delay) return *command_delay;
    // The STM32 generation is polled every 40 ms while it works and gives most
    // commands 50 ms: it finishes well within the first poll.
    return release_number() == kStm32ReleaseNumber ? std::chrono::milliseconds(20) : std::chrono::milliseconds(0);
}

std::string InstrumentConfig::product_name() const {
    if (!name.empty()) return name;
    if (kind == 1) return "Chromatik\xAE";
    if ((kind == 4 && cpu == 2) || kind >= 8) return "Chromatik\xAE V";
    return "Chromatik\xAE Portivo";
}

std::string socket_relative_path(std::string_view socket_name) {
    if (socket_name.find('/') != std::string_view::npos) return std::string(socket_name);
    if (socket_name == "Chrmtk0-0" || socket_name == "ezusb-0") return std::string(socket_name);
    return std::string(kInterfaceClassFolder) + "/" + std::string(socket_name);
}

namespace {

bool fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

std::optional<bool> parse_bool(std::string_view v) {
    if (v == "1" || v == "true" || v == "yes" || v == "on") return true;
    if (v == "0" || v == "false" || v == "no" || v == "off") return false;
    return std::nullopt;
}

}  // namespace

bool apply_setting(InstrumentConfig& c, std::string_view key, std::string_view value, std::string* error) {
    auto number = [&](std::uint64_t max) -> std::optional<std::uint64_t> {
        auto n = parse_number(value);
        if (!n || *n > max) return std::nullopt;
        return n;
    };
    const std::string bad = "bad value '" + std::string(value) + "' for " + std::string(key);
    if (key == "kind") {
        auto n = number(255);
        if (!n) return fail(error, bad);
        c.kind = static_cast<int>(*n);
    } else if (key == "cpu") {
        auto n = number(255);
        if (!n) return fail(error, bad);
        c.cpu = static_cast<int>(*n);
    } else if (key == "release" || key == "layout-release") {
        c.layout_release = value;
    } else if (key == "firmware") {
        c.firmware = value;
    } else if (key == "firmware-date") {
        c.firmware_date = value;
    } else if (key == "serial") {
        c.serial = value;
    } else if (key == "device-type") {
        auto n = number(0xFFFFFFFF);
        if (!n) return fail(error, bad);
        c.device_type = static_cast<std::uint32_t>(*n);
    } else if (key == "name") {
        c.name = value;
    } else if (key == "socket") {
        c.socket = value;
    } else if (key == "descriptor-release") {
        auto n = number(0xFFFF);
        if (!n) return fail(error, bad);
        c.descriptor_release = static_cast<std::uint16_t>(*n);
    } else if (key == "command-delay-ms") {
        auto n = number(600000);
        if (!n) return fail(error, bad);
        c.command_delay = std::chrono::milliseconds(*n);
    } else if (key == "measure-time-ms") {
        auto n = number(600000);
        if (!n) return fail(error, bad);
        c.measure_time = std::chrono::milliseconds(*n);
    } else if (key == "measure-kind") {
        auto n = number(12);
        if (!n || (*n > 7 && *n != 12)) return fail(error, bad);
        c.measure_kind = static_cast<int>(*n);
    } else if (key == "trigger-every-ms") {
        auto n = number(86400000);
        if (!n) return fail(error, bad);
        c.trigger_every = std::chrono::milliseconds(*n);
    } else if (key == "restart-silence-ms") {
        auto n = number(600000);
        if (!n) return fail(error, bad);
        c.restart_silence = std::chrono::milliseconds(*n);
    } else if (key == "erase-time-ms") {
        auto n = number(600000);
        if (!n) return fail(error, bad);
        c.erase_time = std::chrono::milliseconds(*n);
    } else if (key == "reset-settings") {
        auto b = parse_bool(value);
        if (!b) return fail(error, bad);
        c.reset_settings_on_restart = *b;
    } else if (key == "fault") {
        FaultPlan probe;
        LinkFaults line_probe;
        BootLoaderFaults boot_probe;
        std::string why;
        if (is_boot_loader_fault(value)) {
            if (!apply_boot_loader_fault(boot_probe, value, &why)) return fail(error, why);
        } else if (!apply_link_fault(line_probe, value, &why)) {
            if (!why.empty() || !apply_fault(probe, value, &why)) return fail(error, why);
        }
        c.faults.emplace_back(value);
    } else if (key == "bt-address") {
        c.bt_address = value;
    } else if (key == "bt-name") {
        c.bt_name = value;
    } else {
        return fail(error, "unknown setting '" + std::string(key) + "'");
    }
    return true;
}

std::string validate(const InstrumentConfig& c) {
    if (c.kind != 1 && c.kind != 2 && c.kind != 3 && c.kind != 4 && (c.kind < 8 || c.kind > 11))
        return "kind must be 1, 2, 3, 4, 8, 9, 10 or 11";
    if (c.kind >= 8 && c.cpu != 2) return "kinds 8 to 11 are the STM32F2 generation (cpu 2)";
    if (!c.bt_address.empty()) {
        if (!c.bluetooth_link()) return "only kinds 10 and 11 have a Bluetooth address";
        const auto& a = c.bt_address;
        bool ok = a.size() == 17;
        for (std::size_t i = 0; ok && i < a.size(); ++i)
            ok = i % 3 == 2 ? a[i] == ':' : std::isxdigit(static_cast<unsigned char>(a[i])) != 0;
        if (!ok) return "a Bluetooth address reads like 00:80:25:AB:CD:01";
    }
    if (c.kind == 4 && c.cpu != 1 && c.cpu != 2) return "cpu must be 1 (H8SX) or 2 (STM32F2)";
    if (c.kind == 4 && c.descriptor_release) {
        const bool stm = *c.descriptor_release == kStm32ReleaseNumber;
        if (stm != (c.cpu == 2)) return "descriptor release 0x0103 marks cpu 2 and only cpu 2";
    }
    return {};
}

namespace {

bool apply_json_object(InstrumentConfig& c, const nlohmann::json& obj, std::string* error) {
    if (!obj.is_object()) return fail(error, "an instrument must be a JSON object");
    for (const auto& [key, value] : obj.items()) {
        if (key == "faults" && value.is_array()) {
            for (const auto& f : value)
                if (!apply_setting(c, "fault", f.is_string() ? f.get<std::string>() : f.dump(), error)) return false;
            continue;
        }
        std::string text;
        if (value.is_string()) text = value.get<std::string>();
        else if (value.is_boolean()) text = value.get<bool>() ? "true" : "false";
        else if (value.is_number_integer()) text = std::to_string(value.get<std::int64_t>());
        else return fail(error, "unsupported value for " + key);
        if (!apply_setting(c, key, text, error)) return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<std::vector<InstrumentConfig>> parse_config_text(std::string_view text, std::string* error) {
    std::vector<InstrumentConfig> out;
    const std::string_view t = trim(text);
    if (!t.empty() && (t.front() == '{' || t.front() == '[')) {
        const auto doc = nlohmann::json::parse(t, nullptr, false);
        if (doc.is_discarded()) {
            fail(error, "the configuration is not valid JSON");
            return std::nullopt;
        }
        const nlohmann::json* list = &doc;
        if (doc.is_object() && doc.contains("instruments")) list = &doc["instruments"];
        if (list->is_array()) {
            for (const auto& item : *list) {
                InstrumentConfig c;
                if (!apply_json_object(c, item, error)) return std::nullopt;
                out.push_back(std::move(c));
            }
        } else {
            InstrumentConfig c;
            if (!apply_json_object(c, *list, error)) return std::nullopt;
            out.push_back(std::move(c));
        }
        return out;
    }

    bool started = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto nl = text.find('\n', pos);
        const std::string_view line = trim(text.substr(pos, nl == std::string_view::npos ? text.npos : nl - pos));
        pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line == "[instrument]") {
            out.emplace_back();
            started = true;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            fail(error, "expected key=value: " + std::string(line));
            return std::nullopt;
        }
        if (!started) {
            out.emplace_back();
            started = true;
        }
        if (!apply_setting(out.back(), trim(line.substr(0, eq)), trim(line.substr(eq + 1)), error)) return std::nullopt;
    }
    return out;
}

}  // namespace tola::sim
