#include "window/PanelSettings.h"

#include <QSettings>
#include <QVariant>

namespace rz417 {

namespace {

using Field = PanelSettings::Field;

QString keyOf(Field field)
{
    switch (field) {
    case Field::Journal:
        return QStringLiteral("journal");
    case Field::ProgramDir:
        return QStringLiteral("programDir");
    case Field::RemoteAccept:
        return QStringLiteral("remote/accept");
    case Field::RemoteAddress:
        return QStringLiteral("remote/address");
    case Field::RemoteWatchdog:
        return QStringLiteral("remote/watchdog");
    }
    return {};
}

QVariant valueOf(const PanelSettings &settings, Field field)
{
    switch (field) {
    case Field::Journal:
        return settings.journal;
    case Field::ProgramDir:
        return settings.programDir;
    case Field::RemoteAccept:
        return settings.remoteAccept;
    case Field::RemoteAddress:
        return settings.remoteAddress;
    case Field::RemoteWatchdog:
        return settings.remoteWatchdog;
    }
    return {};
}

} // namespace

PanelSettings PanelSettings::read()
{
    const QSettings stored;
    PanelSettings settings;
    const auto value = [&](Field field) {
        return stored.value(keyOf(field), valueOf(settings, field));
    };
    settings.journal = value(Field::Journal).toString();
    settings.programDir = value(Field::ProgramDir).toString();
    settings.remoteAccept = value(Field::RemoteAccept).toBool();
    settings.remoteAddress = value(Field::RemoteAddress).toString();
    settings.remoteWatchdog = value(Field::RemoteWatchdog).toString();
    return settings;
}

void PanelSettings::write(std::initializer_list<Field> fields) const
{
    QSettings stored;
    for (const Field field : fields)
        stored.setValue(keyOf(field), valueOf(*this, field));
}

} // namespace rz417
