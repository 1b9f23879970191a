// Runs the real program windows against virtual instruments of the test's own:
// the library is loaded as the program loads it, boxes and file choices are
// answered by the test, the trace lines are collected.
#pragma once

#include "update/binding/dynamic_library.h"
#include "update/shell/ck_update_dialog.h"
#include "update/shell/dialog_services.h"
#include "update/shell/program_windows.h"

#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ckupdate::testing {

// The system's loader with some of the library's functions replaced by the
// test's own; a replacement reaches the library's function through Real.
class ScriptedLibraries final : public DynamicLibraryApi {
public:
    explicit ScriptedLibraries(std::map<std::string, void*> replaced);
    bool FileExists(const std::string& path) override { return real_->FileExists(path); }
    void* Open(const std::string& path) override { return real_->Open(path); }
    std::string LastErrorText() override { return real_->LastErrorText(); }
    void* Symbol(void* module, const char* name) override;
    void Close(void* module) override { real_->Close(module); }
    std::string CurrentDirectory() override { return real_->CurrentDirectory(); }
    std::string InstalledLibraryPath() override { return real_->InstalledLibraryPath(); }

    // The library's own function of that name, as the last binding found it.
    template <typename F>
    static F Real(const char* name) {
        return reinterpret_cast<F>(RealSymbol(name));
    }

private:
    static void* RealSymbol(const std::string& name);
    std::unique_ptr<DynamicLibraryApi> real_;
    std::map<std::string, void*> replaced_;
};

// A Chromatik V as the tests use it: USB, or Bluetooth with a name the
// program may choose ("TOLA ...").
tola::sim::InstrumentConfig UsbChromatikV(std::vector<std::string> faults = {});
tola::sim::InstrumentConfig BluetoothChromatikV();

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the virtual instruments (before Launch).
    void StartInstruments(std::vector<tola::sim::InstrumentConfig> configs);
    // Creates the windows as the program does and shows the main window.
    void Launch(QStringList extraArguments = {}, std::unique_ptr<CommBinding> binding = nullptr);
    // Closes the main window (as the program ends) and destroys the windows.
    void Quit();

    TfrmMain& Main() { return windows_->frmMain(); }
    TfrmCkUpdate& Update() { return windows_->frmCkUpdate(); }
    TProgramWindows& Windows() { return *windows_; }
    tola::sim::Instrument& Instrument(std::size_t i = 0) { return sim_->instrument(i); }

    // Lets the event loop run until pred holds or the time is over.
    static bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);
    // Waits for the connection, the update dialog that the automation opens
    // for it, and the start buttons.
    bool WaitForUpdateDialog(int timeoutMs = 10000);
    // Clicks "Run" and waits until the update has ended.
    bool RunUpdate(int timeoutMs = 60000);

    int CountTraces(const std::string& text) const;
    std::vector<std::string> Traces() const;

    QTemporaryDir dir_;
    std::unique_ptr<tola::sim::Simulator> sim_;
    std::unique_ptr<TProgramWindows> windows_;

    // What the program asked and showed.
    std::vector<BoxRequest> boxes_;
    std::vector<QString> errorBoxes_;
    std::vector<OpenFileRequest> fileRequests_;
    std::vector<QString> systemOpened_;
    std::vector<InstrumentRequest> instrumentRequests_;
    int instrumentAnswer_ = -1;  // the row chosen, -1 cancels
    QMessageBox::StandardButton boxAnswer_ = QMessageBox::Ok;
    QString fileAnswer_;
    bool systemOpenWorks_ = true;

private:
    mutable std::mutex trace_mutex_;
    std::vector<std::string> traces_;
};

}  // namespace ckupdate::testing
