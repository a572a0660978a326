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
#ifdef VORLANE_TEST_WITH_WIDGETS
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
