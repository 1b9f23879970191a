#include "update/documents/document_viewer.h"

#include "update/widgets/error_box.h"
#include "update/widgets/window_placement.h"

#include <QFileInfo>
#include <QShowEvent>

namespace ckupdate {

TDocumentViewer::TDocumentViewer(const QString& objectName, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(objectName);
    setWindowTitle(tr("TOLA Chromatik Updater") + tr(" - Display"));
    resize(kDesignWidth, kDesignHeight);
}

void TDocumentViewer::SetFileToDisplay(const QString& value) {
    FFileToDisplay = value;
    ShowOrRaise();
}

void TDocumentViewer::ShowOrRaise() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

// The stored place is the frame's; it is applied before the window is mapped,
// while the frame can still be placed (see window_placement.h).
void TDocumentViewer::setVisible(bool visible) {
    if (visible && !isVisible()) RestoreWindowPos(*this, true);
    QWidget::setVisible(visible);
}

void TDocumentViewer::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;  // restored from the task bar, not opened
    // A symbolic link counts by its target.
    if (FFileToDisplay.isEmpty() || !QFileInfo(FFileToDisplay).isFile()) return;
    try {
        LoadDocument(FFileToDisplay);
    } catch (const EProgramError& e) {
        ShowErrorBox(this, e.Message());
    }
}

void TDocumentViewer::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) SaveWindowPos(*this);
}

}  // namespace ckupdate
