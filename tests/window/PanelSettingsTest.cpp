// What the panel remembers: read from the keys and formats earlier versions wrote, so that a
// user's choices survive an update, and written field by field.
#include "window/PanelSettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <utility>

namespace rz417::test {
namespace {

using Field = PanelSettings::Field;

// Settings of this process alone: other tests, here or in another build, use the shared ones at
// the same time.
class OwnSettings
{
public:
    OwnSettings() : m_name(QCoreApplication::applicationName())
    {
        QCoreApplication::setApplicationName(
            QStringLiteral("RZ-417 settings test %1").arg(QCoreApplication::applicationPid()));
        QSettings().clear();
    }
    ~OwnSettings()
    {
        QString file;
        {
            QSettings settings;
            settings.clear();
            file = settings.fileName();
        }
        QFile::remove(file); // nothing where the settings are the registry's
        QCoreApplication::setApplicationName(m_name);
    }
    OwnSettings(const OwnSettings &) = delete;
    OwnSettings &operator=(const OwnSettings &) = delete;

private:
    QString m_name;
};

void expectFields(const PanelSettings &settings, const QString &journal, const QString &programDir,
                  bool accept, const QString &address, const QString &watchdog)
{
    EXPECT_EQ(settings.journal, journal);
    EXPECT_EQ(settings.programDir, programDir);
    EXPECT_EQ(settings.remoteAccept, accept);
    EXPECT_EQ(settings.remoteAddress, address);
    EXPECT_EQ(settings.remoteWatchdog, watchdog);
}

TEST(PanelSettings, ReadsWhatEarlierVersionsStored)
{
    const struct
    {
        const char *name;
        std::vector<std::pair<QString, QVariant>> stored;
        QString journal, programDir;
        bool accept;
        QString address, watchdog;
    } rows[] = {
        {"nothing yet", {}, "", "", false, "127.0.0.1:5025", ""},
        // As an INI file gives them back to the next run: text, "true" for a bool.
        {"all of it",
         {{"journal", "/home/u/load.csv"},
          {"programDir", "/home/u/programs"},
          {"remote/accept", "true"},
          {"remote/address", "0.0.0.0:5025"},
          {"remote/watchdog", "30"}},
         "/home/u/load.csv",
         "/home/u/programs",
         true,
         "0.0.0.0:5025",
         "30"},
        {"journal and remote control switched off, the address kept",
         {{"journal", QString()}, {"remote/accept", false}, {"remote/address", "[::1]:5025"}},
         "",
         "",
         false,
         "[::1]:5025",
         ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const OwnSettings own;
        for (const auto &[key, value] : row.stored)
            QSettings().setValue(key, value);
        expectFields(PanelSettings::read(), row.journal, row.programDir, row.accept, row.address,
                     row.watchdog);
    }
}

TEST(PanelSettings, WritesOnlyTheFieldsNamedUnderTheirKeys)
{
    const OwnSettings own;
    QSettings().setValue(QStringLiteral("remote/address"), QStringLiteral("10.0.0.1:5025"));
    PanelSettings settings;
    settings.journal = QStringLiteral("/home/u/load.csv");
    settings.programDir = QStringLiteral("/home/u/programs");
    settings.remoteAccept = true;
    settings.remoteWatchdog = QStringLiteral("30");
    settings.write({Field::Journal, Field::RemoteAccept, Field::RemoteWatchdog});

    const QSettings stored;
    EXPECT_EQ(stored.value(QStringLiteral("journal")).toString(), "/home/u/load.csv");
    EXPECT_TRUE(stored.value(QStringLiteral("remote/accept")).toBool());
    EXPECT_EQ(stored.value(QStringLiteral("remote/watchdog")).toString(), "30");
    EXPECT_FALSE(stored.contains(QStringLiteral("programDir")));
    EXPECT_EQ(stored.value(QStringLiteral("remote/address")).toString(), "10.0.0.1:5025");
    expectFields(PanelSettings::read(), "/home/u/load.csv", "", true, "10.0.0.1:5025", "30");
}

} // namespace
} // namespace rz417::test
