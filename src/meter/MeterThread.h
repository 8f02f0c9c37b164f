#pragma once

#include "battery/BatteryWords.h"

#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace rz417::meter {

// A bench meter asked from a thread of its own, so that a query waiting for its answer (up to
// two seconds) never holds the window, and a reading goes out at its due time to a fraction of a
// millisecond whatever the window is doing. Each request is answered by a signal on the owner's
// thread; requests are taken in order.
class MeterThread : public QObject
{
    Q_OBJECT

public:
    using Time = std::chrono::steady_clock::time_point;

    explicit MeterThread(QObject *parent = nullptr);
    // Waits for a query under way, at most its timeout; a query still waiting for its time is
    // dropped.
    ~MeterThread() override;

    // Connects and asks *IDN?: opened(serial, ...) follows. A meter open before is closed.
    void open(const battery::MeterAddress &address, int serial);
    // Asks the open meter at the time due: answered(serial, ...) follows.
    void ask(const std::string &query, int serial, Time due);
    // Closes the meter; queries still waiting for their time are dropped.
    void close();

signals:
    // identity: the answer to *IDN?; empty with why when the meter cannot be reached.
    void opened(int serial, const std::optional<std::string> &identity, const std::string &why);
    // answer: the line without its end, taken at `at`; empty with why when none came.
    void answered(int serial, const std::optional<std::string> &answer, const std::string &why,
                  Time at);

private:
    class Worker;
    // Sleeps until due on the meter's thread; false when a close came first.
    bool waitUntil(Time due, unsigned generation);
    void dropWaiting();

    QThread m_thread;
    Worker *m_worker;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    unsigned m_generation = 0; // moved on by close(): what waits for its time is dropped
};

} // namespace rz417::meter
