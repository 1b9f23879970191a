// Fuzz target: the program's settings file (an INI file a user may edit) and
// the language choice beside it, read as the program reads them at start. The
// input's first NUL separates the two files. What was read must survive a
// write and a second read unchanged.
#include "fuzz/support/scratch_file.h"
#include "update/config/settings_store.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

const std::string& config_home() {
    static const std::string home = [] {
        const std::string h = tola::fuzzing::scratch_folder() + "/config";
        std::filesystem::create_directories(h + "/TOLA");
        std::filesystem::create_directories(h + "/QtProject");
        ::setenv("XDG_CONFIG_HOME", h.c_str(), 1);
        return h;
    }();
    return home;
}

bool same_written_values(const ckupdate::ProgramSettings& a, const ckupdate::ProgramSettings& b) {
    return a.TempDir == b.TempDir && a.SrcDir == b.SrcDir && a.DstDir == b.DstDir &&
           a.FileNameBinStream == b.FileNameBinStream && a.FileNameDebug == b.FileNameDebug &&
           a.FileNameSettings == b.FileNameSettings && a.FilePathSettings == b.FilePathSettings &&
           a.FileNameLiveData == b.FileNameLiveData && a.FileNameRamData == b.FileNameRamData &&
           a.FileNameCommentList == b.FileNameCommentList && a.BluetoothDevice == b.BluetoothDevice &&
           a.ShowRamDataMenu == b.ShowRamDataMenu && a.ShowLiveDataMenu == b.ShowLiveDataMenu &&
           a.VerifyBeforeHeader == b.VerifyBeforeHeader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& home = config_home();
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t first = nul != nullptr ? static_cast<std::size_t>(nul - data) : size;
    tola::fuzzing::write_scratch("config/TOLA/CK-Update.ini", data, first);
    const std::size_t rest = first < size ? size - first - 1 : 0;
    tola::fuzzing::write_scratch("config/QtProject/Locales.ini", data + size - rest, rest);
    (void)home;

    const QString program = QStringLiteral("/opt/tola/bin/Tola_CK_Update");
    ckupdate::ProgramSettings read;
    (void)ckupdate::SettingsStore::LoadSettings(read, {program}, QStringLiteral("deutsch"));
    const ckupdate::WindowRect desktop{0, 0, 1920, 1080};
    const ckupdate::WindowRect placed =
        ckupdate::RestoreWindowPos(QStringLiteral("frmCkUpdate"), {0, 0, 640, 480}, desktop, true);
    // At least 300 by 200 pixels of the window stay on the desktop, whatever the file says.
    if (placed.left < desktop.left || placed.left > desktop.left + desktop.width - 300 || placed.top < desktop.top ||
        placed.top > desktop.top + desktop.height - 200)
        __builtin_trap();
    (void)ckupdate::GetLanguageOverride(program);
    (void)ckupdate::StoredLanguageOverride(program);

    ckupdate::SettingsStore::SaveSettings(read);
    ckupdate::ProgramSettings again;
    (void)ckupdate::SettingsStore::LoadSettings(again, {program}, QStringLiteral("deutsch"));
    if (!same_written_values(read, again)) __builtin_trap();
    return 0;
}
