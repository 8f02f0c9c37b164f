#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // The window tests need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef RZ417_TEST_FONT_DIR
    // Qt's offscreen platform on Windows takes its fonts from one folder, by default one beside
    // Qt that holds none; without fonts no text has a width to check.
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
        qputenv("QT_QPA_FONTDIR", RZ417_TEST_FONT_DIR);
#endif
    QApplication app(argc, argv);
    // Remembered choices (QSettings) go to a test location, never the user's. Windows keeps them
    // in the registry, which the test mode leaves alone, and refuses them without a name: the
    // tests' own names keep them apart from the panel's.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("QUENDA"));
    QCoreApplication::setApplicationName(QStringLiteral("RZ-417 tests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
