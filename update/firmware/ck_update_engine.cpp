#include "update/firmware/ck_update_engine.h"

#include "update/firmware/date_text.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/update_lock.h"

#include "update/device/instrument_identity.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ckupdate {
namespace {

// Texts of the update dialog; lupdate finds them under this context.
struct TrCk {
    Q_DECLARE_TR_FUNCTIONS(TfrmCkUpdate)
};

// A text from a file as it may be shown: control characters become '?'.
QString PrintableText(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0)) c = QLatin1Char('?');
    return text;
}

QString Name(const TNAME& field) {
    return QString::fromLatin1(field, static_cast<qsizetype>(::strnlen(field, sizeof(TNAME))));
}

constexpr std::uint32_t kEnterSettleMs = 1000;
constexpr std::uint32_t kLeaveSettleMs = 500;
constexpr std::uint32_t kUsbRestartWaitMs = 3000;
constexpr std::uint32_t kUsbRestartDeadlineMs = 30000;
constexpr std::uint32_t kBluetoothRestartDeadlineMs = 60000;
constexpr std::uint32_t kAfterResetMs = 2000;
// Verify read sizes: the USB controller read takes at most 128 bytes, a
// Bluetooth read is one request however long, so it reads big pieces.
constexpr std::uint16_t kUsbVerifyChunk = 128;
constexpr std::uint16_t kBluetoothVerifyChunk = 0x8000;
// What a verify pass costs next to programming, until it has been measured.
constexpr double kUsbVerifyShare = 0.35;
constexpr double kBluetoothVerifyShare = 0.05;

// Runs a function when the scope ends, however it ends.
template <typename F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <typename F>
Finally(F) -> Finally<F>;

}  // namespace

TCkUpdateEngine::TCkUpdateEngine(CommApi api, UpdateHost& host, UpdateView& view, ProgramClock& clock)
    : api_(api), host_(host), view_(view), clock_(clock), update_if_(api, clock), backup_(api, host, view) {
    backup_.SetStepObserver([this](UpdateStep step, StepState state) {
        if (state != StepState::Off) record_.step = static_cast<int>(step);
    });
    FTimeStartMs = clock_.NowMs();
    UpdateRemainingTime();
    view_.SetVersionLines(VersionLine1(), VersionLine2());
    HideSteps();
    view_.ClearMessages();
    UpdateButtons();
    view_.HideResultPanel();
}

void TCkUpdateEngine::Dbg(const QString& text) const {
    if (dbg_) dbg_(text);
}

void TCkUpdateEngine::InitDbg(std::function<void(const QString&)> sink) {
    dbg_ = std::move(sink);
    Dbg(QStringLiteral("Update: Hello Debug Window"));
}

void TCkUpdateEngine::SetDeviceInfo(const TDeviceInfo& info) {
    dev_info_ = info;
    UpdateButtons();
}

void TCkUpdateEngine::UpdateButtons() {
    if (in_progress_) return;
    const std::uint32_t cpu = dev_info_.CpuType;
    // An instrument that already runs the release to be written has nothing to
    // gain from "Run" outside the service mode (it would only be refused).
    const bool current = !options_.serviceMode && !dev_info_.FirmwareVersion.isEmpty() &&
                         dev_info_.FirmwareVersion == ReleaseToWrite();
    // An instrument found in its boot loader is offered "Run": it completes the
    // interrupted update (the workflow asks which one first).
    const bool run = (cpu == 3 && !current) || dev_info_.BootLoader;
    const bool second = (cpu == 2 || cpu == 3) && firmware_available_;
    view_.SetStartButtons(run, second);
}

QString TCkUpdateEngine::VersionLine1() const {
    return QStringLiteral("%1 V%2").arg(Firmwares().Selected().snCK_Kind, dev_info_.FirmwareVersion);
}

QString TCkUpdateEngine::ReleaseToWrite() const {
    return device_name_.isEmpty() ? Firmwares().Selected().snCK_firmware_release : release_number_;
}

QString TCkUpdateEngine::VersionLine2() const { return TrCk::tr("Update to V%1").arg(ReleaseToWrite()); }

void TCkUpdateEngine::Show() {
    view_.SetVersionLines(VersionLine1(), VersionLine2());
    HideSteps();
    FTimeStartMs = clock_.NowMs();
    FTimeBackupMs = EstimatedBackupMs(OverBluetooth());
    UpdateRemainingTime();
    view_.HideResultPanel();
}

void TCkUpdateEngine::SetStep(UpdateStep step, const QString& text, StepState state) {
    if (state != StepState::Off) record_.step = static_cast<int>(step);
    view_.SetStep(step, text, state);
}

void TCkUpdateEngine::HideSteps() {
    for (int s = 1; s <= 5; ++s) view_.SetStep(static_cast<UpdateStep>(s), QString(), StepState::Off);
}

void TCkUpdateEngine::UpdateRemainingTime() {
    const std::uint32_t total =
        FTimeReadSettingsMs + FTimeBackupMs + FTimeUpdateMs + FTimeResetMs + FTimeWriteSettingsMs;
    const CountDown c = ComputeCountDown(total, clock_.NowMs() - FTimeStartMs);
    FTimeRemainMs = c.remainingMs;
    view_.SetCountDown(c);
}

// --- image buffer ---

void TCkUpdateEngine::FillFromCatalog() {
    if (!device_name_.isEmpty()) return;
    const TSingleFirmware& f = Firmwares().Selected();
    device_name_ = QStringLiteral("Chromatik® V");
    release_number_ = f.snCK_firmware_release;
    release_date_ = f.snCK_firmware_date;
    std::fill(bin_stream_.Data.begin(), bin_stream_.Data.end(), std::uint8_t{0xFF});
    std::copy_n(f.qbyCK_default.begin(), std::min<std::size_t>(f.N_FDATASIZE, bin_stream_.Data.size()),
                bin_stream_.Data.begin());
    image_from_file_ = false;
    file_name_.clear();
}

bool TCkUpdateEngine::OpenBinary(const QString& path, QString* fileNameSetting) {
    device_name_.clear();
    release_number_.clear();
    release_date_.clear();
    firmware_available_ = false;
    view_.ClearMessages();
    view_.AddMessage(TrCk::tr("Source file: "));
    view_.AddMessage(path);
    const FirmwareFileRead read = ReadFirmwareFile(path, bin_stream_);
    for (const QString& m : read.messages) view_.AddMessage(m);
    const bool complete = read.bytesRead >= kExternalFileMinimum;
    // The texts of a file that is refused may be anything: they are never shown.
    if (complete) {
        device_name_ = PrintableText(FieldText(bin_stream_.CDeviceName));
        release_number_ = PrintableText(FieldText(bin_stream_.CReleaseNumber));
        release_date_ = PrintableText(FieldText(bin_stream_.CReleaseDate));
    }
    image_from_file_ = true;
    file_name_ = path;
    if (complete) {
        firmware_available_ = true;
        view_.AddMessage(TrCk::tr("Target device: ") + device_name_);
        view_.AddMessage(TrCk::tr("Version number: ") + release_number_);
        view_.AddMessage(TrCk::tr("Version date: ") + release_date_);
        view_.AddMessage(TrCk::tr("Installed: ") + DateText(QDate::currentDate()));
        if (fileNameSetting) *fileNameSetting = path;
    }
    UpdateButtons();
    host_.SetUpdateButtonCaption(complete ? release_number_ : QString(Firmwares().Selected().snCK_firmware_release));
    return firmware_available_;
}

void TCkUpdateEngine::DiscardBinary() {
    device_name_.clear();
    image_from_file_ = false;
    file_name_.clear();
    view_.ClearMessages();
}

// --- the update ---

void TCkUpdateEngine::Run() {
    view_.SetCancelEnabled(false);
    view_.ClearMessages();
    try {
        const Finally cancel{[&] { view_.SetCancelEnabled(true); }};
        if (dev_info_.Device == 2324 || dev_info_.Device == 4324) {
            const QString question =
                TrCk::tr("A %1 will be updated with %2 software.\n\rContinue?").arg(TrCk::tr("PORTIVO"), TrCk::tr("SUPERNA"));
            if (!view_.AskYesAbort(question)) {
                result_ = UpdateResult::Cancelled;
                return;
            }
        }
        FTimeStartMs = clock_.NowMs();
        UpdateRemainingTime();
        // A refused file stays refused (its texts were never taken).
        if (device_name_.isEmpty() && !(image_from_file_ && !firmware_available_)) FillFromCatalog();
        Update();
        FTimeReadSettingsMs = FTimeUpdateMs = FTimeResetMs = FTimeWriteSettingsMs = FTimeBackupMs = 0;
        UpdateRemainingTime();
    } catch (const EProgramError& e) {
        view_.ShowErrorBox(e.Message());
    } catch (const std::exception& e) {
        view_.ShowErrorBox(QString::fromLocal8Bit(e.what()));
    }
}

void TCkUpdateEngine::CheckUpdateAllowed() const {
    ckupdate::CheckUpdateAllowed(dev_info_.CpuType, release_number_, dev_info_.FirmwareVersion,
                                 options_.serviceMode);
}

// Checks no instrument is needed for: an external file read completely, something
// to program after the header block, an application header where the boot loader
// looks for one.
void TCkUpdateEngine::CheckImage(std::uint32_t start) const {
    const QString notProcessed = TrCk::tr("Update cannot be processed.\n\r");
    if (image_from_file_ && !firmware_available_) throw EWrongUpdateDevice(TrCk::tr("Error: Missing data"));
    if (ImageEnd(bin_stream_.Data) <= start + kHeaderBlockSize)
        throw EWrongUpdateDevice(notProcessed + TrCk::tr("The firmware image holds nothing after its header block.\n\r"));
    if (start == kApplicationStart &&
        std::memcmp(bin_stream_.Data.data() + start, "App Loaded", 10) != 0)
        throw EWrongUpdateDevice(notProcessed + TrCk::tr("The firmware image holds no Chromatik® V application.\n\r"));
}

void TCkUpdateEngine::FinishRecord(UpdateResult result, const QString& message) {
    result_ = result;
    static constexpr const char* kNames[] = {"", "succeeded", "refused", "cancelled", "failed", "not back"};
    record_.result = QString::fromLatin1(kNames[static_cast<int>(result)]);
    record_.message = message;
    record_.durationMs = static_cast<qint64>(clock_.NowMs() - run_started_);
    if (!options_.historyFile.isEmpty()) AppendUpdateRecord(options_.historyFile, record_);
}

bool TCkUpdateEngine::OverBluetooth() const {
    return Name(host_.PortData().snRS232).left(26).toUpper() == QLatin1String("BLUETOOTH");
}

QString TCkUpdateEngine::FirmwareBackupFolder() const {
    if (!options_.firmwareBackupFolder.isEmpty()) return options_.firmwareBackupFolder;
    return options_.backupFolder.isEmpty() ? DefaultFirmwareBackupFolder()
                                           : FirmwareBackupFolderBeside(options_.backupFolder);
}

bool TCkUpdateEngine::FirmwareBackupWanted(bool bluetooth) const {
    return bluetooth ? options_.firmwareBackupBluetooth : options_.firmwareBackupUsb;
}

std::uint32_t TCkUpdateEngine::ReplacedEnd(std::uint32_t start) const {
    const std::uint32_t image_end = std::max(ImageEnd(bin_stream_.Data), start + kHeaderBlockSize);
    std::uint32_t boundary = 0;
    for (const std::uint32_t size : kSectorSizes) {
        boundary += size;
        if (boundary >= image_end) break;
    }
    return std::min(boundary, kFlashSize);
}

// Reading costs about what the verify pass costs next to programming; the copy
// reads the whole application area.
std::uint32_t TCkUpdateEngine::EstimatedBackupMs(bool bluetooth) const {
    if (!FirmwareBackupWanted(bluetooth)) return 0;
    const std::uint32_t start = StartOffsetFor(ReleaseToWrite());
    const std::uint32_t image_end = ImageEnd(bin_stream_.Data);
    const double image = image_end > start ? image_end - start : kFlashSize / 2;
    const double share = bluetooth ? kBluetoothVerifyShare : kUsbVerifyShare;
    return static_cast<std::uint32_t>(std::llround(FTimeUpdateMs * share * (kFlashSize - start) / image));
}

// Reads the whole application area with the controller reads of the verify
// pass and keeps it as a firmware file with its record: written back, it
// leaves nothing of a longer firmware behind.  Runs in the boot loader before
// anything is erased: when it fails, the update stops there and the instrument
// keeps its firmware.  An update completed after an early stop copies the
// firmware too, as long as nothing of it was erased.
void TCkUpdateEngine::BackupFirmware(const ProgrammingParameters& p) {
    record_.firmwareBackup.clear();
    if ((recovery_ && recovery_->Erased()) || !FirmwareBackupWanted(p.bluetooth)) return;
    const QString kept = TrCk::tr("Nothing was erased: the instrument keeps firmware %1.").arg(dev_info_.FirmwareVersion);
    const QString folder = FirmwareBackupFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        throw EFirmwareBackup(TrCk::tr("The folder of the firmware backups cannot be created. ") + kept);
    SetStep(UpdateStep::Program, TrCk::tr("Saving the present firmware"), StepState::Busy);
    const std::uint32_t start = p.startOffset;
    const std::uint32_t end = kFlashSize;
    const std::uint16_t chunk = p.bluetooth ? kBluetoothVerifyChunk : kUsbVerifyChunk;
    TBinStream copy;
    const std::uint32_t t0 = clock_.NowMs();
    try {
        for (std::uint32_t offset = start; offset < end;) {
            CheckAbort();
            const auto n = static_cast<std::uint16_t>(std::min<std::uint32_t>(chunk, end - offset));
            update_if_.ReadFlash(copy.Data.data() + offset, SectorOf(offset), kFlashBase + offset, n);
            offset += n;
            view_.ProcessEvents();
            const double elapsed = static_cast<double>(clock_.NowMs() - t0 + 1);
            FTimeBackupMs = static_cast<std::uint32_t>(std::llround(elapsed * (end - start) / (offset - start)));
            UpdateRemainingTime();
        }
    } catch (const E_UpdateIf& e) {
        throw EFirmwareBackup(TrCk::tr("The present firmware could not be read: %1. ").arg(e.Message()) + kept);
    }
    const char* header = reinterpret_cast<const char*>(copy.Data.data() + start);
    if (std::memcmp(header, "App Loaded", 10) != 0)
        throw EFirmwareBackup(TrCk::tr("No application was found at address 0x%1 to back up. ")
                                  .arg(QString::number(kFlashBase + start, 16).toUpper()) +
                              kept);
    QString release = QString::fromLatin1(header + 16, static_cast<qsizetype>(::strnlen(header + 16, 16)));
    if (release.isEmpty()) release = dev_info_.FirmwareVersion;
    const QString date = QString::fromLatin1(header + 32, static_cast<qsizetype>(::strnlen(header + 32, 32)));
    QString device = Name(backup_.COMM_Version.snName);
    if (device.isEmpty()) device = QStringLiteral("Chromatik V");
    auto put = [](std::array<char, 64>& field, const QString& text) {
        const QByteArray bytes = text.toLatin1().left(63);
        std::copy(bytes.begin(), bytes.end(), field.begin());
    };
    put(copy.CDeviceName, device);
    put(copy.CReleaseNumber, release);
    put(copy.CReleaseDate, date);
    FirmwareBackup described;
    described.serial = pinned_.serial;
    described.deviceCode = pinned_.deviceCode;
    described.cpuType = pinned_.cpuType;
    described.model = device;
    described.release = release;
    described.date = date;
    described.time = QDateTime::currentDateTimeUtc();
    described.start = start;
    described.coverEnd = end;
    const QString path = FirmwareBackupPath(folder, pinned_.serial, described.time);
    QString error;
    if (!WriteFirmwareBackup(path, described, copy, ImageEnd(copy.Data), &error))
        throw EFirmwareBackup(TrCk::tr("The firmware backup %1 cannot be written: %2. ").arg(path, error) + kept);
    record_.firmwareBackup = path;
    PruneFirmwareBackups(folder, pinned_.serial, options_.firmwareBackupsKept);
    FTimeBackupMs = clock_.NowMs() - t0;
    view_.AddMessage(TrCk::tr("Firmware %1 saved in %2 (%3 KiB read in %4 s)")
                         .arg(release, path)
                         .arg((end - start) / 1024)
                         .arg(FTimeBackupMs / 1000.0, 0, 'f', 1));
    UpdateRemainingTime();
}

QString TCkUpdateEngine::BackupFolder() const {
    return options_.backupFolder.isEmpty() ? DefaultSettingsBackupFolder() : options_.backupFolder;
}

QString TCkUpdateEngine::LockFolder() const {
    return options_.lockFolder.isEmpty() ? UpdateLock::DefaultFolder() : options_.lockFolder;
}

void TCkUpdateEngine::SetLastMessage(const QString& text) {
    last_message_ = text;
    view_.AddMessage(text);
}

// The identity of the instrument the record is connected to.  An instrument
// found in its boot loader tells none: it is the one of the interrupted update
// being completed.
InstrumentIdentity TCkUpdateEngine::ConnectedIdentity() {
    InstrumentIdentity id = host_.Identity();
    if (recovery_) {
        id.serial = recovery_->serial;
        id.deviceCode = recovery_->deviceCode != 0 ? recovery_->deviceCode : kChromatikVDeviceType;
        id.cpuType = kChromatikVCpuType;
    }
    return id;
}

// Keeps every later open to this instrument: its serial number and, where the
// search told it, its USB socket.  The limit the host had is given back when
// the update ends.
void TCkUpdateEngine::PinInstrument() {
    pinned_ = ConnectedIdentity();
    if (!saved_limit_) saved_limit_ = host_.Limit();
    host_.SetSearchLimit(pinned_.Limit());
}

// The instrument the open found is the pinned one.  Anything else is closed
// again at once, and *instead says who it was.
bool TCkUpdateEngine::AnswersAsPinned(QString* instead) {
    const InstrumentIdentity id = host_.Identity();
    const bool same = pinned_.serial.isEmpty()
                          ? (!pinned_.socket.isEmpty() ? id.socket == pinned_.socket : !pinned_.btAddress.isEmpty() &&
                                                                                               id.btAddress == pinned_.btAddress) &&
                                id.iDevice == pinned_.iDevice && id.cpuType == pinned_.cpuType
                          : pinned_.SameAs(id);
    if (same) return true;
    *instead = TrCk::tr("instrument %1 (device type %2) answered instead").arg(id.Name()).arg(id.deviceCode);
    host_.CloseDev();
    return false;
}

void TCkUpdateEngine::SetRecovery(std::optional<StoredSettings> stored) { recovery_ = std::move(stored); }

bool TCkUpdateEngine::InstrumentInBootLoader() const { return BootLoaderOnly(host_.PortData()); }

void TCkUpdateEngine::CheckAbort() const {
    if (options_.abortRequested && options_.abortRequested())
        throw EUpdateAborted(TrCk::tr("The update was aborted."));
}

void TCkUpdateEngine::SetCritical(bool critical) {
    if (critical_ == critical) return;
    critical_ = critical;
    if (options_.criticalPhase) options_.criticalPhase(critical);
}

void TCkUpdateEngine::SaveBackup(const char* phase) {
    stored_.phase = QString::fromLatin1(phase);
    QString error;
    if (!WriteStoredSettings(stored_.path, stored_, &error))
        throw ESettingsBackupFile(TrCk::tr("The settings backup %1 cannot be written: %2").arg(stored_.path, error));
}

// What the instrument holds after a failure in a phase, and what brings it back.
QString TCkUpdateEngine::Advice(const QString& phase) const {
    const QString file = stored_.path;
    if (phase == QLatin1String(backup_phase::kRead))
        return TrCk::tr("The instrument still runs firmware %1 with its settings; nothing was changed. "
                        "A copy of its settings is kept in %2.")
            .arg(stored_.fromRelease, file);
    if (phase == QLatin1String(backup_phase::kProgramming))
        return TrCk::tr("The instrument is in its boot loader without a complete firmware. Its settings are kept in "
                        "%1. Run the update again over USB: it writes firmware %2 and then restores the settings.")
            .arg(file, release_number_);
    if (phase == QLatin1String(backup_phase::kProgrammed) && stayed_in_boot_loader_)
        return TrCk::tr("The instrument holds firmware %1 but stays in its boot loader: it did not restart. Its "
                        "settings are kept in %2. Switch it off and on, connect it over USB and run the update again: "
                        "it completes the update and restores the settings.")
            .arg(release_number_, file);
    if (phase == QLatin1String(backup_phase::kProgrammed))
        return TrCk::tr("The instrument holds firmware %1 but has not come back after its restart. Its settings are "
                        "kept in %2 and will be restored when it is back: switch it off and on, connect it and run "
                        "the update again (or \"tolactl settings restore\").")
            .arg(release_number_, file);
    return TrCk::tr("The instrument runs firmware %1 without its own settings. They are kept in %2: run the update "
                    "again (or \"tolactl settings restore\") to write them back.")
        .arg(release_number_, file);
}

// A backup of this instrument that fails its check may be the only copy of its
// settings: it is set aside where nothing writes over it, and the update does
// not start while one that may be pending is there.
void TCkUpdateEngine::CheckOwnBackups(const QString& folder) {
    const QString own = StoredSettingsPath(folder, record_.serial);
    QStringList blocking;
    for (DamagedSettings d : DamagedSettingsFor(folder, record_.serial)) {
        if (d.path == own) {
            QString error;
            const QString aside = SetAsideDamaged(d.path, &error);
            if (aside.isEmpty())
                throw ESettingsBackupFile(TrCk::tr("The damaged settings backup %1 cannot be set aside: %2. Nothing was "
                                                   "sent to the instrument.")
                                              .arg(d.path, error));
            view_.AddMessage(TrCk::tr("The settings backup %1 is damaged (%2); it was set aside as %3.")
                                 .arg(d.path, d.reason, aside));
            d.path = aside;
        }
        if (d.pending || d.serial.isEmpty()) blocking << d.path;
    }
    if (!blocking.isEmpty())
        throw EWrongUpdateDevice(TrCk::tr("A settings backup of instrument %1 that may still be needed is damaged: %2. "
                                          "Nothing was sent to the instrument. Check it, then retire it with \"tolactl "
                                          "settings discard --file FILE\".")
                                     .arg(record_.serial, blocking.join(QStringLiteral(", "))));
}

void TCkUpdateEngine::PrepareRecord(bool bluetooth) {
    run_started_ = clock_.NowMs();
    record_ = UpdateRecord{};
    const PXM_COMM& pd = host_.PortData();
    record_.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    record_.serial = recovery_ ? recovery_->serial : Name(pd.snSerial_number);
    record_.device = Name(pd.snDevice);
    record_.fromRelease = recovery_ ? recovery_->fromRelease : dev_info_.FirmwareVersion;
    record_.toRelease = release_number_;
    record_.source = image_from_file_ ? file_name_ : QStringLiteral("catalog");
    record_.verified = options_.verifyBeforeHeader;
    record_.port = bluetooth ? QStringLiteral("bluetooth") : QStringLiteral("usb");
}

void TCkUpdateEngine::Update() {
    ProgrammingParameters p;
    p.startOffset = StartOffsetFor(release_number_);
    p.bluetooth = OverBluetooth();
    p.blockSize = p.bluetooth ? kBluetoothBlockSize : kUsbBlockSize;
    PrepareRecord(p.bluetooth);
    last_message_.clear();
    stayed_in_boot_loader_ = false;
    FTimeBackupMs = recovery_ ? 0 : EstimatedBackupMs(p.bluetooth);

    const QString folder = BackupFolder();
    UpdateLock lock(LockFolder());
    saved_limit_.reset();
    // The search limit the host had comes back however the update ends.
    const Finally unpin{[&] {
        if (saved_limit_) host_.SetSearchLimit(*saved_limit_);
        saved_limit_.reset();
    }};
    try {
        if (image_from_file_ && !firmware_available_) throw EWrongUpdateDevice(TrCk::tr("Error: Missing data"));
        if (!recovery_) CheckUpdateAllowed();
        else ckupdate::CheckUpdateAllowed(kChromatikVCpuType, release_number_, recovery_->fromRelease, recovery_->serviceMode);
        CheckImage(p.startOffset);
        if (folder.isEmpty())
            throw ESettingsBackupFile(TrCk::tr("The application data folder cannot be created: the settings cannot "
                                               "be backed up, so the update was not started."));
        QString holder;
        if (!lock.TryLock(record_.serial, record_.port, &holder))
            throw EWrongUpdateDevice(TrCk::tr("Another update is running (%1). Nothing was sent to the instrument.")
                                         .arg(holder));
        PinInstrument();
        lock.Describe(record_.serial, record_.port, pinned_.socket);
        // After the restart the instrument must be told from any other that
        // answers: by its serial number, or by the USB socket it sits on.
        if (pinned_.serial.isEmpty() && pinned_.socket.isEmpty() && !p.bluetooth)
            throw EWrongUpdateDevice(TrCk::tr("The instrument reports no serial number, so it could not be told from "
                                              "another instrument after its restart. Connect it by its USB socket "
                                              "(tolactl list names it; --socket) and start the update again."));
        if (!recovery_ && PendingSettingsFor(folder, record_.serial))
            throw EWrongUpdateDevice(TrCk::tr("The settings of instrument %1 from an earlier update have not been "
                                              "restored yet. Restore them first (\"tolactl settings restore\").")
                                         .arg(record_.serial));
        if (!recovery_) CheckOwnBackups(folder);
        if (!options_.historyFile.isEmpty() && !HistoryWritable(options_.historyFile))
            throw ESettingsBackupFile(TrCk::tr("The update history %1 cannot be written: the update was not started.")
                                          .arg(options_.historyFile));
    } catch (const EProgramError& e) {
        FinishRecord(UpdateResult::Refused, e.Message());
        throw;
    }

    in_progress_ = true;
    success_shown_ = false;
    restart_confirmed_ = false;
    view_.SetButtonsLocked(true);
    HideSteps();
    bool entered = false;
    QString failure;
    {
        const Finally done{[&] {
            in_progress_ = false;
            // The instrument may still be in its boot loader: let it start what it
            // holds.  Once it has restarted with the new firmware it is left alone.
            if (entered && !restart_confirmed_) {
                update_if_.SendCommand(ctl::kLeaveProgramming, 0);
                clock_.SleepMs(kLeaveSettleMs);
            }
            SetCritical(false);
            host_.SetUSBWatchIdle(false);
            view_.ScrollMessagesToEnd();
            view_.SetButtonsLocked(false);
        }};
        try {
            view_.ProcessEvents();
            backup_.FSettingsAvailable = false;
            host_.SetUSBWatchIdle(true);
            const std::uint32_t t = clock_.NowMs();
            if (recovery_) {
                // The settings were read by the update that was interrupted.
                backup_.COMM_Version = recovery_->version;
                backup_.CKNG_settings = recovery_->settings;
                backup_.CKII_setup = recovery_->setup;
                backup_.FSettingsAvailable = true;
                stored_ = *recovery_;
                view_.AddMessage(TrCk::tr("Settings from the backup of %1: %2").arg(stored_.time, stored_.path));
                SetStep(UpdateStep::ReadSetup, TrCk::tr("Read setup completed"), StepState::Done);
            } else {
                if (!Settings_ReadWrite(kSettingsRead))
                    throw ECkReadVersion(TrCk::tr("Error reading parameter") + "\n\r");
                stored_ = StoredSettings{};
                stored_.serial = record_.serial;
                stored_.device = record_.device;
                stored_.port = record_.port;
                stored_.time = record_.time;
                stored_.fromRelease = dev_info_.FirmwareVersion;
                stored_.deviceCode = pinned_.deviceCode;
                stored_.cpuType = pinned_.cpuType;
                stored_.socket = pinned_.socket;
                stored_.btAddress = pinned_.btAddress;
                stored_.version = backup_.COMM_Version;
                stored_.settings = backup_.CKNG_settings;
                stored_.setup = backup_.CKII_setup;
                stored_.path = StoredSettingsPath(folder, record_.serial);
            }
            stored_.toRelease = release_number_;
            stored_.toName = device_name_;
            stored_.toDate = release_date_;
            stored_.source = record_.source;
            stored_.serviceMode = recovery_ ? recovery_->serviceMode : options_.serviceMode;
            stored_.state = QString::fromLatin1(backup_state::kPending);
            // A completion keeps the phase its backup reached: after an early stop
            // the old firmware is still whole until the first erase.
            SaveBackup(recovery_ && recovery_->Erased() ? backup_phase::kProgramming : backup_phase::kRead);
            record_.settingsBackup = stored_.path;
            FTimeReadSettingsMs = clock_.NowMs() - t;
            UpdateRemainingTime();
            p.error = false;
            host_.SetUSBWatchIdle(true);
            SetCritical(true);
            SetStep(UpdateStep::Program, TrCk::tr("Updating"), StepState::Busy);
            entered = update_if_.SendCommand(ctl::kEnterProgramming, 0);
            if (entered) {
                clock_.SleepMs(kEnterSettleMs);
                if (p.startOffset < kApplicationStart)
                    throw EWrongUpdateDevice(TrCk::tr("Update cannot be processed.\n\r") +
                                             TrCk::tr("This release cannot be used for Chromatik® V.\n\r"
                                                "Software version 503e or later is required.\n\r"));
                BackupFirmware(p);
                ProgramImage(p);
                view_.ProcessEvents();
            } else {
                SetStep(UpdateStep::Program, TrCk::tr("Update error"), StepState::Failed);
                failure = TrCk::tr("Update error");
            }
        } catch (const EProgramError& e) {
            failure = e.Message();
            view_.AddMessage(TrCk::tr("Error: Update canceled"));
        }
    }
    if (success_shown_) {
        FinishRecord(UpdateResult::Succeeded, QString());
        return;
    }
    if (stored_.Pending() && !stored_.path.isEmpty() && QFile::exists(stored_.path))
        SetLastMessage(Advice(entered || recovery_ ? stored_.phase : QString::fromLatin1(backup_phase::kRead)));
    if (p.error) FinishRecord(UpdateResult::NotBack, failure.isEmpty() ? last_message_ : failure);
    else FinishRecord(UpdateResult::Failed, failure.isEmpty() ? backup_.LastError : failure);
}

bool TCkUpdateEngine::Settings_ReadWrite(int direction) {
    return backup_.Settings_ReadWrite(direction, Texts());
}

ReleaseTexts TCkUpdateEngine::Texts() const { return ReleaseTexts{device_name_, release_number_, release_date_}; }

void TCkUpdateEngine::ProgramImage(ProgrammingParameters& p) {
    try {
        const std::vector<std::uint8_t>& data = bin_stream_.Data;
        const std::uint32_t start = p.startOffset;
        const std::uint32_t end = ImageEnd(data);
        const std::uint32_t total = end - (start + kHeaderBlockSize);

        std::size_t k = 0;
        std::uint32_t boundary = 0;
        do {
            boundary += kSectorSizes[k];
            ++k;
        } while (!(k == 11 || boundary >= start));
        const int header_page = static_cast<int>(k);

        const double verify_share =
            options_.verifyBeforeHeader ? (p.bluetooth ? kBluetoothVerifyShare : kUsbVerifyShare) : 0.0;
        std::uint32_t done = 0;
        std::uint32_t address = kFlashBase + start + kHeaderBlockSize;
        const std::uint32_t t0 = clock_.NowMs();
        bool erased_any = false;
        do {
            CheckAbort();
            const std::uint32_t offset = address - kFlashBase;
            if (offset >= boundary) {
                boundary += kSectorSizes[k];
                if (!erased_any) SaveBackup(backup_phase::kProgramming);
                erased_any = true;
                update_if_.PageErase(static_cast<int>(k));
                ++k;
            }
            std::uint32_t n = std::min<std::uint32_t>(p.blockSize, total - done);
            if (offset + n >= boundary) n -= (offset + n) % boundary;
            const auto first = data.begin() + offset;
            if (std::any_of(first, first + n, [](std::uint8_t b) { return b != 0xFF; }))
                // The block lies in the sector erased last.
                update_if_.ProgramFlash(data.data() + offset, static_cast<int>(k) - 1, address,
                                        static_cast<std::uint16_t>(n));
            view_.ProcessEvents();
            address += n;
            done += n;
            const double elapsed = static_cast<double>(clock_.NowMs() - t0 + 1);
            FTimeUpdateMs = static_cast<std::uint32_t>(
                std::llround(elapsed * total / done * (1.0 + verify_share)));
            UpdateRemainingTime();
        } while (done < total);

        // A rollback leaves nothing of a longer firmware: the sectors after its
        // image up to the end of what the copy stands for are erased too.
        const std::uint32_t verify_end = std::max(end, options_.coverEnd);
        if (options_.coverEnd > boundary) EraseTail(k, boundary);
        if (options_.verifyBeforeHeader || options_.coverEnd != 0) Verify(p, verify_end, clock_.NowMs() - t0);
        view_.ProcessEvents();
        CheckAbort();

        update_if_.ProgramFlash(data.data() + start, header_page, kFlashBase + start,
                                std::min<std::uint16_t>(p.blockSize, kHeaderBlockSize));
        VerifyHeader(p, header_page);
        SaveBackup(backup_phase::kProgrammed);
        SetStep(UpdateStep::Program, TrCk::tr("Update completed"), StepState::Done);

        std::uint32_t t = clock_.NowMs();
        UpdateRemainingTime();
        SetStep(UpdateStep::WaitReset, TrCk::tr("Waiting for Chromatik reset"), StepState::Busy);
        // A refused leave command is tried again at once (over Bluetooth the boot
        // loader cannot be reached once the link is closed), and once more while
        // waiting when the instrument is still found in its boot loader.
        bool left = update_if_.SendCommand(ctl::kLeaveProgramming, 0);
        for (int attempt = 1; !left && attempt < kFlashAttempts; ++attempt) {
            clock_.SleepMs(kFlashRetryPauseMs);
            left = update_if_.SendCommand(ctl::kLeaveProgramming, 0);
        }
        host_.CloseDev();
        WaitForInstrument(p);
        FTimeResetMs = clock_.NowMs() - t;
        UpdateRemainingTime();
        t = clock_.NowMs();
        if (p.error) return;  // step 3 stays busy: the instrument did not come back

        restart_confirmed_ = true;
        SaveBackup(backup_phase::kRestarted);
        SetStep(UpdateStep::WaitReset, TrCk::tr("Reset done"), StepState::Done);
        host_.SetUSBWatchIdle(true);
        clock_.SleepMs(kAfterResetMs);
        if (Settings_ReadWrite(kSettingsWrite)) {
            stored_.state = QString::fromLatin1(backup_state::kRestored);
            stored_.restoredTime = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
            SaveBackup(backup_phase::kRestarted);
            SetCritical(false);
            SetStep(UpdateStep::Completed, TrCk::tr("Update completed"), StepState::Done);
            FTimeWriteSettingsMs = clock_.NowMs() - t;
            UpdateRemainingTime();
            success_shown_ = true;
            view_.ShowResultPanel(true);
        }
    } catch (const E_UpdateIf& e) {
        view_.AddMessage(e.Message());
        SetStep(UpdateStep::Program, TrCk::tr("Update error"), StepState::Failed);
        throw;
    } catch (const EProgramError&) {
        throw;
    } catch (const std::exception&) {
        view_.ShowResultPanel(false);
    }
}

void TCkUpdateEngine::EraseTail(std::size_t& k, std::uint32_t& boundary) {
    while (boundary < options_.coverEnd && k < kSectorSizes.size()) {
        CheckAbort();
        boundary += kSectorSizes[k];
        update_if_.PageErase(static_cast<int>(k));
        ++k;
        view_.ProcessEvents();
    }
}

// The header block decides whether the boot loader starts the application: it is
// read back before the instrument is told to restart.
void TCkUpdateEngine::VerifyHeader(const ProgrammingParameters& p, int headerPage) {
    const std::uint16_t n = std::min<std::uint16_t>(p.blockSize, kHeaderBlockSize);
    std::vector<std::uint8_t> back(n);
    const std::uint32_t address = kFlashBase + p.startOffset;
    update_if_.ReadFlash(back.data(), headerPage, address, n);
    const auto mismatch = std::mismatch(back.begin(), back.end(), bin_stream_.Data.begin() + p.startOffset);
    if (mismatch.first != back.end()) {
        const auto at = address + static_cast<std::uint32_t>(mismatch.first - back.begin());
        throw E_UpdateIf(TrCk::tr("Error: Verifying page %1, address 0x%2")
                             .arg(headerPage)
                             .arg(QString::number(at, 16).rightJustified(8, '0').toUpper()));
    }
}

// Polls OpenDev until the instrument answers with the new firmware or the
// deadline passes.  Every open is kept to the pinned instrument (the library's
// search limit), and what answers must show the pinned identity: another
// instrument on the bench, already on the new release or not, is closed again
// without a word written to it.  An instrument still found in its boot loader
// at the pinned socket is told once more to start its application (the leave
// command may have been refused).  Only an open that reports the instrument
// connected (1) counts: 2 means "not yet", and writing settings to an
// instrument that is not there, or that runs another firmware than the one
// written, would lose them.
void TCkUpdateEngine::WaitForInstrument(ProgrammingParameters& p) {
    constexpr std::uint32_t kPollMs = 250;
    constexpr int kLeaveAttempts = 3;
    const std::uint32_t deadline_ms =
        options_.restartDeadlineMs != 0 ? options_.restartDeadlineMs : (p.bluetooth ? kBluetoothRestartDeadlineMs : kUsbRestartDeadlineMs);
    const std::uint32_t t0 = clock_.NowMs();
    int leave_attempts = 1;
    QString instead;
    if (!p.bluetooth) {
        clock_.SleepMs(kUsbRestartWaitMs);
        UpdateRemainingTime();
    }
    for (;;) {
        CheckAbort();
        const std::int32_t r = host_.OpenDev();
        if (r == 1 && AnswersAsPinned(&instead)) {
            const QString release = Name(host_.PortData().snVersion);
            if (release == ExpectedRelease(p)) {
                stayed_in_boot_loader_ = false;
                dev_info_.FirmwareVersion = release;
                return;
            }
            p.error = true;
            view_.AddMessage(TrCk::tr("The instrument restarted with firmware %1 instead of %2; its settings "
                                      "were not written.")
                                 .arg(release, ExpectedRelease(p)));
            return;
        }
        if (r != 1 && InstrumentInBootLoader() && (!pinned_.socket.isEmpty() || p.bluetooth)) {
            // The search was kept to the instrument's own socket: this boot loader is its own.
            stayed_in_boot_loader_ = true;
            if (leave_attempts < kLeaveAttempts) {
                ++leave_attempts;
                update_if_.SendCommand(ctl::kLeaveProgramming, 0);
            }
            host_.CloseDev();
        } else if (r != 1 && (host_.PortData().tStatus & TOLA_STATUS_WRONG_DEVICE) != 0 &&
                   host_.PortData().ssStatus[0] != '\0') {
            instead = QString::fromLatin1(host_.PortData().ssStatus);
        }
        if (clock_.NowMs() - t0 >= deadline_ms) break;
        clock_.SleepMs(kPollMs);
        UpdateRemainingTime();
    }
    p.error = true;
    QString text = TrCk::tr("Instrument %1 did not answer within %2 s after its restart.").arg(pinned_.Name()).arg(deadline_ms / 1000);
    if (!instead.isEmpty())
        text += QLatin1Char(' ') + TrCk::tr("Not taken for it, and nothing written to it: %1.").arg(instead);
    view_.AddMessage(text);
}

std::optional<StoredSettings> TCkUpdateEngine::ReadSettingsBackup() {
    last_message_.clear();
    if (!backup_.Settings_ReadWrite(kSettingsRead, Texts())) {
        last_message_ = backup_.LastError;
        return std::nullopt;
    }
    const PXM_COMM& pd = host_.PortData();
    StoredSettings s;
    s.serial = Name(pd.snSerial_number);
    s.device = Name(pd.snDevice);
    s.port = Name(pd.snRS232).left(26).toUpper() == QLatin1String("BLUETOOTH") ? QStringLiteral("bluetooth")
                                                                                 : QStringLiteral("usb");
    s.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    s.fromRelease = Name(pd.snVersion);
    s.state = QString::fromLatin1(backup_state::kRestored);
    s.phase = QString::fromLatin1(backup_phase::kSaved);
    s.version = backup_.COMM_Version;
    s.settings = backup_.CKNG_settings;
    s.setup = backup_.CKII_setup;
    return s;
}

// The release the restarted instrument reports: the one its application header
// block names (the buffer's header text, else the release of the image).
QString TCkUpdateEngine::ExpectedRelease(const ProgrammingParameters& p) const {
    const char* header = reinterpret_cast<const char*>(bin_stream_.Data.data() + p.startOffset);
    const QString text = QString::fromLatin1(header + 16, static_cast<qsizetype>(::strnlen(header + 16, 16)));
    return text.isEmpty() ? release_number_ : text;
}

bool TCkUpdateEngine::RestoreStoredSettings(StoredSettings stored) {
    last_message_.clear();
    // The identity block carries the serial number: another instrument's
    // backup would give this one a wrong identity and wrong calibration.
    const InstrumentIdentity id = host_.Identity();
    if (stored.serial.isEmpty() || id.serial != stored.serial ||
        (stored.cpuType != 0 && id.cpuType != stored.cpuType) || (stored.deviceCode != 0 && id.deviceCode != stored.deviceCode)) {
        SetLastMessage(TrCk::tr("The settings backup %1 is of instrument %2 (device type %3), the connected one is %4 "
                                "(device type %5): nothing was written.")
                           .arg(stored.path, stored.serial.isEmpty() ? TrCk::tr("without a serial number") : stored.serial)
                           .arg(stored.deviceCode)
                           .arg(id.Name())
                           .arg(id.deviceCode));
        return false;
    }
    const QString release = dev_info_.FirmwareVersion;
    const bool new_firmware = release == stored.toRelease && !stored.toRelease.isEmpty();
    if (!new_firmware && release != stored.fromRelease) {
        last_message_ = TrCk::tr("The instrument runs firmware %1, but the settings backup %2 was made on %3 for "
                                 "firmware %4: nothing was written.")
                            .arg(release, stored.path, stored.fromRelease,
                                 stored.toRelease.isEmpty() ? stored.fromRelease : stored.toRelease);
        view_.AddMessage(last_message_);
        return false;
    }
    UpdateLock lock(LockFolder());
    QString holder;
    if (!lock.TryLock(stored.serial, QString(), &holder)) {
        last_message_ = TrCk::tr("Another update is running (%1). Nothing was sent to the instrument.").arg(holder);
        view_.AddMessage(last_message_);
        return false;
    }
    backup_.COMM_Version = stored.version;
    backup_.CKNG_settings = stored.settings;
    backup_.CKII_setup = stored.setup;
    backup_.FSettingsAvailable = true;
    host_.SetUSBWatchIdle(true);
    SetCritical(true);
    const bool ok = new_firmware ? backup_.Settings_ReadWrite(kSettingsWrite, ReleaseTexts{stored.toName, stored.toRelease, stored.toDate})
                                 : backup_.WriteBackUnchanged();
    SetCritical(false);
    host_.SetUSBWatchIdle(false);
    if (!ok) {
        last_message_ = backup_.LastError + "\n" +
                        TrCk::tr("The settings stay kept in %1 for another attempt.").arg(stored.path);
        return false;
    }
    stored.state = QString::fromLatin1(backup_state::kRestored);
    stored.restoredTime = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    QString error;
    if (!WriteStoredSettings(stored.path, stored, &error))
        view_.AddMessage(TrCk::tr("The settings are back on the instrument, but %1 could not be marked restored: %2")
                             .arg(stored.path, error));
    return true;
}

void TCkUpdateEngine::Verify(const ProgrammingParameters& p, std::uint32_t end, std::uint32_t programmingMs) {
    const std::vector<std::uint8_t>& data = bin_stream_.Data;
    const std::uint16_t chunk = p.bluetooth ? kBluetoothVerifyChunk : kUsbVerifyChunk;
    const std::uint32_t first = p.startOffset + kHeaderBlockSize;
    const std::uint32_t total = end - first;
    std::vector<std::uint8_t> back(chunk);
    const std::uint32_t t0 = clock_.NowMs();
    for (std::uint32_t offset = first; offset < end;) {
        const auto n = static_cast<std::uint16_t>(std::min<std::uint32_t>(chunk, end - offset));
        const int page = SectorOf(offset);
        update_if_.ReadFlash(back.data(), page, kFlashBase + offset, n);
        const auto mismatch = std::mismatch(back.begin(), back.begin() + n, data.begin() + offset);
        if (mismatch.first != back.begin() + n) {
            const auto at = offset + static_cast<std::uint32_t>(mismatch.first - back.begin());
            throw E_UpdateIf(TrCk::tr("Error: Verifying page %1, address 0x%2")
                                 .arg(SectorOf(at))
                                 .arg(QString::number(kFlashBase + at, 16).rightJustified(8, '0').toUpper()));
        }
        offset += n;
        view_.ProcessEvents();
        const double elapsed = static_cast<double>(clock_.NowMs() - t0 + 1);
        FTimeUpdateMs = programmingMs + static_cast<std::uint32_t>(std::llround(elapsed * total / (offset - first)));
        UpdateRemainingTime();
    }
}

}  // namespace ckupdate
