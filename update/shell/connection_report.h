// Info > Connection check: the checks of "tolactl doctor" in a small window,
// so that a user whose instrument is not found sees why and what to do.
#pragma once

#include "tools/doctor/doctor.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPlainTextEdit;

namespace ckupdate {

class TConnectionReport : public QDialog {
    Q_OBJECT
public:
    // inputs: what is known of the loaded library at the time of each check.
    TConnectionReport(std::function<tola::doctor::Inputs()> inputs, QWidget* parent);

    // Runs the checks again and shows their lines.
    void Refresh();
    QString ReportText() const;

private:
    std::function<tola::doctor::Inputs()> inputs_;
    QLabel* verdict_ = nullptr;
    QPlainTextEdit* lines_ = nullptr;
};

}  // namespace ckupdate
