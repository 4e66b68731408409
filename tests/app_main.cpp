// The main of the suites that need a QApplication: one for every test, as in norvex, where the
// launcher and the checks run on the event loop. Headless unless told otherwise, also when CTest
// only lists the tests.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef Q_OS_WIN
    // Windows has no offscreen platform without FreeType; Wine shows the windows on Xvfb.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "windows");
#else
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
