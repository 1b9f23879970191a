// The program's persistent settings (QSettings, organisation "TOLA", application
// "CK-Update": an INI file under ~/.config/TOLA/), read once at start and written
// once when the main window closes; the window geometry; the service-mode switch;
// the licence file name; the language override; the program version text.
//
// The store is opened for each read or write sequence and closed right after it.
// Numbers are stored as decimal text and flags as "0" or "1"; a value that is
// missing or does not read as a number gives the default.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ckupdate {

struct ProgramSettings {
    // "Files"
    QString TempDir;
    QString SrcDir;
    QString DstDir;
    QString FileNameBinStream;
    QString FileNameDebug;
    QString FileNameSettings;
    QString FilePathSettings;
    QString FileNameLiveData;
    QString FileNameRamData;
    QString FileNameCommentList;
    QString ViewerEULAFile;  // computed at every start, written at close
    QString PathDeliverySettings = QStringLiteral("R:\\E_Allgemein\\DeliverySettings\\");  // read, never written
    QString LocalPathDeliverySettings;
    // "Options"
    QString BluetoothDevice;
    bool ShowRamDataMenu = true;
    bool ShowLiveDataMenu = false;
    // Read back every written flash block before the header block (on unless
    // turned off: a weak flash cell must never end in "Update completed").
    bool VerifyBeforeHeader = true;
    // Copy the firmware an update replaces over Bluetooth too (it costs time
    // there; over USB it is always taken), and how many copies to keep per instrument.
    bool FirmwareBackupBluetooth = false;
    int FirmwareBackupsKept = 3;
};

// The two firmware-backup options alone, for tools that share the program's settings.
struct FirmwareBackupOptions {
    bool overBluetooth = false;
    int kept = 3;
};
FirmwareBackupOptions ReadFirmwareBackupOptions();

// Values fixed at start-up.
struct ProgramEnvironment {
    QString ProgramFolder;  // ends with "/"
    bool ServiceMode = false;
};

inline constexpr const char* kServiceModeSwitch = "-cFW_Select";

// On when the first argument after the program is exactly "-cFW_Select".
bool IsServiceMode(const QStringList& arguments);

// The folder part of the program's path, ending with "/".
QString ProgramFolderOf(const QString& programPath);

// program folder + "EULA-" + "GE.rtf" when the menu text of "German" reads
// "deutsch", "EN.rtf" when it reads "German", nothing otherwise.
QString LicenceFileName(const QString& programFolder, const QString& germanMenuText);

class SettingsStore {
public:
    // Computes the licence file name and the service mode, then reads the values
    // read at start.  arguments: the program's command line, program first.
    static ProgramEnvironment LoadSettings(ProgramSettings& settings, const QStringList& arguments,
                                           const QString& germanMenuText);
    // Writes the values written at close ("Version", then "Files", then "Options").
    static void SaveSettings(const ProgramSettings& settings);
};

// A window's geometry in pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowRect&) const = default;
};

// The position a window gets from its stored left and top (or centred when
// missing), clamped so that at least 300 by 200 pixels lie on the desktop.
// desktop: the whole virtual desktop over all monitors.
WindowRect PlaceWindow(std::optional<int> storedLeft, std::optional<int> storedTop, int width, int height,
                       const WindowRect& desktop);

// Reads the window's geometry under the keys of its upper-cased component name
// in "Position" (size only when withSize); current supplies the default size.
WindowRect RestoreWindowPos(const QString& componentName, const WindowRect& current, const WindowRect& desktop,
                            bool withSize);
void SaveWindowPos(const QString& componentName, const WindowRect& geometry);

// The per-user language code stored for the program's path ("de-DE" when none).
QString GetLanguageOverride(const QString& programPath);
// The stored code, or none when the user never chose one.
std::optional<QString> StoredLanguageOverride(const QString& programPath);
// Stores the code; true when it differs (case-sensitively) from the stored one.
bool SetLanguageOverride(const QString& programPath, const QString& code);

// The program's version as "major.minor.release.build", "Unknown" when the build
// carries none.
QString GetProgramVersionText(const QString& programPath);

}  // namespace ckupdate
