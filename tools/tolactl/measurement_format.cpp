#include "measurement_format.h"

#include "session.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tolactl {
namespace {

// Component positions of the colour parameters.
constexpr std::size_t kL = 1, kC = 2, kH = 3, kA = 4, kB = 5;
constexpr std::size_t kDeltaE = 11;

std::string name(const char* field) {
    char bounded[sizeof(TNAME) + 1] = {};
    std::memcpy(bounded, field, sizeof(TNAME));
    return to_utf8(bounded);
}

bool has_data(const TOOTH_AREA& a) {
    for (float v : a.qfParm)
        if (v != 0.0f) return true;
    return a.snClassical[0] != '\0' || a.sn3D[0] != '\0';
}

bool tooth_area(std::uint32_t status) { return status != 0 && (status & ~0x333u) == 0; }

std::string number(float v) {
    if (!std::isfinite(v)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(v));
    return text;
}

nlohmann::json json_number(float v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

nlohmann::json area_json(const TOOTH_AREA& a) {
    nlohmann::json j;
    j["classical"] = {name(a.snClassical), name(a.snClassical2), name(a.snClassical3)};
    j["shade_3d"] = name(a.sn3D);
    j["L"] = json_number(a.qfParm[kL]);
    j["a"] = json_number(a.qfParm[kA]);
    j["b"] = json_number(a.qfParm[kB]);
    j["C"] = json_number(a.qfParm[kC]);
    j["H"] = json_number(a.qfParm[kH]);
    j["delta_e_classical"] = json_number(a.qfClassical_delta[kDeltaE]);
    j["delta_e_3d"] = json_number(a.qf3D_delta[kDeltaE]);
    nlohmann::json spectrum = nlohmann::json::array();
    for (float v : a.qfSpectrum) spectrum.push_back(json_number(v));
    j["spectrum"] = spectrum;
    return j;
}

std::string area_line(const char* label, const TOOTH_AREA& a) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-8s classical %s / %s / %s   3D %s   L %.1f a %.1f b %.1f   C %.1f H %.1f\n",
                  label, name(a.snClassical).c_str(), name(a.snClassical2).c_str(), name(a.snClassical3).c_str(),
                  name(a.sn3D).c_str(), static_cast<double>(a.qfParm[kL]), static_cast<double>(a.qfParm[kA]),
                  static_cast<double>(a.qfParm[kB]), static_cast<double>(a.qfParm[kC]),
                  static_cast<double>(a.qfParm[kH]));
    return line;
}

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string kind_text(std::uint32_t status) {
    if (status == 0x40000) return "sent again by the instrument";
    if (status & 0x80000) return "tooth, average and whiteness";
    if (status & 0x8000) return "ceramic";
    if (status & 0x4000) return "verification";
    if (status & 0x2000) return "tab";
    if (status & 0x1000) return "tooth";
    if (status & 0x800) return "tooth with average";
    if (status == 0x222) return "tooth area, all three areas";
    if (status & 0x100) return "tooth area, area 3 measured";
    if (status & 0x10) return "tooth area, area 2 measured";
    if (status & 0x1) return "tooth area, area 1 measured";
    return "nothing to interpret";
}

std::string readable(const COMM_MEASUREMENT& m) {
    std::string out;
    char line[512];
    std::snprintf(line, sizeof line, "Measurement %u of %u: %s (%s, status 0x%X)\n", m.iQueue + 1, m.dQueue,
                  name(m.snMaterial).empty() ? "-" : name(m.snMaterial).c_str(), kind_text(m.tStatus).c_str(),
                  m.tStatus);
    out += line;
    if (has_data(m.Single)) out += area_line("shade", m.Single);
    static const char* kAreas[3] = {"area 1", "area 2", "area 3"};
    for (std::size_t k = 0; k < 3; ++k)
        if (has_data(m.qArea[k])) out += area_line(kAreas[k], m.qArea[k]);
    if (m.qsn3DInterp[0][0] != '\0') {
        std::snprintf(line, sizeof line, "  interpolated %s   block %s   classical block %s   bleached %s\n",
                      name(m.qsn3DInterp[0]).c_str(), name(m.qsn3DBlock[0]).c_str(),
                      name(m.qsnClassicalBlock[0]).c_str(), name(m.qsn3DBleached[0]).c_str());
        out += line;
    }
    if (m.tStatus & 0x4000) {
        std::snprintf(line, sizeof line, "  verified %s (system %u): %s, Delta E %.2f\n", name(m.snVerify_shade).c_str(),
                      m.iVerify_shade_system, name(m.snVerify_result).c_str(),
                      static_cast<double>(m.qfVerDelta[kDeltaE]));
        out += line;
    }
    if (m.iAverageCount > 1 || m.iWIO2BGU != 0) {
        std::snprintf(line, sizeof line, "  average of %u readings, whiteness %u\n", m.iAverageCount, m.iWIO2BGU);
        out += line;
    }
    return out;
}

std::string json_line(const COMM_MEASUREMENT& m) {
    nlohmann::json j;
    j["time_ms"] = m.dTime;
    j["status"] = m.tStatus;
    j["kind"] = kind_text(m.tStatus);
    j["material"] = name(m.snMaterial);
    j["queue_index"] = m.iQueue;
    j["queue_count"] = m.dQueue;
    if (has_data(m.Single)) j["single"] = area_json(m.Single);
    nlohmann::json areas = nlohmann::json::array();
    if (tooth_area(m.tStatus))
        for (const auto& a : m.qArea) areas.push_back(area_json(a));
    j["areas"] = areas;
    j["interpolated"] = {name(m.qsn3DInterp[0]), name(m.qsn3DInterp[1]), name(m.qsn3DInterp[2])};
    j["classical_block"] = {name(m.qsnClassicalBlock[0]), name(m.qsnClassicalBlock[1]), name(m.qsnClassicalBlock[2])};
    j["block_3d"] = {name(m.qsn3DBlock[0]), name(m.qsn3DBlock[1]), name(m.qsn3DBlock[2])};
    j["bleached"] = {name(m.qsn3DBleached[0]), name(m.qsn3DBleached[1]), name(m.qsn3DBleached[2])};
    if (m.tStatus & 0x4000) {
        j["verify"] = {{"system", m.iVerify_shade_system},
                       {"shade", name(m.snVerify_shade)},
                       {"result", name(m.snVerify_result)},
                       {"delta_e", json_number(m.qfVerDelta[kDeltaE])}};
    }
    j["average_count"] = m.iAverageCount;
    j["whiteness"] = m.iWIO2BGU;
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string csv_header() {
    return "time_ms,status,kind,material,queue_index,queue_count,classical,classical2,classical3,shade_3d,"
           "interpolated,L,a,b,C,H,area1_classical,area1_3d,area2_classical,area2_3d,area3_classical,area3_3d,"
           "verify_shade,verify_result,verify_delta_e,average_count,whiteness";
}

std::string csv_row(const COMM_MEASUREMENT& m) {
    const TOOTH_AREA& s = m.Single;
    std::vector<std::string> f = {
        std::to_string(m.dTime),       std::to_string(m.tStatus),     kind_text(m.tStatus),
        name(m.snMaterial),            std::to_string(m.iQueue),      std::to_string(m.dQueue),
        name(s.snClassical),           name(s.snClassical2),          name(s.snClassical3),
        name(s.sn3D),                  name(m.qsn3DInterp[0]),        has_data(s) ? number(s.qfParm[kL]) : "",
        has_data(s) ? number(s.qfParm[kA]) : "", has_data(s) ? number(s.qfParm[kB]) : "",
        has_data(s) ? number(s.qfParm[kC]) : "", has_data(s) ? number(s.qfParm[kH]) : "",
    };
    for (const auto& a : m.qArea) {
        f.push_back(name(a.snClassical));
        f.push_back(name(a.sn3D));
    }
    const bool verify = (m.tStatus & 0x4000) != 0;
    f.push_back(verify ? name(m.snVerify_shade) : "");
    f.push_back(verify ? name(m.snVerify_result) : "");
    f.push_back(verify ? number(m.qfVerDelta[kDeltaE]) : "");
    f.push_back(std::to_string(m.iAverageCount));
    f.push_back(std::to_string(m.iWIO2BGU));
    std::string row;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i) row += ',';
        row += csv_field(f[i]);
    }
    return row;
}

}  // namespace tolactl
