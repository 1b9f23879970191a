// The questions and file choices of the program's windows, behind handlers
// that tests replace (so that no test ever waits for a box to be answered).
// The defaults show QMessageBox and QFileDialog.  Call on the user-interface
// thread.
#pragma once

#include "update/device/instrument_survey.h"
#include "update/widgets/box_text.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

namespace ckupdate {

struct BoxRequest {
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title;
    QString text;  // as the program words it ("\n\r" line ends included)
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageBoxHandler = std::function<QMessageBox::StandardButton(QWidget* parent, const BoxRequest& box)>;
// Installs a handler (empty: the default) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
QMessageBox::StandardButton AskMessageBox(QWidget* parent, const BoxRequest& box);

struct OpenFileRequest {
    QString title;
    QString folder;
    QString fileName;
    QString defaultSuffix;
    QStringList filters;  // "EULA file *.rtf (*.rtf)", ...
};
// The chosen file, or empty when the user cancelled.
using OpenFileHandler = std::function<QString(QWidget* parent, const OpenFileRequest& request)>;
OpenFileHandler SetOpenFileHandler(OpenFileHandler handler);
QString AskOpenFileName(QWidget* parent, const OpenFileRequest& request);

struct ItemRequest {
    QString title;
    QString text;
    QStringList items;
};
// The index of the item chosen, or -1 when the user cancelled.
using ItemChoiceHandler = std::function<int(QWidget* parent, const ItemRequest& request)>;
ItemChoiceHandler SetItemChoiceHandler(ItemChoiceHandler handler);
int AskItem(QWidget* parent, const ItemRequest& request);

// Which of several instruments to connect.
struct InstrumentRequest {
    QString title;
    QString text;
    std::vector<SurveyedInstrument> instruments;
};
// The index of the instrument chosen, or -1 when the user cancelled.
using InstrumentChoiceHandler = std::function<int(QWidget* parent, const InstrumentRequest& request)>;
InstrumentChoiceHandler SetInstrumentChoiceHandler(InstrumentChoiceHandler handler);
int AskInstrument(QWidget* parent, const InstrumentRequest& request);

// The system's "open" action for a document; false when it failed.
using SystemOpenHandler = std::function<bool(const QString& path)>;
SystemOpenHandler SetSystemOpenHandler(SystemOpenHandler handler);
bool SystemOpen(const QString& path);

}  // namespace ckupdate
