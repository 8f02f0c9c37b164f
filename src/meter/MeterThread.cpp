#include "meter/MeterThread.h"

#include "meter/Meters.h"

#include <memory>

namespace rz417::meter {

// Lives on the meter's thread, where its socket or serial port was made and is used.
class MeterThread::Worker : public QObject
{
public:
    std::unique_ptr<measure::Meter> meter;
};

MeterThread::MeterThread(QObject *parent) : QObject(parent), m_worker(new Worker)
{
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

MeterThread::~MeterThread()
{
    dropWaiting();
    m_thread.quit();
    m_thread.wait();
}

void MeterThread::dropWaiting()
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_generation;
    }
    m_wake.notify_all();
}

bool MeterThread::waitUntil(Time due, unsigned generation)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, due, [&] { return m_generation != generation; });
}

void MeterThread::open(const battery::MeterAddress &address, int serial)
{
    QMetaObject::invokeMethod(m_worker, [this, address, serial] {
        std::string why;
        std::string answer;
        m_worker->meter = greetMeter(address, answer, why);
        std::optional<std::string> identity;
        if (m_worker->meter)
            identity = answer;
        QMetaObject::invokeMethod(
            this, [this, serial, identity, why] { emit opened(serial, identity, why); },
            Qt::QueuedConnection);
    });
}

void MeterThread::ask(const std::string &query, int serial, Time due)
{
    unsigned generation;
    {
        const std::lock_guard lock(m_mutex);
        generation = m_generation;
    }
    QMetaObject::invokeMethod(m_worker, [this, query, serial, due, generation] {
        if (!waitUntil(due, generation))
            return;
        std::string why = "the meter is not open";
        std::optional<std::string> answer;
        if (m_worker->meter)
            answer = m_worker->meter->ask(query, why);
        const Time at = std::chrono::steady_clock::now();
        QMetaObject::invokeMethod(
            this, [this, serial, answer, why, at] { emit answered(serial, answer, why, at); },
            Qt::QueuedConnection);
    });
}

void MeterThread::close()
{
    dropWaiting();
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->meter.reset(); });
}

} // namespace rz417::meter
