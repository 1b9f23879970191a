// The date text of the update: short weekday, day, short month, year
// ("Di 1. Feb 2022").  The names are user-interface texts; the built-in ones
// are Mo..So and Jan..Dez.
#pragma once

#include <QDate>
#include <QString>

namespace ckupdate {

QString DateText(const QDate& date);

}  // namespace ckupdate
