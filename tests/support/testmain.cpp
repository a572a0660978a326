// Test entry point: the control and the fake servers need an event loop, so every test binary
// runs inside one QCoreApplication (or QApplication for the window tests).
#include <QCoreApplication>
#ifdef VORLANE_TEST_WITH_WIDGETS
#include <QApplication>
#endif
#include <gtest/gtest.h>
#include <memory>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test binaries never need a real display; listing their tests must work without one too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Nor the session bus of whoever runs them: a test must not reach their keyring or show
    // notifications on their desktop. An address that leads nowhere, since without one the
    // programs would look for the bus in $XDG_RUNTIME_DIR. The desktop tests start a bus of
    // their own and name it to the programs they run.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/no-session-bus-in-tests");
#ifdef VORLANE_TEST_WITH_WIDGETS
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
