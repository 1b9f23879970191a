// The program's default error box shows the texts' "\n\r" line ends as single
// line breaks, like every other box of the program.
#include "update/widgets/error_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace ckupdate {
namespace {

TEST(ErrorBox, DefaultBoxShowsTheLineEndsAsSingleBreaks) {
    const ErrorBoxHandler previous = SetErrorBoxHandler({});
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // The box is modal: it is read and closed from inside its own event loop.
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        shown = box->text();
        icon = box->icon();
        box->accept();
    });
    reader.start(10);
    ShowErrorBox(nullptr, QStringLiteral("Error:\n\rThe system has no program to open this document.\n\r<x.pdf>\n\r"));
    reader.stop();
    SetErrorBoxHandler(previous);
    EXPECT_EQ(QStringLiteral("Error:\nThe system has no program to open this document.\n<x.pdf>"), shown);
    EXPECT_EQ(QMessageBox::Critical, icon);
}

}  // namespace
}  // namespace ckupdate
