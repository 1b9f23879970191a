#include "bridge/usb/bridge_main.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "bridge/usb/bridge.h"
#include "bridge/usb/channel_socket.h"
#include "bridge/usb/log.h"
#include "bridge/usb/product_table.h"
#include "platform/record_file.h"

namespace tola::usbd {
namespace {

struct Options {
    bool list = false;
    bool foreground = false;
    bool verbose = false;
    std::string config;
    std::string usb_dir;
    std::string bus;
    std::string record_dir;
    std::string record_max;
};

bool load_profiles(const Options& o, std::vector<ProductProfile>& profiles) {
    profiles = builtin_profiles();
    const std::filesystem::path file = o.config.empty() ? default_config_file() : std::filesystem::path(o.config);
    if (file.empty()) return true;
    std::ifstream in(file);
    if (!in) {
        std::cerr << "tola-usbd: cannot read " << file.string() << '\n';
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!apply_config(profiles, text.str(), error)) {
        std::cerr << "tola-usbd: " << file.string() << ": " << error << '\n';
        return false;
    }
    return true;
}

int list_instruments(UsbBackend& backend, const std::string& backend_error, const std::vector<ProductProfile>& profiles,
                     const std::filesystem::path& usb_dir) {
    int found = 0;
    for (const auto& d : backend.devices()) {
        const ProductProfile* p = served_profile(profiles, d);
        if (!p) continue;
        ++found;
        std::printf("%-14s %04x:%04x release %04x  %s\n", d.key.c_str(), d.vendor, d.product, d.release, p->name.c_str());
        std::printf("%-14s socket %s\n", "", (usb_dir / kInterfaceClassFolder / socket_name(d.key)).c_str());
        if (const auto problem = backend.access_problem(d); !problem.empty())
            std::printf("%-14s not usable: %s\n", "", problem.c_str());
    }
    if (found == 0) {
        if (backend_error.empty()) std::printf("No instrument found.\n");
        else std::printf("No instrument found (USB is not accessible: %s).\n", backend_error.c_str());
    }
    return 0;
}

// Leaves the terminal: the parent returns to the shell once the child runs.
bool detach() {
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid > 0) std::_Exit(0);
    if (::setsid() < 0) return false;
    if (::chdir("/") != 0) return false;
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) ::close(null);
    }
    return true;
}

int serve(const ProgramInfo& program, const Options& o, std::vector<ProductProfile> profiles,
          const BackendMaker& make_backend) {
    const std::filesystem::path usb_dir = o.usb_dir.empty() ? default_usb_dir() : std::filesystem::path(o.usb_dir);
    std::string error;
    if (!make_private_folder(usb_dir, error)) {
        std::cerr << program.name << ": " << error << '\n';
        return 1;
    }
    Fd lock = lock_file(usb_dir / ".tola-usbd.lock", error);
    if (!lock) {
        std::cerr << program.name << ": " << error << '\n';
        return 1;
    }
    // Before detaching, which leaves the working folder.
    std::filesystem::path record_dir;
    std::uint64_t record_max = os::kRecordMaxDefault;
    if (!o.record_max.empty()) {
        const auto max = os::parse_record_size(o.record_max);
        if (!max) {
            std::cerr << program.name << ": --record-max " << o.record_max
                      << ": not a size (bytes, or a number with K, M or G; at least 1K; 0 for no limit)\n";
            return 1;
        }
        record_max = *max;
    }
    if (!o.record_dir.empty()) {
        // A folder that exists keeps its mode (it may be the home folder).
        record_dir = std::filesystem::absolute(o.record_dir);
        if (!os::prepare_record_folder(record_dir, error)) {
            std::cerr << program.name << ": --record: " << error << '\n';
            return 1;
        }
    }
    if (!o.foreground && !detach()) {
        std::cerr << program.name << ": cannot detach from the terminal\n";
        return 1;
    }
    set_log_sink(o.foreground ? LogSink::StandardError : LogSink::SystemLog, o.verbose);

    // Every thread started from here on leaves these signals to sigwait() below.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto backend = make_backend(o.bus, error);
    if (!backend) {
        log_warning(error);
        return 1;
    }
    if (!record_dir.empty()) log_info("recording every client connection in " + record_dir.string());
    Bridge bridge(*backend, BridgeOptions{usb_dir, std::move(profiles), record_dir, record_max});
    if (!bridge.start(error)) {
        log_warning(error);
        return 1;
    }
    log_info("serving the USB driver channel in " + usb_dir.string());
    int signal = 0;
    sigwait(&signals, &signal);
    log_info("stopping");
    bridge.stop();
    return 0;
}

}  // namespace

std::filesystem::path default_usb_dir() {
    if (const char* dir = std::getenv("TOLA_USB_DIR"); dir && *dir) return dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::filesystem::path(runtime) / "tola" / "usb";
    return std::filesystem::path("/tmp") / ("tola-" + std::to_string(::getuid())) / "usb";
}

std::filesystem::path default_config_file() {
    std::filesystem::path user;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) user = std::filesystem::path(x) / "tola" / "usbd.conf";
    else if (const char* home = std::getenv("HOME"); home && *home)
        user = std::filesystem::path(home) / ".config" / "tola" / "usbd.conf";
    std::error_code ec;
    if (!user.empty() && std::filesystem::exists(user, ec)) return user;
    const std::filesystem::path system = "/etc/tola/usbd.conf";
    if (std::filesystem::exists(system, ec)) return system;
    return {};
}

int bridge_main(int argc, char** argv, const ProgramInfo& program, const BackendMaker& make_backend) {
    CLI::App app{program.description, program.name};
    Options o;
    app.add_flag("--list", o.list, "print the instruments on the bus and exit");
    app.add_flag("--foreground", o.foreground, "stay in the foreground and log to standard error");
    app.add_flag("-v,--verbose", o.verbose, "log every request");
    app.add_option("--config", o.config, "product table changes (default: ~/.config/tola/usbd.conf, /etc/tola/usbd.conf)");
    app.add_option("--record", o.record_dir,
                   "write every exchange of each client connection to a record file in DIR (replay with "
                   "chromatik-sim --replay); a folder that does not exist is made private, an existing one "
                   "must not be writable by others")
        ->option_text("DIR");
    app.add_option("--record-max", o.record_max,
                   "size of a record file before it goes on in FILE.1, FILE.2, ... (the newest four kept): bytes, "
                   "or with K, M or G; 0 for no limit (default 64M)")
        ->option_text("SIZE");
    app.add_option("--usb-dir", o.usb_dir, "folder of the channel sockets (default: $TOLA_USB_DIR, else $XDG_RUNTIME_DIR/tola/usb)");
    if (program.has_bus_option) app.add_option("--bus", o.bus, "folder of the virtual instruments' sockets")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    std::vector<ProductProfile> profiles;
    if (!load_profiles(o, profiles)) return 1;
    if (o.list) {
        std::string error;
        auto backend = make_backend(o.bus, error);
        if (!backend) {
            std::printf("No instrument found (%s).\n", error.c_str());
            return 0;
        }
        const std::filesystem::path usb_dir = o.usb_dir.empty() ? default_usb_dir() : std::filesystem::path(o.usb_dir);
        return list_instruments(*backend, error, profiles, usb_dir);
    }
    return serve(program, o, std::move(profiles), make_backend);
}

}  // namespace tola::usbd
