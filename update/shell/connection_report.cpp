#include "update/shell/connection_report.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ckupdate {

TConnectionReport::TConnectionReport(std::function<tola::doctor::Inputs()> inputs, QWidget* parent)
    : QDialog(parent), inputs_(std::move(inputs)) {
    setObjectName(QStringLiteral("frmConnectionReport"));
    setWindowTitle(tr("Connection check"));
    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("lblVerdict"));
    verdict_->setWordWrap(true);
    lines_ = new QPlainTextEdit(this);
    lines_->setObjectName(QStringLiteral("memReport"));
    lines_->setReadOnly(true);
    lines_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* again = buttons->addButton(tr("Check again"), QDialogButtonBox::ActionRole);
    again->setObjectName(QStringLiteral("btnCheckAgain"));
    connect(again, &QPushButton::clicked, this, &TConnectionReport::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(verdict_);
    layout->addWidget(lines_, 1);
    layout->addWidget(buttons);
    resize(720, 420);
    Refresh();
}

void TConnectionReport::Refresh() {
    const tola::doctor::Report report = tola::doctor::run(inputs_ ? inputs_() : tola::doctor::Inputs{});
    QStringList text;
    for (const auto& check : report.checks) text << QString::fromStdString(tola::doctor::format_line(check));
    lines_->setPlainText(text.join(QLatin1Char('\n')));
    verdict_->setText(report.connection_possible()
                          ? tr("Nothing blocks a connection to an instrument.")
                          : tr("Something blocks a connection to an instrument: see the fixes below."));
}

QString TConnectionReport::ReportText() const { return lines_->toPlainText(); }

}  // namespace ckupdate
