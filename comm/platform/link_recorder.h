// The recorder of the exchanges with instruments.  When $TOLA_RECORD names a
// file, every exchange that passes the platform layer (USB channel requests and
// replies, serial and Bluetooth bytes) is written there as one line, in the
// format of record_format.h.  One recorder per process; safe from any thread.
// Each line goes out with a single write, so a process that is killed leaves a
// record that ends with a whole line.
//
// The file is made new, never written over and never reached through a
// symbolic link: when $TOLA_RECORD exists already (an earlier record, or one
// that another process with the same environment writes), it is left alone and
// this process records in $TOLA_RECORD.pid<PID>.  A part of the record grows to
// $TOLA_RECORD_MAX (default 64M; 0: no limit), then the record goes on in
// FILE.1, FILE.2, ..., the newest four parts kept (platform/record_file.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tola::platform::recorder {

// Whether a record is being written (the file named by $TOLA_RECORD, made on
// first use; when no file can be made, nothing is recorded and a message says why).
bool active();

void event(std::string_view link, std::string_view kind, std::string_view fields);

void usb_request(std::uint32_t code, std::uint32_t capacity, std::span<const std::uint8_t> in,
                        std::span<const std::uint8_t> payload);
void usb_reply(bool success, std::uint32_t returned, std::span<const std::uint8_t> data);
void bytes(std::string_view link, std::string_view direction, std::span<const std::uint8_t> data);

// The identity the host learned, on the link it last opened.
void identity(std::string_view device, std::string_view firmware, std::string_view serial,
              std::string_view interface_release);

}  // namespace tola::platform::recorder
