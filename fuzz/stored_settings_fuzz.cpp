// Fuzz target: the settings backup of a safe update as it lies on disk, read
// back by a later run. A backup that reads must write and read back equal.
#include "fuzz/support/scratch_file.h"
#include "update/firmware/stored_settings.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = tola::fuzzing::write_scratch("H0001.json", data, size);
    QString why;
    auto stored = ckupdate::ReadStoredSettings(QString::fromStdString(path), &why);
    if (!stored) {
        if (why.isEmpty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    const QString again = QString::fromStdString(tola::fuzzing::scratch_folder() + "/again/H0001.json");
    if (!ckupdate::WriteStoredSettings(again, *stored, &why)) return 0;
    const auto back = ckupdate::ReadStoredSettings(again);
    if (!back || back->serial != stored->serial || back->state != stored->state ||
        std::memcmp(&back->settings, &stored->settings, sizeof stored->settings) != 0 ||
        std::memcmp(&back->setup, &stored->setup, sizeof stored->setup) != 0)
        __builtin_trap();
    (void)ckupdate::PendingSettings(QString::fromStdString(tola::fuzzing::scratch_folder()));
    return 0;
}
