// tolactl poll, queue, clear-queue, report and details.
//
// The details flags (which result structures a poll fetches) are chosen with
// "tolactl details FLAGS" and remembered in $XDG_CONFIG_HOME/tola/poll-details
// (else ~/.config/tola/poll-details); poll and queue hand them to the library.
#include "commands.h"
#include "measurement_format.h"
#include "session.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace tolactl {
namespace {

constexpr std::size_t kReportBuffer = 10000;
// Only-new polls are answered by the library's rate limit within this time.
constexpr auto kPollPeriod = std::chrono::milliseconds(500);

std::atomic<bool> interrupted{false};

// Ends the command with status 1; main says why.
[[noreturn]] void fail(const std::string& why) {
    throw Failure(why, 1);
}

extern "C" void on_interrupt(int) { interrupted = true; }

std::filesystem::path details_file() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0')
        return std::filesystem::path(config) / "tola" / "poll-details";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "/tmp") / ".config" / "tola" / "poll-details";
}

std::optional<std::int32_t> stored_details() {
    std::ifstream in(details_file());
    std::int32_t flags = 0;
    if (in >> flags) return flags;
    return std::nullopt;
}

void apply_details(std::optional<std::int32_t> chosen) {
    if (!chosen) chosen = stored_details();
    if (chosen) bTOLA_comm_poll_set_details(*chosen);
}

std::string describe_details(std::int32_t flags) {
    std::string text;
    text += (flags & 1) ? "interpret the results" : "interpret the measurement details";
    if (flags & 1) text += "; USB and Bluetooth fetch the results";
    if (flags & 2) text += "; USB and Bluetooth fetch the measurement details";
    if (flags & 4) text += "; Bluetooth layouts .31/.32 send the short result record";
    return text;
}

enum class Format { Readable, Json, Csv };

struct Printer {
    Format format = Format::Readable;
    bool header_done = false;
    void print(const COMM_MEASUREMENT& m) {
        switch (format) {
            case Format::Readable: std::fputs(readable(m).c_str(), stdout); break;
            case Format::Json: std::printf("%s\n", json_line(m).c_str()); break;
            case Format::Csv:
                if (!header_done) std::printf("%s\n", csv_header().c_str());
                header_done = true;
                std::printf("%s\n", csv_row(m).c_str());
                break;
        }
        std::fflush(stdout);
    }
};

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Sleeps a poll period in short steps, so an interrupt ends the wait soon.
void wait_period() {
    const auto until = std::chrono::steady_clock::now() + kPollPeriod;
    while (!interrupted && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

std::int32_t queue_mode(const std::string& which, std::uint32_t& index) {
    if (which == "first") return 0;
    if (which == "prev" || which == "previous") return 1;
    if (which == "next") return 3;
    if (which == "newest" || which == "last") return 4;
    try {
        std::size_t used = 0;
        const unsigned long n = std::stoul(which, &used);
        if (used == which.size() && n <= 0xFFFFFFFFul) {
            index = static_cast<std::uint32_t>(n);
            return 2;
        }
    } catch (const std::exception&) {
    }
    throw CLI::ValidationError("WHICH", "first, prev, next, newest or an index from 0");
}

struct ReportRequest {
    int id;
    std::size_t size;
};

ReportRequest report_request(const std::string& what) {
    if (what == "version") return {CKPSTRUCT_COMMVERSION, sizeof(COMM_VERSION)};
    if (what == "setup") return {CKPSTRUCT_SETUPROM, sizeof(CKII_SETUP)};
    if (what == "norm") return {CKPSTRUCT_NORM, sizeof(CKII_NORM)};
    if (what == "settings") return {CKPSTRUCT_SETTINGS, sizeof(CKNG_SETTINGS)};
    if (what == "details") return {CKPSTRUCT_MEASUREDETAILS, sizeof(TOLA_SHADE_MATCH_DETAILS)};
    if (what == "results") return {CKPSTRUCT_RESULTS, sizeof(CKII_RESULTS)};
    if (what == "calmat") return {CKPSTRUCT_ADD3, sizeof(CKNG_CALMAT)};
    throw CLI::ValidationError("WHAT", "version, setup, norm, settings, details, results or calmat");
}

void render_report(const std::string& what, std::vector<std::uint8_t>& record, char* text, int mode) {
    if (what == "version") TOLA_Get_COMM_version(text, reinterpret_cast<COMM_VERSION*>(record.data()));
    else if (what == "setup") TOLA_Get_CKII_setup(text, reinterpret_cast<CKII_SETUP*>(record.data()));
    else if (what == "norm") TOLA_Get_CKII_norm(text, reinterpret_cast<CKII_NORM*>(record.data()));
    else if (what == "settings") TOLA_Get_CKII_settings(text, reinterpret_cast<CKNG_SETTINGS*>(record.data()));
    else if (what == "details")
        TOLA_Get_TOLA_SHADE_MATCH_DETAILS(text, reinterpret_cast<TOLA_SHADE_MATCH_DETAILS*>(record.data()), mode);
    else if (what == "results") TOLA_Get_CKII_results(text, reinterpret_cast<CKII_RESULTS*>(record.data()));
    else TOLA_Get_CKNG_CalMat_ex(text, reinterpret_cast<CKNG_CALMAT*>(record.data()),
                                 static_cast<std::int32_t>(record.size()));
}

struct PollOptions {
    bool json = false;
    bool csv = false;
    int count = 0;
    std::optional<std::int32_t> details;
};

void run_poll(const PortOption& port, const PollOptions& o) {
    if (o.json && o.csv) throw CLI::ValidationError("--json and --csv", "choose one");
    install_interrupt_handler();
    std::fprintf(stderr, "Connecting to the instrument (%s)...\n", port.port.c_str());
    Session session(port);
    apply_details(o.details);
    const PXM_COMM& c = session.record();
    // The classic instrument on a serial port reports its results only while
    // their echo is on.
    if (c.iDevice == TOLA_DEVICE_SERIAL_CLASSIC) tTOLA_comm_poll(0x4);
    // The first poll of a connection reports nothing; what the instrument held
    // before is not new.
    auto m = std::make_unique<COMM_MEASUREMENT>();
    bTOLA_comm_poll_measurements(m.get(), 1);
    std::fprintf(stderr, "Waiting for measurements on %s %s (Ctrl-C stops)...\n", to_utf8(c.snDevice).c_str(),
                 to_utf8(c.snSerial_number).c_str());
    Printer printer{o.json ? Format::Json : o.csv ? Format::Csv : Format::Readable};
    int shown = 0;
    wait_period();
    while (!interrupted) {
        if (bTOLA_comm_poll_measurements(m.get(), 1) == 1) {
            printer.print(*m);
            if (o.count > 0 && ++shown >= o.count) break;
        }
        wait_period();
    }
}

}  // namespace

void add_measurement_commands(CLI::App& app) {
    auto port = std::make_shared<PortOption>();

    auto options = std::make_shared<PollOptions>();
    auto* poll = app.add_subcommand("poll", "Follow new measurements until interrupted and print each one");
    poll->add_flag("--json", options->json, "one JSON object per line");
    poll->add_flag("--csv", options->csv, "one CSV row per measurement, after a header");
    poll->add_option("--count", options->count, "stop after this many measurements (0: never)");
    poll->add_option("--details", options->details, "details flags for this run (see 'details')");
    add_port_option(*poll, *port);
    poll->callback([port, options] { run_poll(*port, *options); });

    auto which = std::make_shared<std::string>("newest");
    auto queue_json = std::make_shared<bool>(false);
    auto* queue = app.add_subcommand("queue", "Read a measurement from the instrument's queue");
    queue->add_option("WHICH", *which, "first, prev, next, newest (default) or an index from 0");
    queue->add_flag("--json", *queue_json, "as one JSON object");
    add_port_option(*queue, *port);
    queue->callback([port, which, queue_json] {
        std::uint32_t index = 0;
        const std::int32_t mode = queue_mode(*which, index);
        Session session(*port);
        apply_details(std::nullopt);
        auto m = std::make_unique<COMM_MEASUREMENT>();
        m->iQueue = index;
        if (bTOLA_comm_get_queue_measurement(m.get(), mode) != 1) {
            const std::uint32_t status = session.record().tStatus;
            if (status & TOLA_STATUS_QUEUE_RANGE)
                fail("no such entry: the queue holds " + std::to_string(m->dQueue));
            char text[64];
            std::snprintf(text, sizeof text, "reading the queue failed (status 0x%X)", status);
            fail(text);
        }
        if (*queue_json)
            std::printf("%s\n", json_line(*m).c_str());
        else
            std::fputs(readable(*m).c_str(), stdout);
    });

    auto* clear = app.add_subcommand("clear-queue", "Delete every measurement in the instrument's queue");
    add_port_option(*clear, *port);
    clear->callback([port] {
        Session session(*port, Access::Writes);
        std::fprintf(stderr, "Clearing the queue (the instrument takes 3 to 4 seconds)...\n");
        if (bTOLA_comm_clear_queue() != 1)
            fail("clearing the queue failed: " + to_utf8(session.record().ssStatus));
        std::printf("queue cleared\n");
    });

    auto what = std::make_shared<std::string>();
    auto mode = std::make_shared<int>(2);
    auto* report = app.add_subcommand("report", "Read a structure and print its service report");
    report->add_option("WHAT", *what, "version, setup, norm, settings, details, results or calmat")->required();
    report->add_option("--mode", *mode, "details: 2 adds the verification lines, 1 leaves them out")
        ->capture_default_str();
    add_port_option(*report, *port);
    report->callback([port, what, mode] {
        const ReportRequest request = report_request(*what);
        Session session(*port);
        std::vector<std::uint8_t> record(request.size, 0);
        char message[501] = {};
        if (!bTOLA_Transfer_local_structure(&session.record(), record.data(), request.id,
                                            static_cast<std::int32_t>(record.size()), 2, message))
            fail("reading " + *what + " failed: " + to_utf8(message));
        std::vector<char> text(kReportBuffer, 0);
        render_report(*what, record, text.data(), *mode);
        std::string out = to_utf8(text.data());
        if (!out.empty() && out.back() != '\n') out += "\n";
        std::fputs(out.c_str(), stdout);
    });

    auto flags = std::make_shared<std::int32_t>(1);
    auto* details = app.add_subcommand("details", "Choose what poll and queue fetch with each measurement");
    details->add_option("FLAGS", *flags,
                        "bit 0 (1): interpret the results; bit 1 (2): also fetch the measurement details; "
                        "bit 2 (4): Bluetooth short result record")
        ->required()
        ->check(CLI::Range(0, 7));
    details->callback([flags] {
        const auto file = details_file();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file);
        out << *flags << '\n';
        if (!out) fail("cannot write " + file.string());
        std::printf("details %d: %s\n", *flags, describe_details(*flags).c_str());
    });
}

}  // namespace tolactl
