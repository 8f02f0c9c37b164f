#pragma once

#include "battery/BatteryWords.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <optional>
#include <string>

namespace rz417::meter {

// A bench meter asked from a thread of its own, so that a query waiting for its answer (up to
// two seconds) never holds the window. Each request is answered by a signal on the owner's
// thread; requests are taken in order.
class MeterThread : public QObject
{
    Q_OBJECT

public:
    explicit MeterThread(QObject *parent = nullptr);
    // Waits for a query under way, at most its timeout.
    ~MeterThread() override;

    // Connects and asks *IDN?: opened(serial, ...) follows. A meter open before is closed.
    void open(const battery::MeterAddress &address, int serial);
    // Asks the open meter: answered(serial, ...) follows.
    void ask(const std::string &query, int serial);
    void close();

signals:
    // identity: the answer to *IDN?; empty with why when the meter cannot be reached.
    void opened(int serial, const std::optional<std::string> &identity, const std::string &why);
    // answer: the line without its end; empty with why when none came.
    void answered(int serial, const std::optional<std::string> &answer, const std::string &why);

private:
    class Worker;
    QThread m_thread;
    Worker *m_worker;
};

} // namespace rz417::meter
