#include "cmd_doctor.h"

#include "commands.h"
#include "tools/doctor/doctor.h"

#include "tola_comm.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

namespace tolactl {

void add_doctor_command(CLI::App& app) {
    auto json = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand("doctor", "Check what a connection needs; name each problem and its fix");
    cmd->add_flag("--json", *json, "one JSON object per check");
    cmd->callback([json] {
        DLL_VERSION version{};
        TOLA_Get_Dll_version_ex(&version, static_cast<int32_t>(sizeof version));
        tola::doctor::Inputs inputs;
        inputs.library_symbol = reinterpret_cast<const void*>(&TOLA_Get_Dll_version_ex);
        inputs.library_version = version.snVersion;
        const tola::doctor::Report report = tola::doctor::run(inputs);
        for (const auto& check : report.checks) {
            if (*json) {
                nlohmann::ordered_json line{{"check", check.id},
                                    {"status", tola::doctor::outcome_name(check.outcome)},
                                    {"blocks", check.blocks},
                                    {"text", check.text},
                                    {"fix", check.fix}};
                std::printf("%s\n", line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
            } else {
                std::printf("%s\n", tola::doctor::format_line(check).c_str());
            }
        }
        std::fflush(stdout);
        if (!report.connection_possible()) throw Failure("something blocks a connection (see the fixes above)", 1);
    });
}

}  // namespace tolactl
