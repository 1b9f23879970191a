#include "commands.h"

#include "tola_comm.h"

#include <cstdio>

namespace tolactl {

void add_version_command(CLI::App& app) {
    auto* cmd = app.add_subcommand("version", "Print the library's version and build date");
    cmd->callback([] {
        DLL_VERSION version{};
        TOLA_Get_Dll_version_ex(&version, static_cast<int32_t>(sizeof version));
        std::printf("TOLA_comm %s, built %s %s\n", version.snVersion, version.snDate, version.snTime);
    });
}

}  // namespace tolactl
