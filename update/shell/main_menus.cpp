// The menu commands of the main window: connecting and disconnecting, the
// choice among several USB instruments, the Bluetooth search, the update button, the firmware choice of the service
// mode, the licence text, the About box and the language items.
#include "update/shell/ck_update_main.h"

#include "update/bluetooth/bt_discover.h"
#include "update/documents/about_box.h"
#include "update/documents/htm_viewer.h"
#include "update/documents/pdf_viewer.h"
#include "update/documents/rtf_viewer.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/update_lock.h"
#include "update/shell/ck_update_dialog.h"
#include "update/shell/connection_report.h"
#include "update/shell/dialog_services.h"
#include "update/shell/interface_section.h"
#include "update/shell/previous_firmware.h"
#include "update/shell/shell_trace.h"
#include "update/widgets/error_box.h"
#include "update/widgets/windows1252.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <string>
#include <cstring>
#include <exception>

namespace ckupdate {
namespace {

constexpr int kDeviceTextChars = 50;
constexpr int kMenuDeviceNameChars = 51;

}  // namespace

// An error that escapes a user action ends in the program's error box.
template <typename F>
void TfrmMain::Guarded(F&& f) {
    try {
        f();
    } catch (const EProgramError& e) {
        ckupdate::ShowErrorBox(this, e.Message());
    } catch (const std::exception& e) {
        ckupdate::ShowErrorBox(this, QString::fromLocal8Bit(e.what()));
    }
}

void TfrmMain::bbtnCKUpdateClick() {
    Guarded([this] {
        TfrmCkUpdate* dialog = windows_.frmCkUpdate;
        if (dialog == nullptr) return;
        dialog->InitDbg({});
        dialog->SetDeviceInfo(f_DevInfo);
        dialog->SetOptions(CurrentUpdateOptions());
        dialog->ShowModal();
    });
}

void TfrmMain::smFileExitClick() { close(); }

// The connection menu, the Bluetooth search and the firmware choice wait for
// the end of an update: they would change the connection (or the library's
// Bluetooth device, or the image) under the engine.
void TfrmMain::smExtraDisconnectClick() {
    if (RefusedWhileUpdating("smExtraDisconnectClick")) return;
    Guarded([this] {
        MainTrace("TfrmMain.smExtraDisconnectClick: Enter");
        {
            TInterfaceLock lock;
            lock.Enter();
            tmrPollConnectionStatus_->stop();
            MainTrace("TfrmMain.smExtraDisconnectClick: csInterface.Acquired");
            connection_.SetJobFlags(job::kDisconnect);
        }
        PollSoon();
        MainTrace("TfrmMain.smExtraDisconnectClick: csInterface.Released");
        MainTrace("TfrmMain.smExtraDisconnectClick: Exit");
    });
}

void TfrmMain::smExtraConnectDevClick(QAction* item) {
    if (RefusedWhileUpdating("smExtraConnectDevClick")) return;
    Guarded([this, item] {
        MainTrace("TfrmMain.smExtraConnectDevClick: Enter");
        if (item->objectName().toUpper().contains(QLatin1String("USB"))) {
            f_PendingPort.store(kPortUsb);
        } else {
            if (windows_.frmDiscover == nullptr || windows_.frmDiscover->DeviceCount() < 1) {
                MainTrace("TfrmMain.smExtraConnectDevClick: Exit");
                return;
            }
            BT_DEVICE device = windows_.frmDiscover->SelectedDevice();
            // A known device that is no instrument leaves nothing chosen:
            // nothing to connect to, and the connection that is open stays.
            if (device.snBtAddress[0] == '\0') {
                MainTrace("TfrmMain.smExtraConnectDevClick: no instrument chosen");
                MainTrace("TfrmMain.smExtraConnectDevClick: Exit");
                return;
            }
            f_PendingPort.store(kPortBluetooth);
            struct Soon {
                TfrmMain* w;
                ~Soon() { w->PollSoon(); }
            };
            Soon soon{this};
            TInterfaceLock lock;
            lock.Enter();
            tmrPollConnectionStatus_->stop();
            MainTrace("TfrmMain.smExtraConnectDevClick: csInterface.Acquired - CK_comm_BtSetDevice()");
            connection_.SelectBluetoothDevice(device);
            // A USB instrument chosen before would limit the Bluetooth search too.
            connection_.SetSearchLimit(SearchLimit{});
            lock.Leave();
            MainTrace("TfrmMain.smExtraConnectDevClick: csInterface.Released - CK_comm_BtSetDevice()");
        }
        item->setChecked(true);
        {
            TInterfaceLock lock;
            lock.Enter();
            MainTrace("TfrmMain.smExtraConnectDevClick: csInterface.Acquired - tj_CloseAndReconnect");
            connection_.AddJobFlags(job::kCloseAndReconnect);
        }
        MainTrace("TfrmMain.smExtraConnectDevClick: csInterface.Released - tj_CloseAndReconnect");
        EnablePollTimer();
        MainTrace("TfrmMain.smExtraConnectDevClick: Exit");
    });
}

// --- choosing the USB instrument ---

namespace {

// The instruments at the channel's sockets that may be connected: the one that
// another process's update holds is neither opened nor offered.
std::vector<SurveyedInstrument> SurveyBench(TDeviceConnection& connection, const QStringList& sockets) {
    SurveyPlaces places;
    places.usbSockets = sockets;
    if (const auto running = UpdateLock::RunningUpdateOf(UpdateLock::DefaultFolder());
        running && running->port != QLatin1String("bluetooth")) {
        places.usbBusy = true;
        places.busyUsbSocket = running->socket;
        places.busyText = running->text;
    }
    std::vector<SurveyedInstrument> found = SurveyInstruments(connection, places);
    std::erase_if(found, [](const SurveyedInstrument& s) { return s.busy; });
    return found;
}

}  // namespace

// On the connection thread, inside the interface section, with the connection
// closed.  A single instrument (or none) is opened as ever, without a question;
// only with more than one socket is each of them opened alone to see who
// answers there.
bool TfrmMain::MayOpenUsb() {
    if (choosing_.load()) return false;
    const QStringList sockets = UsbChannelSockets();
    if (sockets.size() < 2) return true;
    std::vector<SurveyedInstrument> found = SurveyBench(survey_connection_, sockets);
    if (found.size() < 2) return true;
    MainTrace("TfrmMain.MayOpenUsb: " + std::to_string(found.size()) + " instruments answer, the user chooses");
    choosing_.store(true);
    QMetaObject::invokeMethod(this, [this, found = std::move(found)] { OfferInstruments(found, false); },
                              Qt::QueuedConnection);
    return false;
}

void TfrmMain::ChooseUsbInstrument() {
    choosing_.store(true);
    std::vector<SurveyedInstrument> found = SurveyBench(survey_connection_, UsbChannelSockets());
    QMetaObject::invokeMethod(this, [this, found = std::move(found)] { OfferInstruments(found, true); },
                              Qt::QueuedConnection);
}

void TfrmMain::smExtraChooseInstrumentClick() {
    if (RefusedWhileUpdating("smExtraChooseInstrumentClick")) return;
    Guarded([this] {
        MainTrace("TfrmMain.smExtraChooseInstrumentClick: Enter");
        serial_before_choice_ = f_DevInfo.Serial;
        {
            TInterfaceLock lock;
            lock.Enter();
            tmrPollConnectionStatus_->stop();
            port_before_choice_ = connection_.PortData().iPort;
            connection_.SetJobFlags(static_cast<std::uint8_t>((connection_.JobFlags() & job::kWatchIdle) |
                                                              job::kChooseInstrument));
        }
        PollSoon();
        MainTrace("TfrmMain.smExtraChooseInstrumentClick: Exit");
    });
}

// The chosen instrument limits every later open (its serial number and its
// socket) until the user chooses again.  Nothing chosen keeps what was
// connected before (over USB or Bluetooth); with several instruments and none connected before the
// program stays disconnected and says which ones answer.
void TfrmMain::OfferInstruments(const std::vector<SurveyedInstrument>& found, bool asked) {
    if (closed_) return;
    int chosen = -1;
    if (found.empty()) {
        AskMessageBox(this, BoxRequest{QMessageBox::Information, tr("Choose instrument"),
                                       tr("No instrument answers over USB."), QMessageBox::Ok});
    } else {
        const QString text = asked ? tr("Which instrument shall be connected?")
                                   : tr("Several instruments are attached over USB. Which one shall be connected?");
        chosen = AskInstrument(this, InstrumentRequest{tr("Choose instrument"), text, found});
    }
    if (closed_) return;
    const bool picked = chosen >= 0 && chosen < static_cast<int>(found.size());
    if (picked) {
        f_PendingPort.store(kPortUsb);
        smExtraConnectBT_->setChecked(false);
    }
    std::optional<SearchLimit> limit;
    {
        TInterfaceLock lock;
        lock.Enter();
        if (picked) {
            const SurveyedInstrument& s = found[static_cast<std::size_t>(chosen)];
            limit = SearchLimit{s.serial, s.where};
        } else if (connection_.Limit().Active()) {
            limit = connection_.Limit();
        } else if (asked && port_before_choice_ == kPortBluetooth) {
            limit = SearchLimit{};
        } else {
            if (asked && !serial_before_choice_.isEmpty())
                for (const SurveyedInstrument& s : found)
                    if (s.serial == serial_before_choice_) limit = SearchLimit{s.serial, s.where};
            if (!limit && found.size() < 2) limit = SearchLimit{};
        }
        std::uint8_t jobs = connection_.JobFlags() & job::kWatchIdle;
        if (limit) {
            connection_.SetSearchLimit(*limit);
            connection_.PortData().iPort = picked || !asked ? kPortUsb : port_before_choice_;
            jobs |= job::kReconnect;
        }
        connection_.SetJobFlags(jobs);
        choosing_.store(false);
    }
    if (limit) {
        MainTrace("TfrmMain.OfferInstruments: connecting " +
                  (limit->Active() ? (limit->serial + " on " + limit->socket).toStdString() : std::string("as before")));
        PollSoon();
        return;
    }
    MainTrace("TfrmMain.OfferInstruments: none chosen");
    QStringList serials;
    for (const SurveyedInstrument& s : found) serials << (s.serial.isEmpty() ? tr("no serial number") : s.serial);
    lblPending_->setText(tr("Several instruments are attached over USB (%1) and none is chosen: \"Choose "
                            "instrument...\" in the menu Extras > CK connect connects one.")
                             .arg(serials.join(QStringLiteral(", "))));
    lblPending_->show();
}

void TfrmMain::smExtraConnectSelectBTDClick() {
    if (RefusedWhileUpdating("smExtraConnectSelectBTDClick")) return;
    Guarded([this] {
        MainTrace("TfrmMain.smExtraConnectSelectBTDClick: Enter");
        TfrmDiscover* dialog = windows_.frmDiscover;
        int result = TfrmDiscover::mrCancel;
        {
            const bool polling = tmrPollConnectionStatus_->isActive();
            TInterfaceLock lock;
            lock.Enter();
            tmrPollConnectionStatus_->stop();
            MainTrace("TfrmMain.smExtraConnectSelectBTDClick: csInterface.Acquired - frmDiscover.ShowModal");
            // The section is held while the dialog is open: the connection
            // thread does no job meanwhile.
            if (dialog != nullptr) result = dialog->ShowModal();
            lock.Leave();
            if (polling) tmrPollConnectionStatus_->start();
            MainTrace("TfrmMain.smExtraConnectSelectBTDClick: csInterface.Released- - frmDiscover.ShowModal");
        }
        if (dialog != nullptr && result != TfrmDiscover::mrCancel) {
            // The first row after a search may be a known device whose name is
            // not an instrument's: the dialog then closes with nothing chosen,
            // and there is nothing to connect to.
            if (dialog->DeviceCount() >= 1 && dialog->SelectedDevice().snBtAddress[0] == '\0') {
                MainTrace("TfrmMain.smExtraConnectSelectBTDClick: no instrument chosen");
                MainTrace("TfrmMain.smExtraConnectSelectBTDClick: Exit");
                return;
            }
            if (dialog->DeviceCount() >= 1) {
                smExtraConnectBT_->setEnabled(true);
                BT_DEVICE device = dialog->SelectedDevice();
                const QString name =
                    FromWindows1252(device.snBtDeviceName, ::strnlen(device.snBtDeviceName, sizeof device.snBtDeviceName));
                smExtraConnectBT_->setText(tr("Via Bluetooth to ") + name.left(kMenuDeviceNameChars));
                *f_BtDevices = BT_DEVICES{};
                const int count = std::min<int>(dialog->DeviceCount(), static_cast<int>(std::size(f_BtDevices->qBtDevice)));
                f_BtDevices->iCount = count;
                for (int i = 0; i < count; ++i) {
                    BT_DEVICE& entry = f_BtDevices->qBtDevice[i];
                    CopyToAnsiField(entry.snBtAddress, sizeof entry.snBtAddress, dialog->DeviceAddress(i), kDeviceTextChars);
                    CopyToAnsiField(entry.snBtDeviceName, sizeof entry.snBtDeviceName, dialog->DeviceName(i), kDeviceTextChars);
                }
                const bool polling = tmrPollConnectionStatus_->isActive();
                TInterfaceLock lock;
                lock.Enter();
                tmrPollConnectionStatus_->stop();
                MainTrace("TfrmMain.smExtraConnectSelectBTDClick: csInterface.Acquired - CK_comm_BtSetDevice");
                connection_.SelectBluetoothDevice(device);
                lock.Leave();
                if (polling) tmrPollConnectionStatus_->start();
                MainTrace("TfrmMain.smExtraConnectSelectBTDClick: csInterface.Released - CK_comm_BtSetDevice");
            }
            smExtraConnectDevClick(smExtraConnectBT_);
        }
        MainTrace("TfrmMain.smExtraConnectSelectBTDClick: Exit");
    });
}

void TfrmMain::smExtraVerifyClick(bool checked) {
    settings_.VerifyBeforeHeader = checked;
    if (windows_.frmCkUpdate != nullptr) windows_.frmCkUpdate->SetOptions(CurrentUpdateOptions());
}

// The chosen backup goes through the update dialog like any firmware file.
void TfrmMain::smExtraPreviousFirmwareClick() {
    if (RefusedWhileUpdating("smExtraPreviousFirmwareClick")) return;
    Guarded([this] {
        TfrmCkUpdate* dialog = windows_.frmCkUpdate;
        if (dialog == nullptr) return;
        const QString path = ChoosePreviousFirmware(this, f_DevInfo.Serial);
        if (path.isEmpty() || !dialog->OpenRollback(path)) return;
        bbtnCKUpdateClick();
    });
}

void TfrmMain::smInfoAboutClick() {
    Guarded([this] {
        if (windows_.frmAbout != nullptr) windows_.frmAbout->ShowModal();
    });
}

void TfrmMain::smInfoConnectionCheckClick() {
    Guarded([this] {
        // Non-modal: the user may follow a fix and check again while it is open.
        auto* report = findChild<TConnectionReport*>(QStringLiteral("frmConnectionReport"));
        if (report == nullptr) {
            report = new TConnectionReport(
                [this] {
                    tola::doctor::Inputs inputs;
                    if (binding_ && Api().Loaded())
                        inputs.library_symbol = reinterpret_cast<const void*>(Api().Table().iTOLA_comm_poll_initialize);
                    return inputs;
                },
                this);
        } else {
            report->Refresh();
        }
        report->show();
        report->raise();
    });
}

void TfrmMain::smInfoEulaClick() {
    Guarded([this] {
        const QString current = settings_.ViewerEULAFile;
        if (!QFileInfo::exists(current)) {
            OpenFileRequest request;
            request.title = tr("Open EULA file");
            request.folder = environment_.ProgramFolder;
            request.fileName = current.isEmpty() ? QStringLiteral("*.rtf") : QFileInfo(current).fileName();
            request.defaultSuffix = QStringLiteral("rtf");
            request.filters = QStringList{tr("EULA file *.rtf (*.rtf)"), tr("EULA file *.html (*.html)"),
                                          tr("EULA file *.htm (*.htm)"), tr("EULA file *.pdf (*.pdf)"),
                                          tr("All files *.* (*)")};
            const QString picked = AskOpenFileName(this, request);
            if (!picked.isEmpty()) settings_.ViewerEULAFile = picked;
        }
        ShowDocument(settings_.ViewerEULAFile);
    });
}

// The viewer is chosen by what the upper-cased extension contains, each test
// on its own (".rtfx" goes to the RTF viewer).
void TfrmMain::ShowDocument(const QString& fileName) {
    const QFileInfo file(fileName);
    if (fileName.isEmpty() || !file.exists()) return;
    const QString extension = file.suffix().toUpper();
    if (extension.contains(QLatin1String("PDF"))) {
        if (PdfControlAvailable() && windows_.frmPDFViewer != nullptr) {
            windows_.frmPDFViewer->SetFileToDisplay(fileName);
        } else if (!SystemOpen(fileName)) {
            ckupdate::ShowErrorBox(this, tr("Error:") + QStringLiteral("\n\r") +
                                             tr("The system has no program to open this document.") +
                                             QStringLiteral("\n\r<") + fileName + QLatin1Char('>'));
        }
    }
    if (extension.contains(QLatin1String("HTM")) && windows_.frmHTMViewer != nullptr)
        windows_.frmHTMViewer->SetFileToDisplay(fileName);
    if (extension.contains(QLatin1String("RTF")) && windows_.frmRTFViewer != nullptr)
        windows_.frmRTFViewer->SetFileToDisplay(fileName);
}

void TfrmMain::SwitchLanguage(const QString& code) {
    Guarded([this, &code] {
        if (!SetLanguageOverride(program_path_, code)) return;
        const BoxRequest box{QMessageBox::Information, Title(),
                             tr("(4011) Please restart\n\r%1\n\rto activate the language setting.").arg(Title()),
                             QMessageBox::Ok | QMessageBox::Cancel};
        if (AskMessageBox(this, box) == QMessageBox::Ok) close();
    });
}

void TfrmMain::smFW0Click() {
    if (RefusedWhileUpdating("smFW0Click")) return;
    Guarded([this] {
        TfrmCkUpdate* dialog = windows_.frmCkUpdate;
        if (dialog == nullptr) return;
        // A cancelled choice keeps the image and the item that were chosen.
        smFW0_->setChecked(true);
        if (dialog->OpenBinary(settings_) == TfrmCkUpdate::FileChoice::Cancelled) {
            if (chosen_firmware_item_ != nullptr) chosen_firmware_item_->setChecked(true);
            return;
        }
        chosen_firmware_item_ = smFW0_;
    });
}

void TfrmMain::FirmwareItemClick(QAction* item) {
    if (RefusedWhileUpdating("FirmwareItemClick")) {
        if (chosen_firmware_item_ != nullptr) chosen_firmware_item_->setChecked(true);
        return;
    }
    Guarded([this, item] {
        item->setChecked(true);
        chosen_firmware_item_ = item;
        Firmwares().SelectFirmware(static_cast<std::uint32_t>(item->data().toInt()));
        if (windows_.frmCkUpdate != nullptr) windows_.frmCkUpdate->DiscardBinary();
        SetUpdateButtonCaption(Firmwares().Selected().snCK_firmware_release);
    });
}

}  // namespace ckupdate
