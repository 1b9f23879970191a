// The function table of a program that links the library instead of loading it
// (tolactl, the tests, the benchmarks): filled from the program's own symbols,
// so the update engine runs there exactly as in the program that loads it.
// Header only: the program core itself never links the library.
#pragma once

#include "update/binding/comm_functions.h"

namespace ckupdate {

inline const CommFunctions& LinkedCommFunctions() {
    static const CommFunctions table = [] {
        CommFunctions f;
#define CKUPDATE_LINKED(name) f.name = &::name;
        CKUPDATE_COMM_NAMES(CKUPDATE_LINKED)
#undef CKUPDATE_LINKED
        return f;
    }();
    return table;
}

}  // namespace ckupdate
