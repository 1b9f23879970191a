// The PDF viewer.  Its display control is made at run time; whether one could be
// made is a process-wide fact that the main window reads (PdfControlAvailable)
// to decide between this viewer and the system's "open" action.
#pragma once

#include "update/documents/document_viewer.h"

#include <functional>

namespace ckupdate {

// A control that shows a PDF file given by its path.
class TPdfControl : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Loads and shows the file; a file that does not load leaves the control empty.
    virtual void LoadFile(const QString& fileName) = 0;
};

// Makes the display control with the given parent, or returns nullptr (or
// throws) when none can be made.  The default makes a QtPdf view after checking
// that the PDF engine renders a small document of its own.
using PdfControlFactory = std::function<TPdfControl*(QWidget* parent)>;
PdfControlFactory DefaultPdfControlFactory();

// The process-wide reference: true while a PDF viewer holds a display control.
bool PdfControlAvailable();

class TfrmPDFViewer : public TDocumentViewer {
    Q_OBJECT
public:
    explicit TfrmPDFViewer(QWidget* parent = nullptr, PdfControlFactory factory = DefaultPdfControlFactory());
    ~TfrmPDFViewer() override;

    // Stores the name; makes the control when there is none yet, then shows the
    // window.  When no control can be made the window stays hidden.
    void SetFileToDisplay(const QString& value) override;

    TPdfControl* PdfControl() const { return control_; }

protected:
    void LoadDocument(const QString& fileName) override;

private:
    bool CreatePdfControl();
    void DropPdfControl();

    PdfControlFactory factory_;
    TPdfControl* control_ = nullptr;
};

}  // namespace ckupdate
