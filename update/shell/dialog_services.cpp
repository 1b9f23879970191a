#include "update/shell/dialog_services.h"

#include "update/shell/instrument_choice.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QUrl>

namespace ckupdate {
namespace {

MessageBoxHandler& BoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}
OpenFileHandler& FileHandler() {
    static OpenFileHandler handler;
    return handler;
}
SystemOpenHandler& OpenHandler() {
    static SystemOpenHandler handler;
    return handler;
}
ItemChoiceHandler& ItemHandler() {
    static ItemChoiceHandler handler;
    return handler;
}

InstrumentChoiceHandler& InstrumentHandler() {
    static InstrumentChoiceHandler handler;
    return handler;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(BoxHandler());
    BoxHandler() = std::move(handler);
    return previous;
}

QMessageBox::StandardButton AskMessageBox(QWidget* parent, const BoxRequest& box) {
    if (BoxHandler()) return BoxHandler()(parent, box);
    QMessageBox m(box.icon, box.title, BoxDisplayText(box.text), box.buttons, parent);
    return static_cast<QMessageBox::StandardButton>(m.exec());
}

OpenFileHandler SetOpenFileHandler(OpenFileHandler handler) {
    OpenFileHandler previous = std::move(FileHandler());
    FileHandler() = std::move(handler);
    return previous;
}

QString AskOpenFileName(QWidget* parent, const OpenFileRequest& request) {
    if (FileHandler()) return FileHandler()(parent, request);
    QFileDialog d(parent, request.title, request.folder);
    d.setAcceptMode(QFileDialog::AcceptOpen);
    d.setFileMode(QFileDialog::ExistingFile);
    d.setOption(QFileDialog::ReadOnly);
    d.setNameFilters(request.filters);
    d.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) d.selectFile(request.fileName);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
    return d.selectedFiles().constFirst();
}

ItemChoiceHandler SetItemChoiceHandler(ItemChoiceHandler handler) {
    ItemChoiceHandler previous = std::move(ItemHandler());
    ItemHandler() = std::move(handler);
    return previous;
}

int AskItem(QWidget* parent, const ItemRequest& request) {
    if (ItemHandler()) return ItemHandler()(parent, request);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, request.title, BoxDisplayText(request.text), request.items, 0,
                                                 false, &ok);
    return ok ? static_cast<int>(request.items.indexOf(chosen)) : -1;
}

InstrumentChoiceHandler SetInstrumentChoiceHandler(InstrumentChoiceHandler handler) {
    InstrumentChoiceHandler previous = std::move(InstrumentHandler());
    InstrumentHandler() = std::move(handler);
    return previous;
}

int AskInstrument(QWidget* parent, const InstrumentRequest& request) {
    if (InstrumentHandler()) return InstrumentHandler()(parent, request);
    TfrmChooseInstrument d(parent, request.title, request.text, request.instruments);
    return d.exec() == QDialog::Accepted ? d.Chosen() : -1;
}

SystemOpenHandler SetSystemOpenHandler(SystemOpenHandler handler) {
    SystemOpenHandler previous = std::move(OpenHandler());
    OpenHandler() = std::move(handler);
    return previous;
}

bool SystemOpen(const QString& path) {
    if (OpenHandler()) return OpenHandler()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace ckupdate
