// The update dialog's work without its window (TfrmCkUpdate): the image buffer,
// the eligibility check, the settings backup, erasing and programming the flash
// through the boot loader, the wait for the restarted instrument, the restore,
// the time estimates and the count-down.  It shows everything through an
// UpdateView and reaches the main window through an UpdateHost; every library
// call goes through the CommApi it is given.
//
// Synchronous: Run() returns when the update has ended.  All view and host calls
// happen on the thread that calls Run() (see docs/update-engine.md).
#pragma once

#include "update/binding/comm_api.h"
#include "update/firmware/bin_stream.h"
#include "update/firmware/firmware_backup.h"
#include "update/firmware/settings_backup.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_history.h"
#include "update/firmware/update_if.h"
#include "update/firmware/update_rules.h"
#include "update/firmware/update_view.h"
#include "update/program_clock.h"
#include "update/device/device_connection.h"

#include <functional>
#include <optional>

namespace ckupdate {

inline constexpr std::uint16_t kUsbBlockSize = 128;
inline constexpr std::uint16_t kBluetoothBlockSize = 500;

struct UpdateOptions {
    bool serviceMode = false;
    // Read back every written block before the header block; stop on a difference.
    bool verifyBeforeHeader = false;
    // Where each attempt is appended (empty: no history).
    QString historyFile;
    // Where the settings backups live (empty: the application data folder's
    // settings-backups).
    QString backupFolder;
    // Where the update lock lives (empty: the application data folder, whatever
    // backupFolder says, so that every writer of every front end finds it).
    QString lockFolder;
    // How long the restarted instrument may take to answer again (0: 30 s over
    // USB, 60 s over Bluetooth).
    std::uint32_t restartDeadlineMs = 0;
    // Asked at every safe point of the programming and of the restart wait: true
    // ends the update there (the instrument is left for a rerun to complete).
    std::function<bool()> abortRequested;
    // Told true when the instrument enters the boot loader and false once the
    // settings are stored again (or the update ended): in between, stopping the
    // update would leave the instrument without its firmware or its settings.
    std::function<void(bool)> criticalPhase;
    // Copy the whole application area into a firmware file after entering the
    // boot loader and before the first erase, so that the firmware can be
    // written back later.  Cheap over USB; over Bluetooth it costs about a
    // verify pass, so it is asked for there.
    bool firmwareBackupUsb = true;
    bool firmwareBackupBluetooth = false;
    // Where the copies go (empty: beside the settings backups) and how many
    // copies per instrument are kept.
    QString firmwareBackupFolder;
    int firmwareBackupsKept = kDefaultFirmwareBackupsKept;
    // A rollback of a copy that stands for the application area up to this
    // offset: every sector up to it is erased (the tail of a longer firmware
    // too) and everything is read back.  0: an update, which leaves the sectors
    // beyond its image alone.
    std::uint32_t coverEnd = 0;
};

CKUPDATE_ERROR_CLASS(EUpdateAborted);
CKUPDATE_ERROR_CLASS(ESettingsBackupFile);
CKUPDATE_ERROR_CLASS(EFirmwareBackup);

// How the last Run() ended.
enum class UpdateResult { None, Succeeded, Refused, Cancelled, Failed, NotBack };

struct ProgrammingParameters {
    std::uint32_t startOffset = kApplicationStart;
    std::uint16_t blockSize = kUsbBlockSize;
    bool error = false;
    bool bluetooth = false;
};

class TCkUpdateEngine {
public:
    TCkUpdateEngine(CommApi api, UpdateHost& host, UpdateView& view, ProgramClock& clock = SystemClock());

    void SetOptions(const UpdateOptions& options) {
        options_ = options;
        UpdateButtons();
    }
    const UpdateOptions& Options() const { return options_; }

    // The instrument's identity (main window); updates the buttons.
    void SetDeviceInfo(const TDeviceInfo& info);
    // Trace sink of the dialog; reports "Update: Hello Debug Window" to a new one.
    void InitDbg(std::function<void(const QString&)> sink);
    // The dialog is shown: version lines, steps hidden, count-down restarted.
    void Show();

    // Reads an external firmware file into the image buffer; the file name is
    // stored in *fileNameSetting when complete.  True when complete.
    bool OpenBinary(const QString& path, QString* fileNameSetting = nullptr);
    void DiscardBinary();
    // Fills the buffer from the selected catalog entry when it holds nothing.
    void FillFromCatalog();

    // "Run": the question for Portivo/Superna instruments, the update, the reset
    // of the estimates.  Errors that escape go to the view's error box.
    void Run();
    // The update itself (the hidden second start button).  Raises the refusals
    // of CheckUpdateAllowed.
    void Update();
    void CheckUpdateAllowed() const;
    void ProgramImage(ProgrammingParameters& p);
    bool Settings_ReadWrite(int direction);
    void UpdateRemainingTime();

    // The folder of the settings backups and the update lock.
    QString BackupFolder() const;
    // The folder of the firmware copies ("" when it cannot be created).
    QString FirmwareBackupFolder() const;
    // The end (offset from the flash base) of the last sector the image in the
    // buffer erases: the firmware backup reads up to there.
    std::uint32_t ReplacedEnd(std::uint32_t start) const;
    // Writes a pending settings backup of this serial back to the connected
    // instrument (which must be the backup's instrument and run the release the
    // backup was made for or the one it came from), stores it, reads it back and
    // marks it restored.  Shows step 4 on the view; false with the reason in the
    // message list and LastMessage().
    bool RestoreStoredSettings(StoredSettings stored);
    // Reads the connected instrument's settings into a backup that is not pending
    // (phase "saved"); nothing when they cannot be read (reason in LastMessage()).
    std::optional<StoredSettings> ReadSettingsBackup();
    // The connected instrument answers only as its boot loader (no identity, no
    // structure table): an update that was interrupted while programming.
    bool InstrumentInBootLoader() const;
    // The connected instrument's controller as the library knows it (2: the
    // STM32F2 of a Chromatik V), 0 when unknown.
    std::int32_t ControllerType() const { return api_.ControllerType(); }
    // Completes an update that left the instrument in its boot loader: programs
    // the firmware the backup names again and restores the backup's settings.
    // The image must be in the buffer (the catalog entry or file of the backup).
    void SetRecovery(std::optional<StoredSettings> stored);
    // The folder of the update lock.
    QString LockFolder() const;
    // The instrument the last update, restore or rollback was kept to.
    const InstrumentIdentity& Pinned() const { return pinned_; }
    // What the last failure left the instrument in, and what to do, in words.
    const QString& LastMessage() const { return last_message_; }

    // State, for views and tests.
    const TBinStream& FBinStream() const { return bin_stream_; }
    const QString& FDeviceName() const { return device_name_; }
    const QString& FReleaseNumber() const { return release_number_; }
    const QString& FReleaseDate() const { return release_date_; }
    bool FFirmwareAvailable() const { return firmware_available_; }
    bool FUpdateInPogress() const { return in_progress_; }
    const TDeviceInfo& FUpdateDevInfo() const { return dev_info_; }
    const TSettingsBackup& Backup() const { return backup_; }
    std::uint32_t FTimeReadSettingsMs = 2000;
    std::uint32_t FTimeUpdateMs = 450000;
    std::uint32_t FTimeResetMs = 12000;
    std::uint32_t FTimeWriteSettingsMs = 8000;
    std::uint32_t FTimeBackupMs = 0;  // the firmware backup, 0 when none is taken
    std::uint32_t FTimeStartMs = 0;
    std::uint32_t FTimeRemainMs = 1;
    UpdateResult LastResult() const { return result_; }
    const UpdateRecord& LastRecord() const { return record_; }
    // Version lines as shown.
    QString VersionLine1() const;
    QString VersionLine2() const;
    // The release "Run" would write: the image in the buffer, else the selected catalog entry.
    QString ReleaseToWrite() const;
    // The whole update as the count-down starts it (settings, firmware copy,
    // programming, restart, restore), for a plan made before it runs.
    std::uint32_t EstimatedTotalMs() const {
        return FTimeReadSettingsMs + EstimatedBackupMs(OverBluetooth()) + FTimeUpdateMs + FTimeResetMs +
               FTimeWriteSettingsMs;
    }

private:
    void SetStep(UpdateStep step, const QString& text, StepState state);
    void HideSteps();
    void UpdateButtons();
    void CheckImage(std::uint32_t start) const;
    void Verify(const ProgrammingParameters& p, std::uint32_t end, std::uint32_t programmingMs);
    void WaitForInstrument(ProgrammingParameters& p);
    bool AnswersAsPinned(QString* instead);
    InstrumentIdentity ConnectedIdentity();
    void PinInstrument();
    void EraseTail(std::size_t& k, std::uint32_t& boundary);
    void CheckOwnBackups(const QString& folder);
    void SetLastMessage(const QString& text);
    void VerifyHeader(const ProgrammingParameters& p, int headerPage);
    QString ExpectedRelease(const ProgrammingParameters& p) const;
    void SaveBackup(const char* phase);
    bool OverBluetooth() const;
    bool FirmwareBackupWanted(bool bluetooth) const;
    std::uint32_t EstimatedBackupMs(bool bluetooth) const;
    void BackupFirmware(const ProgrammingParameters& p);
    void CheckAbort() const;
    void SetCritical(bool critical);
    QString Advice(const QString& phase) const;
    void PrepareRecord(bool bluetooth);
    ReleaseTexts Texts() const;
    void Dbg(const QString& text) const;
    void FinishRecord(UpdateResult result, const QString& message);

    CommApi api_;
    UpdateHost& host_;
    UpdateView& view_;
    ProgramClock& clock_;
    TUpdateIf update_if_;
    TSettingsBackup backup_;
    UpdateOptions options_;
    TDeviceInfo dev_info_;
    TBinStream bin_stream_;
    QString device_name_, release_number_, release_date_;
    bool firmware_available_ = false;
    bool image_from_file_ = false;
    QString file_name_;
    bool in_progress_ = false;
    std::function<void(const QString&)> dbg_;
    UpdateResult result_ = UpdateResult::None;
    UpdateRecord record_;
    bool success_shown_ = false;
    bool restart_confirmed_ = false;
    bool stayed_in_boot_loader_ = false;
    bool critical_ = false;
    StoredSettings stored_;
    std::optional<StoredSettings> recovery_;
    InstrumentIdentity pinned_;
    std::optional<SearchLimit> saved_limit_;
    QString last_message_;
    std::uint32_t run_started_ = 0;
};

}  // namespace ckupdate
