// The licence viewer's RTF reader on arbitrary bytes.
#include "update/documents/rtf_reader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QTextDocument document;
    // Either form: as it comes, and as rich text whatever it begins with.
    ckupdate::ReadRtf(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), document);
    ckupdate::ReadRtf("{\\rtf1 " + QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
                      document);
    document.toPlainText();
    return 0;
}
