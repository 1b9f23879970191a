// The PDF display control on QtPdf: a scrolling view of all pages, fitted to
// the window's width.
#pragma once

#include "update/documents/pdf_viewer.h"

class QPdfDocument;
class QPdfView;

namespace ckupdate {

class TQtPdfControl : public TPdfControl {
    Q_OBJECT
public:
    explicit TQtPdfControl(QWidget* parent = nullptr);

    void LoadFile(const QString& fileName) override;

    // True when the PDF engine reads and renders a small document of its own.
    static bool EngineWorks();

    QPdfDocument* Document() const { return document_; }

private:
    QPdfDocument* document_;
    QPdfView* view_;
};

}  // namespace ckupdate
