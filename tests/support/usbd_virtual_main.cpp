// The USB bridge on a bus of virtual instruments (--bus: a chromatik-sim USB
// folder), for end-to-end runs of library -> channel -> bridge -> instrument.
#include "bridge/usb/bridge_main.h"
#include "tests/support/sim_usb_backend.h"

int main(int argc, char** argv) {
    const tola::usbd::ProgramInfo program{
        "tola-usbd-virtual", "The USB bridge serving the virtual instruments of a chromatik-sim USB folder.", true};
    return tola::usbd::bridge_main(argc, argv, program, [](const std::string& bus, std::string&) {
        return std::unique_ptr<tola::usbd::UsbBackend>(std::make_unique<tola::testing::SimUsbBackend>(bus));
    });
}
