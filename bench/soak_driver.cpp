// tola_soak_driver: one process of the two-process soak (scripts/soak.sh).
//
//   tola_soak_driver worker SECONDS LOG SEED   hammers the USB instrument for SECONDS
//   tola_soak_driver holder LOG SEED           the same mix without end, to be killed
//
// It uses the library only through its C interface, as any program would. Each
// call goes to LOG as one line "<op> <microseconds> <ok>" (ok: the call succeeded
// and what came back was right). A worker ends with a line "# end key=value ..."
// giving its descriptor and thread counts before connecting, once connected, at
// the end of the loop and after closing; it exits 0 when it could connect and
// run at all, whatever its calls did (the script judges the log).
#include "tola_comm.h"

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t kUpload = 2, kDownload = 1;
constexpr std::uint32_t kDeviceTypeQuery = 21, kChromatikVType = 5324;
constexpr std::int32_t kNewestInQueue = 4;
constexpr std::uint32_t kRamStart = 0x20000000;

int count_fds() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
        --n;  // the directory stream itself
    }
    return n;
}

int count_threads() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
    return -1;
}

struct Snapshot {
    int fds = count_fds();
    int threads = count_threads();
};

bool connect(PXM_COMM& comm) {
    std::memset(&comm, 0, sizeof comm);
    comm.dSize = sizeof comm;
    comm.iPort = TOLA_PORT_USB;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        const std::int32_t result = iTOLA_comm_poll_initialize(&comm);
        if (result == 1) return true;
        if (result != 0 && result != 2) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "tola_soak_driver: no instrument: %s\n", comm.ssStatus);
    return false;
}

// What every call is checked against: read once, right after connecting.
struct Reference {
    CKNG_SETTINGS settings{};
    COMM_VERSION version{};
};

class Soak {
public:
    Soak(PXM_COMM& comm, std::FILE* log, unsigned seed) : comm_(comm), log_(log), random_(seed) {}

    bool take_reference() {
        char message[501] = {};
        return bTOLA_Transfer_local_structure(&comm_, &ref_.settings, CKPSTRUCT_SETTINGS, sizeof ref_.settings,
                                              kUpload, message) &&
               bTOLA_Transfer_local_structure(&comm_, &ref_.version, CKPSTRUCT_COMMVERSION, sizeof ref_.version,
                                              kUpload, message);
    }

    // One call of the mix, timed and logged.
    void step() {
        static constexpr struct {
            const char* name;
            bool (Soak::*run)();
            int weight;
        } kOps[] = {
            {"read-settings", &Soak::read_settings, 3}, {"read-version", &Soak::read_version, 2},
            {"ctl-read", &Soak::controller_read, 2},    {"write-settings", &Soak::write_settings, 2},
            {"poll", &Soak::poll, 2},                   {"queue", &Soak::queue, 1},
            {"query", &Soak::query, 2},                 {"brll", &Soak::brll, 1},
        };
        int total = 0;
        for (const auto& op : kOps) total += op.weight;
        int pick = std::uniform_int_distribution<int>(0, total - 1)(random_);
        for (const auto& op : kOps) {
            if ((pick -= op.weight) >= 0) continue;
            const auto start = Clock::now();
            const bool ok = (this->*op.run)();
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            std::fprintf(log_, "%s %lld %d\n", op.name, static_cast<long long>(us), ok ? 1 : 0);
            return;
        }
    }

private:
    bool read_settings() {
        auto got = std::make_unique<CKNG_SETTINGS>();
        char message[501] = {};
        return bTOLA_Transfer_local_structure(&comm_, got.get(), CKPSTRUCT_SETTINGS, sizeof *got, kUpload, message) &&
               std::memcmp(got.get(), &ref_.settings, sizeof *got) == 0;
    }

    bool read_version() {
        COMM_VERSION got{};
        char message[501] = {};
        return bTOLA_Transfer_local_structure(&comm_, &got, CKPSTRUCT_COMMVERSION, sizeof got, kUpload, message) &&
               std::memcmp(&got, &ref_.version, sizeof got) == 0;
    }

    bool controller_read() {
        std::uint8_t data[128] = {};
        return bTOLA_comm_Controller_read(data, kRamStart, sizeof data) != 0;
    }

    // Writes the settings as they were: harmless, yet a full multi-piece download.
    bool write_settings() {
        CKNG_SETTINGS same = ref_.settings;
        char message[501] = {};
        return bTOLA_Transfer_local_structure(&comm_, &same, CKPSTRUCT_SETTINGS, sizeof same, kDownload, message) != 0;
    }

    // Any answer is right: new measurements come when the instrument's trigger
    // presses itself, and the other process may have fetched them first.
    bool poll() {
        auto m = std::make_unique<COMM_MEASUREMENT>();
        const auto start = Clock::now();
        bTOLA_comm_poll_measurements(m.get(), 1);
        return Clock::now() - start < std::chrono::milliseconds(4000);
    }

    bool queue() {
        auto m = std::make_unique<COMM_MEASUREMENT>();
        return bTOLA_comm_get_queue_measurement(m.get(), kNewestInQueue) != 0;
    }

    bool query() {
        COMM_USB_HOST block{};
        block.qdWord[0] = 0x80000000u;
        block.qdWord[1] = kDeviceTypeQuery;
        block.qdWord[14] = 300;
        return bTOLA_comm_send_command(&block) != 0 && block.qdWord[3] == kChromatikVType;
    }

    bool brll() {
        std::int16_t bias = 0;
        std::int32_t rate = 0, lamp = 0;
        return bTOLA_comm_get_current_BRLL(&bias, &rate, &lamp) != 0;
    }

    PXM_COMM& comm_;
    std::FILE* log_;
    std::mt19937 random_;
    Reference ref_;
};

std::FILE* open_log(const char* path) {
    std::FILE* log = std::fopen(path, "a");
    if (log == nullptr) std::perror(path);
    return log;
}

int run_worker(double seconds, const char* log_path, unsigned seed) {
    std::FILE* log = open_log(log_path);
    if (log == nullptr) return 2;
    const Snapshot before;
    auto comm = std::make_unique<PXM_COMM>();
    if (!connect(*comm)) return 2;
    Soak soak(*comm, log, seed);
    if (!soak.take_reference()) {
        std::fprintf(stderr, "tola_soak_driver: the reference reads failed\n");
        return 2;
    }
    const Snapshot connected;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    auto flushed = Clock::now();
    while (Clock::now() < end) {
        soak.step();
        if (Clock::now() - flushed > std::chrono::seconds(1)) {
            std::fflush(log);
            flushed = Clock::now();
        }
    }
    const Snapshot looped;
    TOLA_comm_close();
    const Snapshot closed;
    std::fprintf(log, "# end fds_before=%d fds_connected=%d fds_looped=%d fds_closed=%d", before.fds, connected.fds,
                 looped.fds, closed.fds);
    std::fprintf(log, " threads_before=%d threads_connected=%d threads_looped=%d threads_closed=%d\n", before.threads,
                 connected.threads, looped.threads, closed.threads);
    std::fclose(log);
    return 0;
}

// Runs the mix until killed; every line reaches the log at once, so that a kill
// loses no more than the call it interrupted.
int run_holder(const char* log_path, unsigned seed) {
    std::FILE* log = open_log(log_path);
    if (log == nullptr) return 2;
    std::setvbuf(log, nullptr, _IOLBF, 0);
    auto comm = std::make_unique<PXM_COMM>();
    if (!connect(*comm)) return 2;
    Soak soak(*comm, log, seed);
    if (!soak.take_reference()) return 2;
    std::fprintf(log, "# connected\n");
    for (;;) soak.step();
}

int usage() {
    std::fprintf(stderr,
                 "usage: tola_soak_driver worker SECONDS LOG SEED\n"
                 "       tola_soak_driver holder LOG SEED\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "worker")
        return run_worker(std::atof(argv[2]), argv[3], static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
    if (args.size() == 3 && args[0] == "holder")
        return run_holder(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
    return usage();
}
