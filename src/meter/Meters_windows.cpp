// A meter on a serial line on Windows: the communications API, 8N1 without flow control (Qt
// SerialPort is not built for Windows here).
#include "meter/Meters.h"

#include <chrono>

#include <windows.h>

namespace rz417::meter {
namespace {

class SerialMeter : public measure::Meter
{
public:
    explicit SerialMeter(MeterStop stopped) : m_stopped(std::move(stopped)) {}
    ~SerialMeter() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }

    bool connect(const battery::MeterAddress &address, std::string &why)
    {
        const bool number = address.device.find_first_not_of("0123456789") == std::string::npos;
        const std::string name = "\\\\.\\" + (number ? "COM" + address.device : address.device);
        m_handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) {
            why =
                "cannot open " + name.substr(4) + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(m_handle, &dcb);
        dcb.BaudRate = static_cast<DWORD>(address.baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = dcb.fInX = FALSE;
        // Reads return what came within 100 ms; the two seconds are counted here.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = 100;
        timeouts.WriteTotalTimeoutConstant = kAnswerMs;
        if (!SetCommState(m_handle, &dcb) || !SetCommTimeouts(m_handle, &timeouts)) {
            why =
                name.substr(4) + " does not take 8N1 at " + std::to_string(address.baud) + " baud";
            return false;
        }
        return true;
    }

    std::optional<std::string> ask(const std::string &query, std::string &why) override
    {
        // A late answer or an extra line would be read as this query's answer.
        m_pending.clear();
        PurgeComm(m_handle, PURGE_RXCLEAR);
        const std::string text = query + "\n";
        DWORD written = 0;
        if (!WriteFile(m_handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            why = "the query could not be sent (error " + std::to_string(GetLastError()) + ")";
            return std::nullopt;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
        while (std::chrono::steady_clock::now() < end) {
            if (m_stopped && m_stopped()) {
                why = "stopped while the meter was asked";
                return std::nullopt;
            }
            if (const auto newline = m_pending.find('\n'); newline != std::string::npos) {
                std::string line = m_pending.substr(0, newline);
                m_pending.erase(0, newline + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            char buffer[256];
            DWORD got = 0;
            if (!ReadFile(m_handle, buffer, sizeof buffer, &got, nullptr)) {
                why = "the line failed (error " + std::to_string(GetLastError()) + ")";
                return std::nullopt;
            }
            m_pending.append(buffer, got);
        }
        why = noAnswerText();
        return std::nullopt;
    }

private:
    MeterStop m_stopped;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_pending;
};

} // namespace

std::unique_ptr<measure::Meter> connectSerialMeter(const battery::MeterAddress &address,
                                                   std::string &why, MeterStop stopped)
{
    auto meter = std::make_unique<SerialMeter>(std::move(stopped));
    return meter->connect(address, why) ? std::move(meter) : nullptr;
}

} // namespace rz417::meter
