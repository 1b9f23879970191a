#include "update/config/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace ckupdate {
namespace {

QSettings ProgramStore() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "TOLA", "CK-Update"); }

// The language codes live in a settings file of the framework, not of the program.
QSettings LanguageStore() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "QtProject", "Locales"); }

QString LanguageKey(const QString& programPath) {
    QString key = programPath;
    key.replace('/', '\\');  // one key, not a group per folder
    return key;
}

std::optional<int> ReadNumber(const QSettings& s, const QString& key) {
    const QVariant v = s.value(key);
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    const int n = v.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

bool ReadFlag(const QSettings& s, const QString& key, bool fallback) {
    const auto n = ReadNumber(s, key);
    return n ? *n != 0 : fallback;
}

QString ReadText(const QSettings& s, const QString& key, const QString& fallback) {
    const QVariant v = s.value(key);
    return v.isValid() ? v.toString() : fallback;
}

QString Flag(bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

bool IsServiceMode(const QStringList& arguments) {
    return arguments.size() > 1 && arguments.at(1) == QLatin1String(kServiceModeSwitch);
}

QString ProgramFolderOf(const QString& programPath) {
    QString folder = QFileInfo(programPath).absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

QString LicenceFileName(const QString& programFolder, const QString& germanMenuText) {
    QString suffix;
    if (germanMenuText == QLatin1String("deutsch")) suffix = QStringLiteral("GE.rtf");
    else if (germanMenuText == QLatin1String("German")) suffix = QStringLiteral("EN.rtf");
    const QString name = QStringLiteral("EULA-") + suffix;
    // Beside the program (so in the build tree), else in the installed data folder.
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral(CKUPDATE_DATADIR_FROM_BINDIR) + QLatin1Char('/') + name);
    if (!QFileInfo::exists(programFolder + name) && QFileInfo::exists(installed)) return installed;
    return programFolder + name;
}

ProgramEnvironment SettingsStore::LoadSettings(ProgramSettings& st, const QStringList& arguments,
                                               const QString& germanMenuText) {
    ProgramEnvironment env;
    env.ProgramFolder = ProgramFolderOf(arguments.isEmpty() ? QString() : arguments.first());
    env.ServiceMode = IsServiceMode(arguments);
    st.ViewerEULAFile = LicenceFileName(env.ProgramFolder, germanMenuText);

    QSettings s = ProgramStore();
    const ProgramSettings d;
    s.beginGroup("Files");
    st.TempDir = ReadText(s, "TempDir", d.TempDir);
    st.SrcDir = ReadText(s, "SrcDir", d.SrcDir);
    st.DstDir = ReadText(s, "DstDir", d.DstDir);
    st.FileNameBinStream = ReadText(s, "FileNameBinStream", d.FileNameBinStream);
    st.FileNameDebug = ReadText(s, "FileNameDebug", d.FileNameDebug);
    st.FileNameSettings = ReadText(s, "FileNameSettings", d.FileNameSettings);
    st.FilePathSettings = ReadText(s, "FilePathSettings", d.FilePathSettings);
    st.FileNameLiveData = ReadText(s, "FileNameLiveData", d.FileNameLiveData);
    st.FileNameRamData = ReadText(s, "FileNameRamData", d.FileNameRamData);
    st.FileNameCommentList = ReadText(s, "FileNameCommentList", d.FileNameCommentList);
    st.PathDeliverySettings = ReadText(s, "PathDeliverySettings", d.PathDeliverySettings);
    st.LocalPathDeliverySettings = ReadText(s, "LocalPathDeliverySettings", d.LocalPathDeliverySettings);
    s.endGroup();
    s.beginGroup("Options");
    st.BluetoothDevice = ReadText(s, "BluetoothDevice", d.BluetoothDevice);
    st.ShowRamDataMenu = ReadFlag(s, "ShowRamDataMenu", d.ShowRamDataMenu);
    st.ShowLiveDataMenu = ReadFlag(s, "ShowLiveDataMenu", d.ShowLiveDataMenu);
    st.VerifyBeforeHeader = ReadFlag(s, "VerifyBeforeHeader", d.VerifyBeforeHeader);
    s.endGroup();
    const FirmwareBackupOptions backups = ReadFirmwareBackupOptions();
    st.FirmwareBackupBluetooth = backups.overBluetooth;
    st.FirmwareBackupsKept = backups.kept;
    return env;
}

FirmwareBackupOptions ReadFirmwareBackupOptions() {
    QSettings s = ProgramStore();
    const FirmwareBackupOptions d;
    s.beginGroup("Options");
    FirmwareBackupOptions o;
    o.overBluetooth = ReadFlag(s, "FirmwareBackupBluetooth", d.overBluetooth);
    // At least one copy: the setting cannot switch the backup off, only --no-backup can.
    o.kept = std::max(1, ReadNumber(s, "FirmwareBackupsKept").value_or(d.kept));
    return o;
}

void SettingsStore::SaveSettings(const ProgramSettings& st) {
    QSettings s = ProgramStore();
    s.setValue("Version/Ver", QString(""));
    s.beginGroup("Files");
    s.setValue("TempDir", st.TempDir);
    s.setValue("SrcDir", st.SrcDir);
    s.setValue("DstDir", st.DstDir);
    s.setValue("FileNameBinStream", st.FileNameBinStream);
    s.setValue("FileNameDebug", st.FileNameDebug);
    s.setValue("FileNameSettings", st.FileNameSettings);
    s.setValue("FilePathSettings", st.FilePathSettings);
    s.setValue("FileNameLiveData", st.FileNameLiveData);
    s.setValue("FileNameRamData", st.FileNameRamData);
    s.setValue("FileNameCommentList", st.FileNameCommentList);
    s.setValue("ViewerEULAFile", st.ViewerEULAFile);
    s.setValue("LocalPathDeliverySettings", st.LocalPathDeliverySettings);
    s.endGroup();
    s.beginGroup("Options");
    s.setValue("BluetoothDevice", st.BluetoothDevice);
    s.setValue("ShowRamDataMenu", Flag(st.ShowRamDataMenu));
    s.setValue("ShowLiveDataMenu", Flag(st.ShowLiveDataMenu));
    s.setValue("VerifyBeforeHeader", Flag(st.VerifyBeforeHeader));
    s.setValue("FirmwareBackupBluetooth", Flag(st.FirmwareBackupBluetooth));
    s.setValue("FirmwareBackupsKept", QString::number(st.FirmwareBackupsKept));
    s.endGroup();
    s.sync();  // errors while writing are not reported
}

WindowRect PlaceWindow(std::optional<int> storedLeft, std::optional<int> storedTop, int width, int height,
                       const WindowRect& desktop) {
    WindowRect r{0, 0, width, height};
    // Centred in 64 bits: a size from the file may be any int, and the
    // difference of two ints need not be one.
    const auto centre = [](int from, int extent, int size) {
        return static_cast<int>(from + (static_cast<long long>(extent) - size) / 2);
    };
    r.left = storedLeft.value_or(centre(desktop.left, desktop.width, width));
    if (r.left > desktop.left + desktop.width - 300) r.left = desktop.left + desktop.width - 300;
    else if (r.left < desktop.left) r.left = desktop.left;
    r.top = storedTop.value_or(centre(desktop.top, desktop.height, height));
    if (r.top > desktop.top + desktop.height - 200) r.top = desktop.top + desktop.height - 200;
    else if (r.top < desktop.top) r.top = desktop.top;
    return r;
}

WindowRect RestoreWindowPos(const QString& componentName, const WindowRect& current, const WindowRect& desktop,
                            bool withSize) {
    const QString n = componentName.toUpper();
    QSettings s = ProgramStore();
    s.beginGroup("Position");
    int width = current.width;
    int height = current.height;
    if (withSize) {
        width = ReadNumber(s, n + "_W").value_or(current.width);
        height = ReadNumber(s, n + "_H").value_or(current.height);
    }
    return PlaceWindow(ReadNumber(s, n + "_L"), ReadNumber(s, n + "_T"), width, height, desktop);
}

void SaveWindowPos(const QString& componentName, const WindowRect& g) {
    const QString n = componentName.toUpper();
    QSettings s = ProgramStore();
    s.beginGroup("Position");
    s.setValue(n + "_W", QString::number(g.width));
    s.setValue(n + "_H", QString::number(g.height));
    s.setValue(n + "_L", QString::number(g.left));
    s.setValue(n + "_T", QString::number(g.top));
}

QString GetLanguageOverride(const QString& programPath) {
    QSettings s = LanguageStore();
    return s.value(LanguageKey(programPath), QStringLiteral("de-DE")).toString();
}

std::optional<QString> StoredLanguageOverride(const QString& programPath) {
    QSettings s = LanguageStore();
    const QVariant v = s.value(LanguageKey(programPath));
    return v.isValid() ? std::optional<QString>(v.toString()) : std::nullopt;
}

bool SetLanguageOverride(const QString& programPath, const QString& code) {
    QSettings s = LanguageStore();
    const QString old = s.value(LanguageKey(programPath), QStringLiteral("de-DE")).toString();
    s.setValue(LanguageKey(programPath), code);
    return old != code;
}

QString GetProgramVersionText(const QString&) {
#ifdef CKUPDATE_VERSION
    return QStringLiteral(CKUPDATE_VERSION);
#else
    return QStringLiteral("Unknown");
#endif
}

}  // namespace ckupdate
