// A scripted stand-in for the communication library behind a function table, and
// a clock whose sleeps only move its time forward: the update engine's tests run
// its whole workflow, fixed waits included, in microseconds.
#pragma once

#include "update/binding/comm_functions.h"
#include "update/firmware/update_view.h"
#include "update/program_clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ckupdate::testing {

class FakeClock final : public ProgramClock {
public:
    std::uint32_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
    std::uint32_t now = 100000;
    std::vector<std::uint32_t> sleeps;
};

// One call the engine made into the library.
struct Call {
    std::string name;
    std::int64_t a = 0;  // command, address, structure id, state ...
    std::int64_t b = 0;  // value, length, direction ...
};

// The library's side: a flash, three structures, and answers the test chooses.
struct FakeLibrary {
    std::vector<Call> calls;
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(0x100000, 0xFF);
    COMM_VERSION version{};
    CKNG_SETTINGS settings{};
    CKII_SETUP setup{};
    // Answers: return false for the next N calls of a kind (by name and first argument).
    std::map<std::pair<std::string, std::int64_t>, int> fail_next;
    bool fail_always_write_at = false;
    std::uint32_t never_write_address = 0;
    std::uint32_t device_type = 5324;
    std::vector<std::int32_t> open_results;  // successive results of poll_initialize (then 1)
    std::string transfer_message = "Structure not answered";
    std::uint32_t corrupt_read_at = 0;  // flash offset read back with one bit flipped (0: none)
    std::function<void()> on_restart;

    bool take_failure(const std::string& name, std::int64_t key);
    std::vector<Call> calls_named(const std::string& name) const;
};

FakeLibrary& fake();
// A table with every function bound to the fake (so the engine sees a complete library).
CommFunctions FakeFunctions();

// A view that records what it was shown.
struct RecordingView final : UpdateView {
    struct StepEvent {
        UpdateStep step;
        QString text;
        StepState state;
    };
    std::vector<StepEvent> steps;
    std::vector<QString> messages, errorBoxes, messageBoxes, questions;
    std::vector<CountDown> countDowns;
    std::vector<bool> results;
    bool answerYes = true;
    bool locked = false;
    bool runEnabled = false, secondEnabled = false, cancelEnabled = true;

    // Told of every step shown, for tests that act at a moment of the update.
    std::function<void(UpdateStep, StepState)> onStep;

    void SetStep(UpdateStep step, const QString& text, StepState state) override {
        steps.push_back({step, text, state});
        if (onStep) onStep(step, state);
    }
    void SetCountDown(const CountDown& c) override { countDowns.push_back(c); }
    void SetVersionLines(const QString&, const QString&) override {}
    void ClearMessages() override { messages.clear(); }
    void AddMessage(const QString& line) override { messages.push_back(line); }
    void SetStartButtons(bool run, bool second) override {
        runEnabled = run;
        secondEnabled = second;
    }
    void SetCancelEnabled(bool e) override { cancelEnabled = e; }
    void SetButtonsLocked(bool l) override { locked = l; }
    bool AskYesAbort(const QString& text) override {
        questions.push_back(text);
        return answerYes;
    }
    int choice = -1;  // the answer to every list question
    int AskChoice(const QString& text, const QStringList&) override {
        questions.push_back(text);
        return choice;
    }
    void ShowErrorBox(const QString& text) override { errorBoxes.push_back(text); }
    void ShowMessageBox(const QString& text) override { messageBoxes.push_back(text); }
    void ShowResultPanel(bool success) override { results.push_back(success); }
    void HideResultPanel() override {}

    // The last state a step was given (Off when never shown).
    StepState last(UpdateStep step) const;
    QString lastText(UpdateStep step) const;
};

}  // namespace ckupdate::testing
