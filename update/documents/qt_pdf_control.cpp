#include "update/documents/qt_pdf_control.h"

#include <QBuffer>
#include <QImage>
#include <QPdfDocument>
#include <QPdfView>
#include <QVBoxLayout>

namespace ckupdate {
namespace {

// A one-page document with a filled square, with a correct cross-reference table.
QByteArray ProbeDocument() {
    const QByteArray content = "0 0 1 rg 10 10 80 80 re f";
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources << >> >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

}  // namespace

TQtPdfControl::TQtPdfControl(QWidget* parent)
    : TPdfControl(parent), document_(new QPdfDocument(this)), view_(new QPdfView(this)) {
    setObjectName(QStringLiteral("PdfControl"));
    view_->setDocument(document_);
    view_->setPageMode(QPdfView::PageMode::MultiPage);
    view_->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void TQtPdfControl::LoadFile(const QString& fileName) {
    // A file that does not load leaves the view empty; nothing is reported.
    document_->load(fileName);
}

bool TQtPdfControl::EngineWorks() {
    QByteArray data = ProbeDocument();
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() != 1) return false;
    const QImage page = document.render(0, QSize(20, 20));
    return !page.isNull() && page.pixelColor(10, 10) != page.pixelColor(0, 0);
}

}  // namespace ckupdate
