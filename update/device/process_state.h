// The automation states of the program and the way a window reports a new state
// to the automation thread.  Shared by the main window, its automation thread
// and the Bluetooth discovery dialog.
#pragma once

namespace ckupdate {

// In this order (0..9); the numbers appear in traces.
enum class TProcessState : int {
    psIdle,
    psInit,
    psDisoverShow,
    psDiscovering,
    psDiscoverFailed,
    psDiscoveredSingle,
    psDiscoveredMultiple,
    psConnect,
    psConnected,
    psShowUpdate,
};

// Implemented by the main window (SetPoMsgThreadState): sets the automation
// thread's state through its property, so that the next tick of the watch timer
// runs one step of the automation.  Called on the user-interface thread.
class ProcessStateReceiver {
public:
    virtual ~ProcessStateReceiver() = default;
    virtual void SetPoMsgThreadState(TProcessState state) = 0;
};

}  // namespace ckupdate
