#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

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
    // Remembered choices (QSettings) go to a test location, never the user's: an INI file in a
    // folder of the process's own, on Windows too, where they would go to the registry. ctest runs
    // each test in a process of its own, several at once, so no test reads what another one
    // beside it remembered.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("QUENDA"));
    QCoreApplication::setApplicationName(QStringLiteral("RZ-417 tests"));
    const QTemporaryDir settings;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
