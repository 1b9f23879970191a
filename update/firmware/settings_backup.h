// Backup and restore of the instrument's identity block, operating settings and
// optical set-up around a firmware update.  The backup lives in memory only.
#pragma once

#include "update/binding/comm_api.h"
#include "update/firmware/update_view.h"
#include "update/program_error.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <functional>

namespace ckupdate {

CKUPDATE_ERROR_CLASS(ECkReadVersion);
CKUPDATE_ERROR_CLASS(ECkReadSetup);
CKUPDATE_ERROR_CLASS(ECkWriteVersion);
CKUPDATE_ERROR_CLASS(ECkWriteSetting);
CKUPDATE_ERROR_CLASS(EStoreEEPROM);
CKUPDATE_ERROR_CLASS(ECkVerifySettings);

inline constexpr int kSettingsRead = 1;
inline constexpr int kSettingsWrite = 0;
inline constexpr std::int32_t kStateStoreSettings = 53;
inline constexpr const char* kSettingsLayoutVersion = "CK0A.00.31.00";

// What the new firmware is called, for the identity block written back.
struct ReleaseTexts {
    QString deviceName;     // FDeviceName
    QString releaseNumber;  // FReleaseNumber
    QString releaseDate;    // FReleaseDate
};

// True when the calibration values of table A apply to the release.
bool UsesTableA(const QString& release);

// Brings the read records up to date for the new firmware (identity texts cut
// to 25 characters, calibration values, fixed settings).
void FillInVersionDate(COMM_VERSION& version, CKNG_SETTINGS& settings, const ReleaseTexts& texts,
                       const QDate& today, const QTime& now);

class TSettingsBackup {
public:
    // view: the steps and message boxes; step setter lets the engine track them.
    TSettingsBackup(CommApi api, UpdateHost& host, UpdateView& view) : api_(api), host_(host), view_(view) {}

    // direction kSettingsRead (backup) or kSettingsWrite (restore).  Shows its
    // own step, handles its own errors, never throws.
    bool Settings_ReadWrite(int direction, const ReleaseTexts& texts);
    // The write direction without bringing the identity and calibration values
    // up to date: the instrument still runs the firmware the settings came from.
    bool WriteBackUnchanged();

    void SettingsCkRead();
    void SettingsFillInVersionDate(const ReleaseTexts& texts);
    void SettingsCkWrite();
    void SettingsStoreEEPROM();
    // Reads the identity block and the settings back after they were stored and
    // compares them with what was written; throws ECkVerifySettings on a difference.
    void SettingsCkVerify();

    // Told of every step this shows (the engine keeps the step reached).
    void SetStepObserver(std::function<void(UpdateStep, StepState)> observer) { observer_ = std::move(observer); }

    COMM_VERSION COMM_Version{};
    CKNG_SETTINGS CKNG_settings{};
    CKII_SETUP CKII_setup{};
    bool FSettingsAvailable = false;
    // The text of the error that ended the last Settings_ReadWrite, if any.
    QString LastError;

private:
    bool WriteBack(const ReleaseTexts* texts);
    template <typename Record>
    void ConfirmedRead(Record& record, std::int32_t id, const QString& text);
    static constexpr int kConfirmingReads = 4;
    void SetStep(UpdateStep step, const QString& text, StepState state);
    template <typename Error>
    void Transfer(void* record, std::int32_t id, std::int32_t size, std::int32_t direction, const QString& text);

    CommApi api_;
    UpdateHost& host_;
    UpdateView& view_;
    std::function<void(UpdateStep, StepState)> observer_;
};

}  // namespace ckupdate
