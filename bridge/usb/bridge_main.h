// The bridge program: command line, configuration, the channel folder and its
// lock, detaching from the terminal, and serving until a signal ends it.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "bridge/usb/usb_backend.h"

namespace tola::usbd {

// Makes the USB stack, after the program has detached (threads must not be
// started before).  `bus` is the --bus value of a program that has one.
using BackendMaker = std::function<std::unique_ptr<UsbBackend>(const std::string& bus, std::string& error)>;

struct ProgramInfo {
    const char* name;
    const char* description;
    bool has_bus_option;  // serves a virtual bus named by --bus
};

int bridge_main(int argc, char** argv, const ProgramInfo& program, const BackendMaker& make_backend);

// $TOLA_USB_DIR, else $XDG_RUNTIME_DIR/tola/usb, else /tmp/tola-<uid>/usb: the
// folder in which the library looks for the channel.
std::filesystem::path default_usb_dir();

// $XDG_CONFIG_HOME/tola/usbd.conf (else ~/.config/tola/usbd.conf), then
// /etc/tola/usbd.conf: the first that exists, or an empty path.
std::filesystem::path default_config_file();

}  // namespace tola::usbd
