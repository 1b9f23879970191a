#include "update/firmware/settings_backup.h"

#include "update/firmware/date_text.h"

#include <QCoreApplication>

#include <array>
#include <cstring>

namespace ckupdate {
namespace {

// Texts of the update dialog; lupdate finds them under this context.
struct TrCk {
    Q_DECLARE_TR_FUNCTIONS(TfrmCkUpdate)
};

// Cut to 25 characters, as 8-bit text, NUL-terminated in its 26-character field.
void PutName(TNAME& field, const QString& text) {
    const QByteArray bytes = text.left(25).toLatin1();
    std::memset(field, 0, sizeof(TNAME));
    std::memcpy(field, bytes.constData(), static_cast<std::size_t>(std::min<qsizetype>(bytes.size(), 25)));
}

constexpr std::array<float, 11> kTableA{0.511f, 2.324f, 1.1f, 0.5f, 0.5f, 27.0f, 111.11f, 1.6f, 16.0f, 45.0f, 10.0f};
constexpr std::array<float, 11> kTableB{0.313f, 0.329f, 1075.012f, 145.516f, 0.6f, 0.4f,
                                        46.0f,  3.7f,   16.0f,     45.0f,    10.0f};
constexpr std::array<float, 16> kQfB{1325.0f, 10.0f, 1490.0f, 30.0f, 1520.0f, 40.0f, 1545.0f, 50.0f,
                                     1555.0f, 60.0f, 1565.0f, 70.0f, 1600.0f, 80.0f, 1675.0f, 100.01f};

}  // namespace

bool UsesTableA(const QString& release) {
    const QString r = release.toUpper();
    return r == QLatin1String("509S") || r == QLatin1String("509SD") || r == QLatin1String("509SDW") ||
           r == QLatin1String("509SDDW") || r > QLatin1String("511");
}

void FillInVersionDate(COMM_VERSION& v, CKNG_SETTINGS& s, const ReleaseTexts& texts, const QDate& today,
                       const QTime& now) {
    PutName(v.snName, texts.deviceName);
    PutName(v.snRelease, texts.releaseNumber);
    PutName(v.snVersion, QString::fromLatin1(kSettingsLayoutVersion));
    PutName(v.snRelease_date, texts.releaseDate);
    PutName(v.snInstall_date, DateText(today));
    PutName(v.snMFG3, now.toString(Qt::TextDate));

    const auto& table = UsesTableA(texts.releaseNumber) ? kTableA : kTableB;
    for (std::size_t i = 0; i < table.size(); ++i) s.qfRef_slope[i] = table[i];
    for (std::size_t i = 0; i < kQfB.size(); ++i) s.qfB[i] = kQfB[i];
    s.dAuto_min = 20;
    s.dAuto_max = 100;
    s.bySapTabCounts = 9;
    s.byDarkDeltaLimitWarning = 50;
    s.byDarkDeltaLimitError = 100;
    if (s.dwHidConnectTimeout_ms < 1000) s.dwHidConnectTimeout_ms = 180000;
    s.dBitValues1 &= ~(0x10u | 0x20u);
    s.byTftBackLight = 120;
}

void TSettingsBackup::SetStep(UpdateStep step, const QString& text, StepState state) {
    if (observer_) observer_(step, state);
    view_.SetStep(step, text, state);
}

template <typename Error>
void TSettingsBackup::Transfer(void* record, std::int32_t id, std::int32_t size, std::int32_t direction,
                               const QString& text) {
    std::array<char, kStatusMessageSize> message{};
    std::strncpy(message.data(), "Connection error", message.size() - 1);
    PXM_COMM* comm = &host_.PortData();
    if (api_.CKPTransfer_local_structure(comm, record, id, size, direction, message.data())) return;
    if (api_.CKPTransfer_local_structure(comm, record, id, size, direction, message.data())) return;
    message.back() = '\0';
    throw Error(text + "\n\r" + QString::fromLatin1(message.data()));
}

// The records that are written back after the update are read until two
// readings agree: a reply garbled on its way would otherwise become the backup
// and be written to the instrument as its settings.
template <typename Record>
void TSettingsBackup::ConfirmedRead(Record& record, std::int32_t id, const QString& text) {
    Record first{}, second{};
    Transfer<ECkReadVersion>(&first, id, sizeof first, TOLA_DIRECTION_UPLOAD, text);
    for (int reading = 2; reading <= kConfirmingReads; ++reading) {
        Transfer<ECkReadVersion>(&second, id, sizeof second, TOLA_DIRECTION_UPLOAD, text);
        if (std::memcmp(&first, &second, sizeof first) == 0) {
            record = first;
            return;
        }
        first = second;
    }
    throw ECkReadVersion(text + "\n\r" + TrCk::tr("The instrument answered differently each time it was read."));
}

void TSettingsBackup::SettingsCkRead() {
    std::memset(&COMM_Version, 0, sizeof COMM_Version);
    std::memset(&CKNG_settings, 0, sizeof CKNG_settings);
    std::memset(&CKII_setup, 0, sizeof CKII_setup);
    ConfirmedRead(COMM_Version, CKPSTRUCT_COMMVERSION, TrCk::tr("Error reading version."));
    ConfirmedRead(CKNG_settings, CKPSTRUCT_SETTINGS, TrCk::tr("Error reading parameter"));
    Transfer<ECkReadSetup>(&CKII_setup, CKPSTRUCT_SETUPROM, sizeof CKII_setup, TOLA_DIRECTION_UPLOAD,
                           TrCk::tr("Error reading ROM values"));
}

void TSettingsBackup::SettingsFillInVersionDate(const ReleaseTexts& texts) {
    FillInVersionDate(COMM_Version, CKNG_settings, texts, QDate::currentDate(), QTime::currentTime());
}

void TSettingsBackup::SettingsCkWrite() {
    Transfer<ECkWriteVersion>(&COMM_Version, CKPSTRUCT_COMMVERSION, sizeof COMM_Version, TOLA_DIRECTION_DOWNLOAD,
                              TrCk::tr("Error writing version."));
    Transfer<ECkWriteSetting>(&CKNG_settings, CKPSTRUCT_SETTINGS, sizeof CKNG_settings, TOLA_DIRECTION_DOWNLOAD,
                              TrCk::tr("Error writing parameter"));
}

void TSettingsBackup::SettingsStoreEEPROM() {
    if (!api_.CKPcomm_set_state(kStateStoreSettings)) throw EStoreEEPROM(TrCk::tr("Error saving to EEPROM."));
}

void TSettingsBackup::SettingsCkVerify() {
    COMM_VERSION version{};
    CKNG_SETTINGS settings{};
    Transfer<ECkVerifySettings>(&version, CKPSTRUCT_COMMVERSION, sizeof version, TOLA_DIRECTION_UPLOAD,
                                TrCk::tr("Error reading version."));
    Transfer<ECkVerifySettings>(&settings, CKPSTRUCT_SETTINGS, sizeof settings, TOLA_DIRECTION_UPLOAD,
                                TrCk::tr("Error reading parameter"));
    if (std::memcmp(&version, &COMM_Version, sizeof version) != 0 ||
        std::memcmp(&settings, &CKNG_settings, sizeof settings) != 0)
        throw ECkVerifySettings(TrCk::tr("The settings read back from the instrument differ from the settings written."));
}

bool TSettingsBackup::Settings_ReadWrite(int direction, const ReleaseTexts& texts) {
    if (direction == kSettingsRead) return WriteBack(nullptr);
    return WriteBack(&texts);
}

bool TSettingsBackup::WriteBackUnchanged() {
    ReleaseTexts none;
    return WriteBack(&none);
}

// texts null: read the settings (backup).  Otherwise write them back, brought up
// to date for the new firmware unless the texts are empty.
bool TSettingsBackup::WriteBack(const ReleaseTexts* texts) {
    try {
        if (texts == nullptr) {
            SetStep(UpdateStep::ReadSetup, TrCk::tr("Reading setup"), StepState::Busy);
            SettingsCkRead();
            FSettingsAvailable = true;
            SetStep(UpdateStep::ReadSetup, TrCk::tr("Read setup completed"), StepState::Done);
            return true;
        }
        if (!FSettingsAvailable) return true;
        LastError.clear();
        SetStep(UpdateStep::WriteSetup, TrCk::tr("Writing setup"), StepState::Busy);
        if (!texts->releaseNumber.isEmpty()) SettingsFillInVersionDate(*texts);
        SettingsCkWrite();
        SettingsStoreEEPROM();
        SettingsCkVerify();
        SetStep(UpdateStep::WriteSetup, TrCk::tr("Write setup completed"), StepState::Done);
        return true;
    } catch (const ECkReadVersion& e) {
        LastError = e.Message();
        SetStep(UpdateStep::ReadSetup, TrCk::tr("Error reading setup"), StepState::Failed);
    } catch (const ECkReadSetup& e) {
        LastError = e.Message();
        SetStep(UpdateStep::ReadSetup, TrCk::tr("Error reading setup"), StepState::Failed);
    } catch (const EProgramError& e) {
        LastError = e.Message();
        const bool writing = dynamic_cast<const ECkWriteVersion*>(&e) != nullptr ||
                             dynamic_cast<const ECkWriteSetting*>(&e) != nullptr ||
                             dynamic_cast<const EStoreEEPROM*>(&e) != nullptr ||
                             dynamic_cast<const ECkVerifySettings*>(&e) != nullptr;
        if (writing) {
            SetStep(UpdateStep::WriteSetup, TrCk::tr("Error writing setup"), StepState::Failed);
            view_.ShowMessageBox(e.Message());
        } else {
            view_.ShowMessageBox(TrCk::tr("Error: Update canceled"));
            view_.ShowResultPanel(false);
        }
    } catch (const std::exception& e) {
        LastError = QString::fromLocal8Bit(e.what());
        view_.ShowMessageBox(TrCk::tr("Error: Update canceled"));
        view_.ShowResultPanel(false);
    }
    return false;
}

}  // namespace ckupdate
