// The byte-stream half that every Bluetooth client shares: the one open
// connection (a connected, non-blocking stream socket) and its handle, reads
// that never wait, writes that go out whole, clearing what arrived, and the
// connection status, with the results the twelve client functions return.
// The clients differ only in how they search and connect.  Not thread-safe:
// the client's lock guards it.
#pragma once

#include <cstdint>
#include <string>

#include "tola_comm.h"

namespace tola::btclient {

class ClientStream {
public:
    ClientStream() = default;
    ~ClientStream() { close(); }
    ClientStream(const ClientStream&) = delete;
    ClientStream& operator=(const ClientStream&) = delete;

    // Takes over a connected socket; returns the connection's handle (1 to
    // 0x7FFF, never the previous one).
    int32_t open(int fd);
    void close();
    bool is_open() const { return fd_ >= 0; }

    // The client functions' results: 1 done, 0 failed.
    int32_t read(void* buffer, uint32_t length, uint32_t* bytes_read);
    int32_t write(const void* buffer, uint32_t length, uint32_t* bytes_written);
    int32_t clear();
    // 1 while the connection with this handle is up.
    int32_t status(int32_t handle);

private:
    int fd_ = -1;
    int32_t handle_ = 0;  // of the open connection; 0 while none
    int32_t last_handle_ = 0;
    bool peer_closed_ = false;
};

// A peer that stops reading gets this long to take more before a write gives up.
inline constexpr int kWriteStallMs = 2000;

// Fills one record of a search result (texts cut to fit, NUL-padded).
void put_device(BT_DEVICE& record, const std::string& address, const std::string& name);

}  // namespace tola::btclient
