#include "update_views.h"

#include <unistd.h>

#include <iostream>
#include <string>

namespace tolactl {
namespace {

using ckupdate::CountDown;
using ckupdate::StepState;
using ckupdate::UpdateStep;

const char* state_name(StepState s) {
    switch (s) {
        case StepState::Off: return "off";
        case StepState::Busy: return "busy";
        case StepState::Done: return "done";
        case StepState::Failed: return "failed";
    }
    return "?";
}

bool ask_terminal(const std::string& question) {
    if (!::isatty(STDIN_FILENO)) {
        std::cout << terminal_text(QString::fromStdString(question)) << "\n(no terminal to answer: Abort)\n";
        return false;
    }
    std::cout << terminal_text(QString::fromStdString(question)) << " [y = Yes / anything else = Abort] "
              << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

// A numbered list on the terminal; "--yes" never picks one, and without a
// terminal nobody can.
int ask_choice(const QString& text, const QStringList& answers, bool assume_yes) {
    std::cout << terminal_text(text) << '\n';
    for (int i = 0; i < answers.size(); ++i) std::cout << "  " << (i + 1) << ") " << terminal_text(answers[i]) << '\n';
    if (assume_yes || !::isatty(STDIN_FILENO)) {
        std::cout << (assume_yes ? "(--yes does not choose)\n" : "(no terminal to answer: none chosen)\n");
        return -1;
    }
    std::cout << "Number (anything else: none): " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    try {
        std::size_t used = 0;
        const int n = std::stoi(answer, &used);
        if (used == answer.size() && n >= 1 && n <= answers.size()) return n - 1;
    } catch (const std::exception&) {
    }
    return -1;
}

class TerminalView final : public ckupdate::UpdateView {
public:
    explicit TerminalView(const ViewOptions& o) : options_(o), tty_(::isatty(STDOUT_FILENO) != 0) {}
    ~TerminalView() override { end_bar(); }

    void SetStep(UpdateStep step, const QString& text, StepState state) override {
        if (state == StepState::Off) return;
        end_bar();
        static const char* marks[] = {"   ", "...", " ok", "ERR"};
        std::cout << "  [" << marks[static_cast<int>(state)] << "] step " << static_cast<int>(step) << ": "
                  << terminal_text(text) << std::endl;
    }
    void SetCountDown(const CountDown& c) override {
        if (c.label == last_label_ && c.positionSeconds == last_position_) return;
        last_label_ = c.label;
        last_position_ = c.positionSeconds;
        if (!tty_) return;
        constexpr int kWidth = 30;
        const int filled = c.maximumSeconds > 0 ? std::min(kWidth, c.positionSeconds * kWidth / c.maximumSeconds) : 0;
        std::cout << "\r  [" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kWidth - filled), '-') << "] " << terminal_text(c.label)
                  << "   " << std::flush;
        bar_shown_ = true;
    }
    void SetVersionLines(const QString&, const QString&) override {}
    void ClearMessages() override {}
    void AddMessage(const QString& line) override {
        end_bar();
        std::cout << "  " << terminal_text(line) << std::endl;
    }
    void SetStartButtons(bool, bool) override {}
    void SetCancelEnabled(bool) override {}
    void SetButtonsLocked(bool) override {}
    bool AskYesAbort(const QString& text) override {
        end_bar();
        if (options_.assume_yes) {
            std::cout << terminal_text(text) << " Yes (--yes)\n";
            return true;
        }
        return ask_terminal(text.toStdString());
    }
    int AskChoice(const QString& text, const QStringList& answers) override {
        end_bar();
        return ask_choice(text, answers, options_.assume_yes);
    }
    void ShowErrorBox(const QString& text) override {
        end_bar();
        std::cout << "Error: " << terminal_text(text) << std::endl;
    }
    void ShowMessageBox(const QString& text) override {
        end_bar();
        std::cout << "Message: " << terminal_text(text) << std::endl;
    }
    void ShowResultPanel(bool success) override {
        end_bar();
        std::cout << (success ? "Update completed" : "Update error") << std::endl;
    }
    void HideResultPanel() override {}

private:
    void end_bar() {
        if (bar_shown_) std::cout << '\n';
        bar_shown_ = false;
    }
    ViewOptions options_;
    bool tty_;
    bool bar_shown_ = false;
    QString last_label_;
    int last_position_ = -1;
};

class JsonView final : public ckupdate::UpdateView {
public:
    explicit JsonView(const ViewOptions& o) : options_(o) {}

    void SetStep(UpdateStep step, const QString& text, StepState state) override {
        json_event("\"event\":\"step\",\"step\":" + std::to_string(static_cast<int>(step)) + ",\"state\":\"" +
                   state_name(state) + "\",\"text\":" + json_string(text));
    }
    void SetCountDown(const CountDown& c) override {
        if (c.label == last_label_ && c.positionSeconds == last_position_) return;
        last_label_ = c.label;
        last_position_ = c.positionSeconds;
        json_event("\"event\":\"countdown\",\"remaining_ms\":" + std::to_string(c.remainingMs) +
                   ",\"position\":" + std::to_string(c.positionSeconds) +
                   ",\"maximum\":" + std::to_string(c.maximumSeconds) + ",\"text\":" + json_string(c.label));
    }
    void SetVersionLines(const QString& a, const QString& b) override {
        json_event("\"event\":\"versions\",\"line1\":" + json_string(a) + ",\"line2\":" + json_string(b));
    }
    void ClearMessages() override { json_event("\"event\":\"clear_messages\""); }
    void AddMessage(const QString& line) override {
        json_event("\"event\":\"message\",\"text\":" + json_string(line));
    }
    void SetStartButtons(bool run, bool second) override {
        json_event(std::string("\"event\":\"buttons\",\"run\":") + (run ? "true" : "false") +
                   ",\"update_chromatik\":" + (second ? "true" : "false"));
    }
    void SetCancelEnabled(bool) override {}
    void SetButtonsLocked(bool locked) override {
        json_event(std::string("\"event\":\"buttons_locked\",\"locked\":") + (locked ? "true" : "false"));
    }
    bool AskYesAbort(const QString& text) override {
        const bool yes = options_.assume_yes || ask_terminal(text.toStdString());
        json_event("\"event\":\"question\",\"text\":" + json_string(text) + ",\"answer\":\"" +
                   (yes ? "yes" : "abort") + "\"");
        return yes;
    }
    int AskChoice(const QString& text, const QStringList& answers) override {
        // The stream is for machines: a choice is made with the command's options.
        const int chosen = -1;
        std::string list;
        for (const QString& a : answers) list += (list.empty() ? "" : ",") + json_string(a);
        json_event("\"event\":\"choice\",\"text\":" + json_string(text) + ",\"answers\":[" + list +
                   "],\"chosen\":" + std::to_string(chosen));
        return chosen;
    }
    void ShowErrorBox(const QString& text) override {
        json_event("\"event\":\"error_box\",\"text\":" + json_string(text));
    }
    void ShowMessageBox(const QString& text) override {
        json_event("\"event\":\"message_box\",\"text\":" + json_string(text));
    }
    void ShowResultPanel(bool success) override {
        json_event(std::string("\"event\":\"result\",\"success\":") + (success ? "true" : "false"));
    }
    void HideResultPanel() override {}

private:
    ViewOptions options_;
    QString last_label_;
    int last_position_ = -1;
};

}  // namespace

std::string terminal_text(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    while (t.endsWith('\n')) t.chop(1);
    return t.toStdString();
}

std::string json_string(const QString& text) {
    std::string out = "\"";
    for (const char c : text.toStdString()) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

namespace {
std::string& json_context() {
    static std::string context;
    return context;
}
}  // namespace

void set_json_context(const std::string& fields) { json_context() = fields; }

void json_event(const std::string& body) {
    const std::string& context = json_context();
    std::cout << "{" << body << (context.empty() || body.empty() ? "" : ",") << context << "}" << std::endl;
}

std::unique_ptr<ckupdate::UpdateView> make_update_view(const ViewOptions& options) {
    if (options.json) return std::make_unique<JsonView>(options);
    return std::make_unique<TerminalView>(options);
}

}  // namespace tolactl
