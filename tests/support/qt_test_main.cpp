// The tests of the program and its windows run in one QApplication on the
// offscreen platform, with a private settings store and data folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Objects Qt itself never frees: the flick gesture recogniser that QScroller
// registers for the PDF view, and the render thread of QtPdf's page renderer.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:QScroller::grabGesture\n"
           "leak:QPdfPageRenderer::setRenderMode\n"
           // QtPdf keeps the loader state of a document read from a device.
           "leak:QPdfDocumentPrivate::initiateAsyncLoadWithTotalSizeKnown\n"
           "leak:QPdfDocumentPrivate::tryLoadDocument\n"
           // Now and then a thread's data block that QtCore allocates for a
           // QThread is still referenced by the ending thread when the process
           // exits. Only allocations made inside QtCore itself match this:
           // an object the program leaks is allocated from the program's frames.
           "leak:libQt6Core.so\n";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
