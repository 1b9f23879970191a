#include "update/device/instrument_identity.h"

#include <QCoreApplication>

#include <cstring>

namespace ckupdate {
namespace {

struct Tr {
    Q_DECLARE_TR_FUNCTIONS(TfrmCkUpdate)
};

}  // namespace

QString InstrumentIdentity::Name() const {
    return serial.isEmpty() ? Tr::tr("an instrument without a serial number") : serial;
}

QString RecordText(const TNAME& field) {
    return QString::fromLatin1(field, static_cast<qsizetype>(::strnlen(field, sizeof(TNAME))));
}

}  // namespace ckupdate
