// The program's general error box: every error that escapes a user action in one
// of the program's windows ends up here.  The program may install its own box
// (tests install a recorder); the default shows a critical message box.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace ckupdate {

using ErrorBoxHandler = std::function<void(QWidget* parent, const QString& text)>;

// Installs the handler (an empty one restores the default) and returns the
// previous one.  Set before the windows run; called on the user-interface thread.
ErrorBoxHandler SetErrorBoxHandler(ErrorBoxHandler handler);

// Shows the text in the error box.
void ShowErrorBox(QWidget* parent, const QString& text);

}  // namespace ckupdate
