// The rich-text viewer: an RTF file, read by the program's own RTF reader, in a
// read-only editor with the vertical scroll bar always shown and no horizontal one.
#pragma once

#include "update/documents/document_viewer.h"

class QTextEdit;

namespace ckupdate {

class TfrmRTFViewer : public TDocumentViewer {
    Q_OBJECT
public:
    explicit TfrmRTFViewer(QWidget* parent = nullptr);

    QTextEdit* RichEdit1() const { return RichEdit1_; }

protected:
    // Reads the file as rich text; a file that cannot be read raises EDocumentLoad.
    void LoadDocument(const QString& fileName) override;

private:
    QTextEdit* RichEdit1_;
};

}  // namespace ckupdate
