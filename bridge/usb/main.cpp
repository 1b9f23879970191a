// tola-usbd: serves the USB driver channel from the instruments on the USB bus.
#include "bridge/usb/bridge_main.h"
#include "bridge/usb/libusb_backend.h"

int main(int argc, char** argv) {
    const tola::usbd::ProgramInfo program{
        "tola-usbd", "Serves the USB driver channel of the Chromatik instruments from the USB bus (libusb).", false};
    return tola::usbd::bridge_main(argc, argv, program, [](const std::string&, std::string& error) {
        auto backend = std::make_unique<tola::usbd::LibusbBackend>();
        // Without USB access the bridge still lists nothing and serves nothing.
        error = backend->init_error();
        return std::unique_ptr<tola::usbd::UsbBackend>(std::move(backend));
    });
}
