// The HTML viewer: a local HTML file in a read-only browser control.
#pragma once

#include "update/documents/document_viewer.h"

class QTextBrowser;

namespace ckupdate {

class TfrmHTMViewer : public TDocumentViewer {
    Q_OBJECT
public:
    explicit TfrmHTMViewer(QWidget* parent = nullptr);

    QTextBrowser* WebBrowser1() const { return WebBrowser1_; }

protected:
    void LoadDocument(const QString& fileName) override;

private:
    QTextBrowser* WebBrowser1_;
};

}  // namespace ckupdate
