#pragma once

#include <QString>

#include <initializer_list>

namespace rz417 {

// What the panel remembers from one run to the next. Only this record reads and writes these
// keys, under the names and in the formats earlier versions used, so that what a user chose is
// still found. The measured test window keeps its own fields, under a group for each kind
// ("battery/", "ocp/", ...), and the kind chosen last ("measured/kind").
struct PanelSettings
{
    // Each field, as a write names it.
    enum class Field { Journal, ProgramDir, RemoteAccept, RemoteAddress, RemoteWatchdog };

    QString journal;    // the journal file; empty for none
    QString programDir; // the folder of the last program file chosen
    bool remoteAccept = false;
    QString remoteAddress = QStringLiteral("127.0.0.1:5025"); // [ADDRESS:]TCPPORT
    QString remoteWatchdog; // the watchdog's delay in seconds as typed; empty for none

    // What is remembered now; a field never written has its value above.
    static PanelSettings read();
    // Writes the fields named and leaves the others as they are stored, which another panel
    // may have changed since this one read them.
    void write(std::initializer_list<Field> fields) const;
};

} // namespace rz417
