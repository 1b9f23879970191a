#include "comm/commands/classic_exchange.h"

#include "comm/structures/host_copies.h"

#include <cstring>

namespace tola::commands {

static_assert(sizeof(ClassicParameters) == structures::kPsParameterSize);

ClassicParameters load_parameters() {
    ClassicParameters p;
    std::memcpy(&p, structures::host_copies().ps_parameters.data(), sizeof p);
    return p;
}

void store_parameters(const ClassicParameters& p) {
    std::memcpy(structures::host_copies().ps_parameters.data(), &p, sizeof p);
}

// The serial packet protocol carries these once the serial link is in this build.
bool classic_command(std::uint8_t) { return false; }

}  // namespace tola::commands
