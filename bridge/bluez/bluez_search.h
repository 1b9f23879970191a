// Device search through BlueZ's D-Bus interface on the system bus: the
// adapters (radios) and the devices they know or find during a scan.
#pragma once

#include <string>
#include <vector>

namespace tola::bluez {

struct FoundDevice {
    std::string address;  // "00:80:25:AB:CD:01"
    std::string name;     // the device's name, else its alias, else its address
    bool likely = false;  // offers the Serial Port service or is paired
};

struct SearchResult {
    bool ok = false;
    std::string error;  // why the search could not run
    int adapters = 0;
    std::vector<FoundDevice> devices;  // the likely instruments first, each part by address
};

// Scans on every adapter for scan_ms and lists the devices the adapters know
// afterwards (found now, or paired before).  An adapter that is off is switched
// on for the search and off again after it; one that cannot be switched on or
// cannot start discovering fails the search.
SearchResult search(int scan_ms);

// The number of adapters; 0 when BlueZ cannot be reached.
int count_adapters(std::string& error);

// The scan time: $TOLA_BT_SCAN_MS, else 10 s (about one inquiry).
int scan_time_ms();

}  // namespace tola::bluez
