// The main of every test program: tests run with an application object (sockets, timers and
// dialogs need its event loop) on the system clock, and never touch the user's real
// configuration. The window tests get a QApplication on the offscreen platform, unless a
// display platform was asked for (as for screenshots under Xvfb). Tests install the prompt, the
// dialog host and the application state they use.

#include "platform/Clock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef TAVO_TEST_WIDGETS
#include <QApplication>
using CTestApplication = QApplication;
#else
#include <QCoreApplication>
using CTestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
#ifdef TAVO_TEST_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    QTemporaryDir config;
    qputenv("TAVO_CONFIG_HOME", config.path().toUtf8());
    CTestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
