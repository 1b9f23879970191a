// tolactl links the library: its function table is filled from its own symbols,
// so the update engine runs here exactly as in the program that loads it.
#include "linked_functions.h"

namespace tolactl {

const ckupdate::CommFunctions& linked_functions() {
    static const ckupdate::CommFunctions table = [] {
        ckupdate::CommFunctions f;
#define CKUPDATE_LINKED(name) f.name = &::name;
        CKUPDATE_COMM_NAMES(CKUPDATE_LINKED)
#undef CKUPDATE_LINKED
        return f;
    }();
    return table;
}

}  // namespace tolactl
