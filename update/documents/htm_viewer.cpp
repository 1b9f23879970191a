#include "update/documents/htm_viewer.h"

#include <QFile>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace ckupdate {

TfrmHTMViewer::TfrmHTMViewer(QWidget* parent)
    : TDocumentViewer(QStringLiteral("frmHTMViewer"), parent), WebBrowser1_(new QTextBrowser(this)) {
    WebBrowser1_->setObjectName(QStringLiteral("WebBrowser1"));
    // Links to web pages open in the system's browser; local links stay here.
    WebBrowser1_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowser1_);
}

void TfrmHTMViewer::LoadDocument(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw EDocumentLoad(tr("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    }
    file.close();
    const QUrl url = QUrl::fromLocalFile(fileName);
    // The same name again is read anew: the file may have changed meanwhile.
    if (WebBrowser1_->source() == url)
        WebBrowser1_->reload();
    else
        WebBrowser1_->setSource(url, QTextDocument::HtmlResource);
}

}  // namespace ckupdate
