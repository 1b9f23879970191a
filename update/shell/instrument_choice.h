// The list the program offers when several instruments are attached over USB:
// one row per instrument (serial number, product, firmware release, socket),
// an instrument that answers only as its boot loader marked as such.  Shown by
// the default handler of AskInstrument (dialog_services.h).
#pragma once

#include "update/device/instrument_survey.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace ckupdate {

class TfrmChooseInstrument : public QDialog {
    Q_OBJECT
public:
    TfrmChooseInstrument(QWidget* parent, const QString& title, const QString& text,
                         const std::vector<SurveyedInstrument>& instruments);

    // The row chosen (the first one until the user picks another), -1 when none.
    int Chosen() const;

    QLabel* lblText() const { return lblText_; }
    QTreeWidget* lvInstruments() const { return lvInstruments_; }
    QPushButton* btnConnect() const { return btnConnect_; }

    // What a row shows of an instrument, column by column.
    static QStringList RowTexts(const SurveyedInstrument& instrument);

private:
    QLabel* lblText_ = nullptr;
    QTreeWidget* lvInstruments_ = nullptr;
    QPushButton* btnConnect_ = nullptr;
};

}  // namespace ckupdate
