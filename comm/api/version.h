#pragma once

#include "tola_comm.h"

namespace tola {

// The fixed version record of this library: 1.0.12017.385 of 2022-01-18 15:17:11.
DLL_VERSION library_version();

}  // namespace tola
