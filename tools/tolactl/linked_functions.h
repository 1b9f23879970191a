#pragma once

#include "update/binding/comm_functions.h"

namespace tolactl {

// The function table of the library tolactl is linked with.
const ckupdate::CommFunctions& linked_functions();

}  // namespace tolactl
