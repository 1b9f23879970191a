#include "update/firmware/update_rules.h"

#include "update/firmware/update_view.h"

#include <QCoreApplication>

#include <cmath>

namespace ckupdate {
namespace {

// Texts of the update dialog; lupdate finds them under this context.
struct TrCk {
    Q_DECLARE_TR_FUNCTIONS(TfrmCkUpdate)
};

QString NotProcessed() { return TrCk::tr("Update cannot be processed.\n\r"); }

}  // namespace

void CheckUpdateAllowed(std::uint32_t cpuType, const QString& R, const QString& F, bool S) {
    if (cpuType == 1) throw EWrongUpdateDevice(TrCk::tr("Wrong Chromatik Processor Type.\n\r"));
    if (cpuType == 2) {
        if (R >= QLatin1String("400"))
            throw EWrongUpdateDevice(NotProcessed() + TrCk::tr("This software can only be used for TOLA Chromatik® V.\n\r"));
        return;
    }
    if (cpuType != 3) return;
    if (R < QLatin1String("503e"))
        throw EWrongUpdateDevice(NotProcessed() + TrCk::tr("This release cannot be used for Chromatik® V.\n\r"
                                                     "Software version 503e or later is required.\n\r"));
    if (F < QLatin1String("503e"))
        throw EWrongUpdateDevice(NotProcessed() +
                                 TrCk::tr("Chromatik® V Updates only possible from firmware version 503e.\n\r"));
    if (F == R && !S) throw EDeviceHasActualVersion(TrCk::tr("No update required.\n\rFirmware is up to date\n\r"));
    if (F >= QLatin1String("504t") && R < QLatin1String("504t"))
        throw EWrongUpdateDevice(TrCk::tr("Release version %1 cannot be used to downdate für release Version %2.\n\r"
                                    "Release version 504t or later is required.\n\r")
                                     .arg(R, F));
    if (R <= QLatin1String("509i") && F >= QLatin1String("511oLE") && !S)
        throw EWrongUpdateDevice(NotProcessed() + TrCk::tr("Updates for Chromatik® V serial no. > 58599 are only possible "
                                                     "with firmware version 511oLE or later.\n\r"));
    if (R >= QLatin1String("511oLE") && F <= QLatin1String("509i") && !S)
        throw EWrongUpdateDevice(NotProcessed() + TrCk::tr("Updates for Chromatik® V serial no. < 58600 are only possible "
                                                     "with firmware version 509xx or lower.\n\r"));
}

std::uint32_t StartOffsetFor(const QString& release) {
    if (release < QLatin1String("354")) return 0x2000;
    if (release < QLatin1String("400")) return 0x6000;
    return 0xC000;
}

int SectorOf(std::uint32_t offset) {
    std::uint32_t end = 0;
    for (std::size_t k = 0; k < kSectorSizes.size(); ++k) {
        end += kSectorSizes[k];
        if (offset < end) return static_cast<int>(k);
    }
    return static_cast<int>(kSectorSizes.size()) - 1;
}

CountDown ComputeCountDown(std::uint32_t totalMs, std::uint32_t elapsedMs) {
    CountDown c;
    c.maximumSeconds = static_cast<int>(totalMs / 1000);
    std::int64_t remaining = static_cast<std::int64_t>(totalMs) - static_cast<std::int64_t>(elapsedMs);
    if (remaining < 1) remaining = 1;
    c.remainingMs = static_cast<std::uint32_t>(remaining);
    c.positionSeconds = c.maximumSeconds - static_cast<int>(remaining / 1000);
    const auto s = static_cast<int>(std::lround(static_cast<double>(remaining) / 1000.0));
    c.label = TrCk::tr("Remaining time: %1:%2")
                  .arg(s / 60, 2, 10, QLatin1Char('0'))
                  .arg(s % 60, 2, 10, QLatin1Char('0'));
    return c;
}

}  // namespace ckupdate
