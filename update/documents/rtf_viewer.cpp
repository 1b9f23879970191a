#include "update/documents/rtf_viewer.h"

#include "update/documents/rtf_reader.h"

#include <QFile>
#include <QTextEdit>
#include <QVBoxLayout>

namespace ckupdate {

TfrmRTFViewer::TfrmRTFViewer(QWidget* parent)
    : TDocumentViewer(QStringLiteral("frmRTFViewer"), parent), RichEdit1_(new QTextEdit(this)) {
    RichEdit1_->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1_->setReadOnly(true);
    RichEdit1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1_->setLineWrapMode(QTextEdit::WidgetWidth);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    RichEdit1_->setFont(font);
    RichEdit1_->clear();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichEdit1_);
}

void TfrmRTFViewer::LoadDocument(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw EDocumentLoad(tr("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw EDocumentLoad(tr("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    }
    ReadRtf(content, *RichEdit1_->document());
    RichEdit1_->moveCursor(QTextCursor::Start);
}

}  // namespace ckupdate
