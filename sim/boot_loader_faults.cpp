#include "sim/boot_loader_faults.h"

#include "sim/faults.h"

namespace tola::sim {
namespace {

constexpr std::uint32_t kEraseCommand = 9;

bool take(std::map<std::uint32_t, int>& counts, std::uint32_t key) {
    auto it = counts.find(key);
    if (it == counts.end()) return false;
    if (--it->second <= 0) counts.erase(it);
    return true;
}

bool covers(std::uint32_t address, std::uint32_t length, std::uint32_t at) {
    return at >= address && static_cast<std::uint64_t>(at) < static_cast<std::uint64_t>(address) + length;
}

bool take(std::vector<BootLoaderFaults::WriteRefusal>& list, std::uint32_t address, std::uint32_t length) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!covers(address, length, it->address)) continue;
        if (it->remaining > 0 && --it->remaining == 0) list.erase(it);
        return true;
    }
    return false;
}

}  // namespace

bool BootLoaderFaults::take_command_refusal(std::uint32_t command, std::uint32_t value) {
    if (command == kEraseCommand && take(refuse_erase, value)) return true;
    return take(refuse_command, command);
}

bool BootLoaderFaults::take_write_refusal(std::uint32_t address, std::uint32_t length) {
    return take(refuse_write, address, length);
}

bool BootLoaderFaults::take_lost_write_ack(std::uint32_t address, std::uint32_t length) {
    return take(lose_write_ack, address, length);
}

bool BootLoaderFaults::take_lost_command_ack(std::uint32_t command) { return take(lose_command_ack, command); }

bool BootLoaderFaults::weak_cell_in(std::uint32_t address, std::uint32_t length) const {
    return weak_cell && covers(address, length, *weak_cell);
}

bool is_boot_loader_fault(std::string_view text) {
    const std::string_view name = text.substr(0, text.find('='));
    return name == "refuse-command" || name == "refuse-erase" || name == "refuse-write" || name == "weak-flash" ||
           name == "lose-ack-write" || name == "lose-ack-command";
}

bool apply_boot_loader_fault(BootLoaderFaults& faults, std::string_view text, std::string* error) {
    const auto eq = text.find('=');
    const std::string_view name = text.substr(0, eq);
    const std::string_view rest = eq == std::string_view::npos ? std::string_view{} : text.substr(eq + 1);
    const auto colon = rest.find(':');
    const auto first = parse_number(rest.substr(0, colon));
    const auto count = colon == std::string_view::npos ? std::optional<std::uint64_t>(1)
                                                        : parse_number(rest.substr(colon + 1));
    if (!first || !count || *first > 0xFFFFFFFFu) {
        if (error) *error = "bad number in fault '" + std::string(text) + "'";
        return false;
    }
    const auto value = static_cast<std::uint32_t>(*first);
    const int n = static_cast<int>(*count);
    if (name == "refuse-command") faults.refuse_command[value] += n;
    else if (name == "refuse-erase") faults.refuse_erase[value] += n;
    else if (name == "refuse-write") faults.refuse_write.push_back({value, n});
    else if (name == "weak-flash") faults.weak_cell = value;
    else if (name == "lose-ack-write") faults.lose_write_ack.push_back({value, n});
    else if (name == "lose-ack-command") faults.lose_command_ack[value] += n;
    else {
        if (error) *error = "unknown fault '" + std::string(name) + "'";
        return false;
    }
    return true;
}

}  // namespace tola::sim
