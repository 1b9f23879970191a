#include "comm/measurements/poll_state.h"

namespace tola::measurements {

PollState& poll_state() {
    static PollState state;
    return state;
}

}  // namespace tola::measurements
