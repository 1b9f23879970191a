#include "update/widgets/error_box.h"

#include "update/widgets/box_text.h"

#include <QApplication>
#include <QMessageBox>

namespace ckupdate {
namespace {

ErrorBoxHandler& Handler() {
    static ErrorBoxHandler handler;
    return handler;
}

}  // namespace

ErrorBoxHandler SetErrorBoxHandler(ErrorBoxHandler handler) {
    ErrorBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    if (Handler()) {
        Handler()(parent, text);
        return;
    }
    // Like every other box: the texts' "\n\r" line ends are single breaks.
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), BoxDisplayText(text));
}

}  // namespace ckupdate
