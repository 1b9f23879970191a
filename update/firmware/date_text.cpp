#include "update/firmware/date_text.h"

#include <QCoreApplication>

namespace ckupdate {
namespace {

const char* const kDays[] = {QT_TRANSLATE_NOOP("DateText", "Mo"), QT_TRANSLATE_NOOP("DateText", "Di"),
                             QT_TRANSLATE_NOOP("DateText", "Mi"), QT_TRANSLATE_NOOP("DateText", "Do"),
                             QT_TRANSLATE_NOOP("DateText", "Fr"), QT_TRANSLATE_NOOP("DateText", "Sa"),
                             QT_TRANSLATE_NOOP("DateText", "So")};
const char* const kMonths[] = {
    QT_TRANSLATE_NOOP("DateText", "Jan"), QT_TRANSLATE_NOOP("DateText", "Feb"),
    QT_TRANSLATE_NOOP("DateText", "Mär"), QT_TRANSLATE_NOOP("DateText", "Apr"),
    QT_TRANSLATE_NOOP("DateText", "Mai"), QT_TRANSLATE_NOOP("DateText", "Jun"),
    QT_TRANSLATE_NOOP("DateText", "Jul"), QT_TRANSLATE_NOOP("DateText", "Aug"),
    QT_TRANSLATE_NOOP("DateText", "Sep"), QT_TRANSLATE_NOOP("DateText", "Okt"),
    QT_TRANSLATE_NOOP("DateText", "Nov"), QT_TRANSLATE_NOOP("DateText", "Dez")};

}  // namespace

QString DateText(const QDate& date) {
    const int day = date.dayOfWeek();  // 1 = Monday
    const int month = date.month();
    const QString dayName = day >= 1 && day <= 7 ? QCoreApplication::translate("DateText", kDays[day - 1])
                                                 : QStringLiteral("??");
    const QString monthName = month >= 1 && month <= 12
                                  ? QCoreApplication::translate("DateText", kMonths[month - 1])
                                  : QStringLiteral("????");
    return QStringLiteral("%1 %2. %3 %4")
        .arg(dayName)
        .arg(date.day())
        .arg(monthName)
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

}  // namespace ckupdate
