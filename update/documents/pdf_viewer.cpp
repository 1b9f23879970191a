#include "update/documents/pdf_viewer.h"

#include "update/documents/qt_pdf_control.h"

#include <QVBoxLayout>

namespace ckupdate {
namespace {

// The process-wide reference to the display control; null while none exists.
TPdfControl* g_pdfControl = nullptr;

}  // namespace

PdfControlFactory DefaultPdfControlFactory() {
    return [](QWidget* parent) -> TPdfControl* {
        if (!TQtPdfControl::EngineWorks()) return nullptr;
        return new TQtPdfControl(parent);
    };
}

bool PdfControlAvailable() {
    return g_pdfControl != nullptr;
}

TfrmPDFViewer::TfrmPDFViewer(QWidget* parent, PdfControlFactory factory)
    : TDocumentViewer(QStringLiteral("frmPDFViewer"), parent), factory_(std::move(factory)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    CreatePdfControl();
}

TfrmPDFViewer::~TfrmPDFViewer() {
    if (g_pdfControl == control_) g_pdfControl = nullptr;
}

bool TfrmPDFViewer::CreatePdfControl() {
    try {
        TPdfControl* control = factory_ ? factory_(this) : nullptr;
        if (control == nullptr) return false;
        control_ = control;
        layout()->addWidget(control_);
        g_pdfControl = control_;
        return true;
    } catch (...) {
        // No control on this system: the main window hands PDF files to the system.
        DropPdfControl();
        return false;
    }
}

void TfrmPDFViewer::DropPdfControl() {
    if (control_ != nullptr) {
        if (g_pdfControl == control_) g_pdfControl = nullptr;
        delete control_;
        control_ = nullptr;
    }
}

void TfrmPDFViewer::SetFileToDisplay(const QString& value) {
    FFileToDisplay = value;
    if (control_ == nullptr && !CreatePdfControl()) return;  // stays hidden
    ShowOrRaise();
}

void TfrmPDFViewer::LoadDocument(const QString& fileName) {
    if (control_ != nullptr) control_->LoadFile(fileName);
}

}  // namespace ckupdate
