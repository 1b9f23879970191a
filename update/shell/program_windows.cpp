#include "update/shell/program_windows.h"

#include "update/bluetooth/bt_discover.h"
#include "update/documents/about_box.h"
#include "update/documents/htm_viewer.h"
#include "update/documents/pdf_viewer.h"
#include "update/documents/rtf_viewer.h"
#include "update/shell/ck_update_dialog.h"

namespace ckupdate {

TProgramWindows::TProgramWindows(TProgramStart start) {
    const QString programPath = start.programPath;
    frmMain_ = std::make_unique<TfrmMain>(std::move(start));
    TfrmMain* main = frmMain_.get();
    frmAbout_ = std::make_unique<TfrmAbout>(programPath, main);
    frmHTMViewer_ = std::make_unique<TfrmHTMViewer>();
    frmPDFViewer_ = std::make_unique<TfrmPDFViewer>();
    frmRTFViewer_ = std::make_unique<TfrmRTFViewer>();
    frmCkUpdate_ = std::make_unique<TfrmCkUpdate>(main->Api(), *main, main, main);
    frmDiscover_ = std::make_unique<TfrmDiscover>(main->Api(), main->Settings(), main);
    main->SetWindows(TProgramWindowRefs{frmAbout_.get(), frmHTMViewer_.get(), frmPDFViewer_.get(),
                                        frmRTFViewer_.get(), frmCkUpdate_.get(), frmDiscover_.get()});
}

TProgramWindows::~TProgramWindows() {
    frmMain_->SetWindows({});
    frmDiscover_.reset();
    frmCkUpdate_.reset();
    frmRTFViewer_.reset();
    frmPDFViewer_.reset();
    frmHTMViewer_.reset();
    frmAbout_.reset();
    frmMain_.reset();
}

}  // namespace ckupdate
