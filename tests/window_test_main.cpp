// The window suites' main: one QApplication for the whole run, on the offscreen platform unless
// the environment names another (the suites also run under Xvfb with QT_QPA_PLATFORM=xcb).
#include "form/WindowTexts.h"
#include "window/QtPlatform.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no window system.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(quellmark::texts::kProductName));
    quellmark::InstallQtTranslations();  // as the program does
    return RUN_ALL_TESTS();
}
