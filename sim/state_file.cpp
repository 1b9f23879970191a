#include "sim/state_file.h"

#include <fstream>

#include <nlohmann/json.hpp>

namespace tola::sim {

std::string state_json(const Simulator& simulator) {
    nlohmann::json doc;
    doc["usb_dir"] = simulator.usb_dir().string();
    doc["bt_dir"] = simulator.bt_dir().string();
    doc["instruments"] = nlohmann::json::array();
    for (std::size_t i = 0; i < simulator.size(); ++i) {
        const Instrument& inst = simulator.instrument(i);
        const auto& c = inst.config();
        nlohmann::json item{{"index", i},
                            {"kind", c.kind},
                            {"release", c.layout_release},
                            {"firmware", inst.firmware()},
                            {"serial", c.serial},
                            {"device_type", c.device_type},
                            {"socket", inst.socket_path().string()}};
        if (c.kind == 4) item["cpu"] = c.cpu;
        if (c.serial_link()) {
            item["socket"] = nullptr;
            item["serial_path"] = inst.serial_path().string();
        }
        if (c.bluetooth_link()) {
            item["socket"] = inst.bt_socket_path().string();
            item["bt_address"] = inst.bt_address();
            item["bt_name"] = inst.bt_name();
        }
        doc["instruments"].push_back(std::move(item));
    }
    return doc.dump(2);
}

bool write_state_file(const std::filesystem::path& path, const Simulator& simulator, std::string* error) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    // Written aside and renamed, so a reader never sees half a file.
    const auto tmp = std::filesystem::path(path.string() + ".tmp");
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << state_json(simulator) << '\n';
        if (!out) {
            if (error) *error = "cannot write " + tmp.string();
            return false;
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec && error) *error = "cannot rename to " + path.string() + ": " + ec.message();
    return !ec;
}

}  // namespace tola::sim
