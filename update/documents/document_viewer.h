// The shape the three document viewers share: a resizable window that keeps its
// geometry in the settings store and reads its document when it becomes
// visible.  Writing FileToDisplay while the viewer is on the screen only stores
// the name and brings the window to the front; the new file is read at the next
// showing.
#pragma once

#include "update/program_error.h"

#include <QString>
#include <QWidget>

namespace ckupdate {

// A document that exists could not be read.
CKUPDATE_ERROR_CLASS(EDocumentLoad);

class TDocumentViewer : public QWidget {
    Q_OBJECT
public:
    // objectName: the instance name whose upper-cased form keys the geometry
    // ("frmRTFViewer" -> "FRMRTFVIEWER_W", ...).
    TDocumentViewer(const QString& objectName, QWidget* parent = nullptr);

    const QString& FileToDisplay() const { return FFileToDisplay; }
    // Stores the name and shows the window (see the class comment).
    virtual void SetFileToDisplay(const QString& value);

    // The design size of the viewers' client area.
    static constexpr int kDesignWidth = 592;
    static constexpr int kDesignHeight = 366;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    // Shows the window, or raises and activates it when it is already visible.
    void ShowOrRaise();
    // Hands the existing file to the display control; errors are raised.
    virtual void LoadDocument(const QString& fileName) = 0;

    QString FFileToDisplay;
};

}  // namespace ckupdate
