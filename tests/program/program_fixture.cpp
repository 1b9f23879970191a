#include "tests/program/program_fixture.h"

#include "update/firmware/firmware_catalog.h"
#include "update/program_trace.h"
#include "update/widgets/error_box.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <chrono>
#include <cstdlib>

namespace ckupdate::testing {

namespace {

std::mutex& RealSymbolsMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, void*>& RealSymbols() {
    static std::map<std::string, void*> symbols;
    return symbols;
}

}  // namespace

ScriptedLibraries::ScriptedLibraries(std::map<std::string, void*> replaced)
    : real_(SystemDynamicLibraryApi()), replaced_(std::move(replaced)) {}

void* ScriptedLibraries::Symbol(void* module, const char* name) {
    void* real = real_->Symbol(module, name);
    {
        std::lock_guard lock(RealSymbolsMutex());
        RealSymbols()[name] = real;
    }
    const auto it = replaced_.find(name);
    return it != replaced_.end() && real != nullptr ? it->second : real;
}

void* ScriptedLibraries::RealSymbol(const std::string& name) {
    std::lock_guard lock(RealSymbolsMutex());
    const auto it = RealSymbols().find(name);
    return it != RealSymbols().end() ? it->second : nullptr;
}

tola::sim::InstrumentConfig UsbChromatikV(std::vector<std::string> faults) {
    tola::sim::InstrumentConfig c;
    c.kind = 4;
    c.firmware = "511vLE";
    c.serial = "H51234";
    c.faults = std::move(faults);
    return c;
}

tola::sim::InstrumentConfig BluetoothChromatikV() {
    tola::sim::InstrumentConfig c;
    c.kind = 10;
    c.firmware = "511vLE";
    c.serial = "H51235";
    c.bt_name = "TOLA Chromatik V H51235";
    return c;
}

void ProgramTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    const std::string base = dir_.path().toStdString();
    ::setenv("TOLA_USB_DIR", (base + "/usb").c_str(), 1);
    ::setenv("TOLA_BT_DIR", (base + "/bt").c_str(), 1);
    // The update history and the settings backups of each test in its own folder:
    // a backup one test leaves pending must not hold up the next one.
    QStandardPaths::setTestModeEnabled(false);
    ::setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/config");
    Firmwares().SelectFirmware(0);
    SetProgramTraceSink([this](const std::string& line) {
        std::lock_guard lock(trace_mutex_);
        traces_.push_back(line);
    });
    SetMessageBoxHandler([this](QWidget*, const BoxRequest& box) {
        boxes_.push_back(box);
        return boxAnswer_;
    });
    SetErrorBoxHandler([this](QWidget*, const QString& text) { errorBoxes_.push_back(text); });
    SetOpenFileHandler([this](QWidget*, const OpenFileRequest& request) {
        fileRequests_.push_back(request);
        return fileAnswer_;
    });
    SetInstrumentChoiceHandler([this](QWidget*, const InstrumentRequest& request) {
        instrumentRequests_.push_back(request);
        return instrumentAnswer_;
    });
    SetSystemOpenHandler([this](const QString& path) {
        systemOpened_.push_back(path);
        return systemOpenWorks_;
    });
}

void ProgramTest::TearDown() {
    Quit();
    sim_.reset();
    SetProgramTraceSink({});
    SetMessageBoxHandler({});
    SetErrorBoxHandler({});
    SetOpenFileHandler({});
    SetSystemOpenHandler({});
    SetInstrumentChoiceHandler({});
}

void ProgramTest::StartInstruments(std::vector<tola::sim::InstrumentConfig> configs) {
    sim_ = std::make_unique<tola::sim::Simulator>(dir_.path().toStdString() + "/usb", dir_.path().toStdString() + "/bt");
    for (auto& c : configs) sim_->add(std::move(c));
    sim_->start();
    for (std::size_t i = 0; i < sim_->size(); ++i)
        ASSERT_TRUE(sim_->instrument(i).wait_until_present(true, std::chrono::seconds(2)));
}

void ProgramTest::Launch(QStringList extraArguments, std::unique_ptr<CommBinding> binding) {
    QStringList arguments{QCoreApplication::applicationFilePath()};
    arguments += extraArguments;
    windows_ = std::make_unique<TProgramWindows>(
        TProgramStart{arguments, QCoreApplication::applicationFilePath(), std::move(binding)});
    Main().show();
}

void ProgramTest::Quit() {
    if (!windows_) return;
    // An update that still runs is waited for: the program refuses to close then.
    WaitUntil([this] { return !Update().UpdateRunning(); }, 60000);
    Update().hide();
    Main().close();
    windows_.reset();
}

bool ProgramTest::WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    return QTest::qWaitFor(pred, timeoutMs);
}

bool ProgramTest::WaitForUpdateDialog(int timeoutMs) {
    return WaitUntil([this] { return Update().isVisible() && Update().btnUpdateFW_CKV()->isEnabled(); }, timeoutMs);
}

bool ProgramTest::RunUpdate(int timeoutMs) {
    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    if (!WaitUntil([this] { return Update().UpdateRunning(); }, 2000)) return false;
    return WaitUntil([this] { return !Update().UpdateRunning(); }, timeoutMs);
}

int ProgramTest::CountTraces(const std::string& text) const {
    std::lock_guard lock(trace_mutex_);
    int n = 0;
    for (const std::string& line : traces_)
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

std::vector<std::string> ProgramTest::Traces() const {
    std::lock_guard lock(trace_mutex_);
    return traces_;
}

}  // namespace ckupdate::testing
