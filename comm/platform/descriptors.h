// Descriptors the library hands out as connection handles.
//
// A connection record counts a handle of 0 as "no handle", and descriptors 0
// to 2 are the standard streams' in any case.  A program started with one of
// them closed (a service, a shell's "<&-") would otherwise get its serial port
// or USB channel as descriptor 0 and be told the instrument is gone.  Every
// descriptor the platform layer hands out is therefore 3 or higher.
#pragma once

namespace tola::platform {

inline constexpr int kFirstHandedOutDescriptor = 3;

// Returns fd itself when it is 3 or higher; otherwise a close-on-exec
// duplicate at 3 or higher, closing fd.  -1 (and fd closed) when no
// duplicate can be made; -1 stays -1.
int above_standard_streams(int fd);

}  // namespace tola::platform
