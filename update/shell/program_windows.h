// The program's windows, created in the program's order: the main window
// (which loads the library and reads the settings), the About box, the HTML,
// PDF and RTF viewers, the update dialog, the Bluetooth dialog.  All but the
// main window stay hidden until they are shown.
#pragma once

#include "update/shell/ck_update_main.h"

#include <memory>

namespace ckupdate {

class TProgramWindows {
public:
    explicit TProgramWindows(TProgramStart start);
    // The windows go in the reverse order; the main window (and with it the
    // library) last.
    ~TProgramWindows();
    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

    TfrmMain& frmMain() { return *frmMain_; }
    TfrmAbout& frmAbout() { return *frmAbout_; }
    TfrmHTMViewer& frmHTMViewer() { return *frmHTMViewer_; }
    TfrmPDFViewer& frmPDFViewer() { return *frmPDFViewer_; }
    TfrmRTFViewer& frmRTFViewer() { return *frmRTFViewer_; }
    TfrmCkUpdate& frmCkUpdate() { return *frmCkUpdate_; }
    TfrmDiscover& frmDiscover() { return *frmDiscover_; }

private:
    std::unique_ptr<TfrmMain> frmMain_;
    std::unique_ptr<TfrmAbout> frmAbout_;
    std::unique_ptr<TfrmHTMViewer> frmHTMViewer_;
    std::unique_ptr<TfrmPDFViewer> frmPDFViewer_;
    std::unique_ptr<TfrmRTFViewer> frmRTFViewer_;
    std::unique_ptr<TfrmCkUpdate> frmCkUpdate_;
    std::unique_ptr<TfrmDiscover> frmDiscover_;
};

}  // namespace ckupdate
