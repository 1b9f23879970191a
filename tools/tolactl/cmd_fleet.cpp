// tolactl update --all / --serial S --serial T: a bench of instruments updated
// one after another.  The plan comes first (who gets which release, how long it
// takes); each update then runs as a single one does, pinned by its serial
// number and socket, with its own progress, history entry and backups.
#include "commands.h"
#include "instrument_list.h"
#include "session.h"
#include "update_command.h"
#include "update_views.h"

#include "platform/interrupt_flag.h"
#include "platform/interrupt_guard.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_rules.h"
#include "update/firmware/update_workflow.h"

#include <chrono>
#include <cstdio>
#include <iostream>

namespace tolactl {
namespace {

using namespace ckupdate;

struct Member {
    explicit Member(ListedInstrument l) : listed(std::move(l)) {}
    ListedInstrument listed;
    QString from, to;
    QString skip;  // why it gets no update; "" when it gets one
    std::uint32_t estimateMs = 0;
    // After the run:
    QString result = QStringLiteral("not started");
    qint64 durationMs = 0;
    QString backup, message;
};

const SurveyedInstrument& found(const Member& m) { return m.listed.found; }

std::string text(const QString& s) { return s.toUtf8().toStdString(); }

std::string minutes(std::uint32_t ms) {
    const std::uint32_t s = (ms + 500) / 1000;
    char out[16];
    std::snprintf(out, sizeof out, "%u:%02u", s / 60, s % 60);
    return out;
}

UpdateOptionsCli options_for(const UpdateOptionsCli& o, const SurveyedInstrument& s) {
    UpdateOptionsCli one = o;
    one.serials.clear();
    one.all = false;
    one.connect = ConnectOptions{"usb", s.serial.toStdString(), s.where.toStdString()};
    return one;
}

// What an update of this instrument would do, found by connecting to it alone
// and applying the rules; nothing is written.
void plan(const UpdateOptionsCli& o, Member& m) {
    const SurveyedInstrument& s = found(m);
    const QString socket = s.where;
    if (s.busy) {
        m.skip = QStringLiteral("an update runs on it");
        return;
    }
    if (s.bootLoader) {
        m.skip = QStringLiteral("only its boot loader answers: complete it alone (tolactl update --socket %1)").arg(socket);
        return;
    }
    if (s.serial.isEmpty()) {
        m.skip = QStringLiteral("it reports no serial number: update it alone (tolactl update --socket %1)").arg(socket);
        return;
    }
    if (s.deviceCode != kChromatikVDeviceType) {
        m.skip = QStringLiteral("not a Chromatik V: its firmware is not updated here");
        return;
    }
    const UpdateOptionsCli one = options_for(o, s);
    UpdateSession session({false, o.yes}, one.connect, one.history, one.backup_dir);
    if (!o.file.empty() && !session.engine.OpenBinary(QString::fromStdString(o.file)))
        throw Failure("the firmware file " + o.file + " is not complete; nothing was sent", 1);
    if (!o.image.empty()) Firmwares().SelectFirmware(static_cast<std::uint32_t>(select_image(o.image)));
    session.Connect();
    const TDeviceInfo info = session.connection.DevInfo();
    session.engine.SetDeviceInfo(info);
    if (o.image.empty() && o.file.empty()) UpdateWorkflow::SelectDefaultImage(info, o.service);
    m.from = info.FirmwareVersion;
    m.to = session.engine.ReleaseToWrite();
    m.estimateMs = session.engine.EstimatedTotalMs();
    if (const auto pending = PendingSettingsFor(session.options.backupFolder, s.serial)) {
        // An earlier update of it did not end: the run completes it first.
        m.to = pending->toRelease.isEmpty() ? m.to : pending->toRelease;
        return;
    }
    try {
        CheckUpdateAllowed(info.CpuType, m.to, m.from, o.service);
    } catch (const EDeviceHasActualVersion&) {
        m.skip = QStringLiteral("up to date");
    } catch (const EProgramError& e) {
        m.skip = e.Message();
    }
}

void show_plan(const std::vector<Member>& members, bool json) {
    std::uint32_t total = 0;
    int updates = 0;
    for (const Member& m : members) {
        const SurveyedInstrument& s = found(m);
        if (m.skip.isEmpty()) {
            total += m.estimateMs;
            ++updates;
        }
        if (json) {
            json_event("\"event\":\"plan\",\"serial\":" + json_string(s.serial) + ",\"where\":" + json_string(s.where) +
                       ",\"from\":" + json_string(m.from) + ",\"to\":" + json_string(m.to) +
                       ",\"update\":" + (m.skip.isEmpty() ? "true" : "false") + ",\"skip\":" + json_string(m.skip) +
                       ",\"estimated_ms\":" + std::to_string(m.skip.isEmpty() ? m.estimateMs : 0));
        }
    }
    if (json) {
        json_event("\"event\":\"plan_total\",\"updates\":" + std::to_string(updates) +
                   ",\"estimated_ms\":" + std::to_string(total));
        return;
    }
    std::printf("%-10s %-8s %-8s %-8s %-9s %s\n", "SERIAL", "SOCKET", "FROM", "TO", "ESTIMATE", "");
    for (const Member& m : members) {
        const SurveyedInstrument& s = found(m);
        std::printf("%-10s %-8s %-8s %-8s %-9s %s\n", s.serial.isEmpty() ? "-" : text(s.serial).c_str(),
                    text(s.where).c_str(), m.from.isEmpty() ? "-" : text(m.from).c_str(),
                    m.skip.isEmpty() ? text(m.to).c_str() : "-",
                    m.skip.isEmpty() ? minutes(m.estimateMs).c_str() : "-",
                    m.skip.isEmpty() ? "update" : ("no update: " + text(m.skip)).c_str());
    }
    std::printf("%d update(s), about %s (min:s) in all\n\n", updates, minutes(total).c_str());
}

void show_outcome(const std::vector<Member>& members, bool json) {
    if (json) {
        for (const Member& m : members)
            json_event("\"event\":\"fleet_result\",\"serial\":" + json_string(found(m).serial) +
                       ",\"where\":" + json_string(found(m).where) + ",\"result\":" +
                       json_string(m.skip.isEmpty() ? m.result : QStringLiteral("skipped")) + ",\"skip\":" +
                       json_string(m.skip) + ",\"duration_ms\":" + std::to_string(m.durationMs) +
                       ",\"backup\":" + json_string(m.backup) + ",\"message\":" + json_string(m.message));
        return;
    }
    std::printf("\n%-10s %-8s %-12s %-7s %s\n", "SERIAL", "SOCKET", "RESULT", "TIME", "BACKUP FILE");
    for (const Member& m : members) {
        const SurveyedInstrument& s = found(m);
        const std::string result = m.skip.isEmpty() ? text(m.result) : "skipped";
        std::printf("%-10s %-8s %-12s %-7s %s\n", s.serial.isEmpty() ? "-" : text(s.serial).c_str(),
                    text(s.where).c_str(), result.c_str(), m.skip.isEmpty() ? minutes(static_cast<std::uint32_t>(m.durationMs)).c_str() : "-",
                    m.skip.isEmpty() ? (m.backup.isEmpty() ? "-" : text(m.backup).c_str()) : text(m.skip).c_str());
    }
}

std::string found_list(const std::vector<ListedInstrument>& listed) {
    std::string list;
    for (const ListedInstrument& l : listed)
        list += (list.empty() ? "" : ", ") + (l.found.serial.isEmpty() ? std::string("no serial number")
                                                                       : text(l.found.serial)) +
                " on " + text(l.found.where);
    return list.empty() ? "no USB instrument" : list;
}

// The instruments the command names: every one (--all) or each serial number
// exactly once.  Nothing starts when one is missing or a serial answers twice.
std::vector<Member> choose(const UpdateOptionsCli& o, const std::vector<ListedInstrument>& listed) {
    std::vector<SurveyedInstrument> all;
    for (const ListedInstrument& l : listed) all.push_back(l.found);
    const QStringList twice = DuplicateSerials(all);
    if (!twice.isEmpty())
        throw Failure("more than one instrument answers with serial number " + text(twice.join(", ")) +
                          "; found: " + found_list(listed) + ". Nothing was updated: update them alone by --socket",
                      1);
    std::vector<Member> members;
    if (o.all) {
        for (const ListedInstrument& l : listed) members.emplace_back(l);
        if (members.empty()) throw Failure("no USB instrument found (tolactl doctor tells why)", 2);
        return members;
    }
    std::string missing;
    for (const std::string& serial : o.serials) {
        bool seen = false;
        for (const Member& m : members) seen = seen || found(m).serial.toStdString() == serial;
        if (seen) continue;
        bool present = false;
        for (const ListedInstrument& l : listed)
            if (l.found.serial.toStdString() == serial) {
                members.emplace_back(l);
                present = true;
            }
        if (!present) missing += (missing.empty() ? "" : ", ") + serial;
    }
    if (!missing.empty())
        throw Failure("instrument " + missing + " not found; found: " + found_list(listed) + ". Nothing was updated", 2);
    return members;
}

}  // namespace

int run_fleet(const UpdateOptionsCli& o) {
    if (o.connect.port != "usb") throw CLI::ValidationError("--port", "a fleet is updated over USB");
    if (!o.connect.socket.empty()) throw CLI::ValidationError("--socket", "not with --all or several --serial");
    if (!o.image.empty() && select_image(o.image) < 0)
        throw CLI::ValidationError("--image", "no catalog entry '" + o.image + "' (see tolactl catalog)");
    refuse_during_update();
    tola::os::InterruptFlag interrupt;

    SurveyPlaces places;
    places.usbSockets = UsbChannelSockets();
    const auto listed = list_instruments(places, backup_folder(o.backup_dir), std::nullopt, !o.json);
    std::vector<Member> members = choose(o, listed);
    for (Member& m : members) {
        if (interrupt.raised()) throw Failure("interrupted while planning: nothing was updated", 130);
        plan(o, m);
    }
    show_plan(members, o.json);

    bool failed = false, stopped = false;
    const int interrupts_before = tola::os::interrupts_received();
    std::size_t position = 0, count = 0;
    for (const Member& m : members) count += m.skip.isEmpty() ? 1 : 0;
    for (Member& m : members) {
        if (!m.skip.isEmpty()) continue;
        if (interrupt.raised() || tola::os::interrupts_received() != interrupts_before) {
            stopped = true;
            break;
        }
        if (failed && !o.keep_going) break;
        const SurveyedInstrument& s = found(m);
        ++position;
        set_json_context("\"serial\":" + json_string(s.serial));
        if (!o.json)
            std::cout << "== " << text(s.serial) << " on " << text(s.where) << ": " << text(m.from) << " -> "
                      << text(m.to) << " (" << position << " of " << count << ") ==\n";
        UpdateRecord record;
        const auto start = std::chrono::steady_clock::now();
        int code = 1;
        try {
            code = run_update(options_for(o, s), &record);
            m.result = record.result.isEmpty() ? QStringLiteral("failed") : record.result;
            m.message = record.message;
        } catch (const CLI::Error& e) {
            // It could not start (the instrument went away since the plan): the
            // next one may still be updated.
            m.result = QStringLiteral("failed");
            m.message = QString::fromStdString(e.what());
            if (!o.json) std::cerr << "tolactl: " << e.what() << '\n';
        }
        m.durationMs = record.durationMs > 0 ? record.durationMs
                                             : std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count();
        m.backup = record.settingsBackup;
        set_json_context("");
        if (code != 0) failed = true;
    }
    if (stopped && !o.json) std::cout << "\ninterrupted: no further update was started\n";
    show_outcome(members, o.json);
    if (stopped) return 130;
    return failed ? 1 : 0;
}

}  // namespace tolactl
