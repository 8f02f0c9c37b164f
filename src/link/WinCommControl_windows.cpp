#include "link/WinCommControl_windows.h"

#include "link/CrashGuard.h"
#include "protocol/WindowsText_windows.h"

#include <algorithm>

namespace rz417 {

namespace {

BYTE toDcb(Parity parity)
{
    switch (parity) {
    case Parity::Even:
        return EVENPARITY;
    case Parity::Odd:
        return ODDPARITY;
    case Parity::Mark:
        return MARKPARITY;
    case Parity::Space:
        return SPACEPARITY;
    case Parity::None:
    default:
        return NOPARITY;
    }
}

BYTE toDcb(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return ONE5STOPBITS;
    case StopBits::Two:
        return TWOSTOPBITS;
    case StopBits::One:
    default:
        return ONESTOPBIT;
    }
}

// What the user can do about a refused open, in the system's words.
std::string refusalReason(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "in use by another program";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such port";
    default:
        return "could not be opened: " + windows::errorText(error);
    }
}

bool timedOut(DWORD error)
{
    return error == ERROR_SEM_TIMEOUT || error == ERROR_TIMEOUT || error == WAIT_TIMEOUT;
}

} // namespace

WinCommControl::WinCommControl(PortMap ports, const WinCommApi &api)
    : SerialControl(std::move(ports)), m_api(api)
{
}

WinCommControl::~WinCommControl()
{
    release();
}

void WinCommControl::applyNewSettings()
{
    if (!applySettings())
        throw CommError(CommCodes::BadSettings, "the device refused the settings");
}

void WinCommControl::setPortOpen(bool open)
{
    if (open) {
        if (m_portOpen)
            throw CommError(CommCodes::AlreadyOpen, "port already open");
        if (portName().empty())
            throw CommError(CommCodes::BadId, "no device at this port number");
        if (!openDevice()) {
            // No port behind the number is nothing the user can act on, as an absent device is
            // not on Linux: the start-up scan does not list the numbers it found empty.
            if (m_absent)
                throw CommError(CommCodes::NoHardware, m_lastRefusal);
            throw CommError(CommCodes::NoHardware, "the device did not open",
                            portName() + ": " + m_lastRefusal);
        }
        m_portOpen = true;
        return;
    }

    if (!m_portOpen)
        return;
    m_portOpen = false;
    if (!isDeviceOpen())
        return; // lost earlier; nothing left to release
    const crashguard::LineUse use(guardKey());
    // Every byte written leaves the line before the port goes: a frame cut short by the close
    // would reach the instrument as garbage.
    if (!m_writer.finish(*this, m_writeTimeout)) {
        closeDevice();
        throw CommError(CommCodes::NoHardware,
                        "the line did not take the rest of a frame cut short before closing");
    }
    const bool drained = m_api.flushFileBuffers(m_handle) != FALSE;
    const DWORD error = drained ? 0 : m_api.getLastError();
    closeDevice();
    if (!drained) {
        throw CommError(CommCodes::NoHardware,
                        "draining the line before closing failed: " + windows::errorText(error));
    }
}

void WinCommControl::beforeWrite()
{
    // The link is one-way: whatever the instrument sent is thrown away unread.
    m_api.purgeComm(m_handle, PURGE_RXCLEAR);
}

ByteLine::Outcome WinCommControl::put(std::string_view data, LineTime deadline,
                                      std::size_t &accepted, std::string &why)
{
    // The driver gives up at its write timeout: the time left until the deadline.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const DWORD timeout =
        static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
    if (timeout != m_appliedTimeout) {
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = timeout;
        if (m_api.setCommTimeouts(m_handle, &timeouts))
            m_appliedTimeout = timeout;
    }
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(data.size());
    const bool ok = m_api.writeFile(m_handle, data.data(), size, &written) != FALSE;
    accepted = written;
    if (ok && written == size)
        return Outcome::Whole;
    const DWORD error = ok ? 0 : m_api.getLastError();
    // What the driver took of a timed-out write is on its way; the line writer finishes the frame.
    if (ok || timedOut(error))
        return Outcome::Stalled;
    why = windows::errorText(error);
    closeDevice();
    return Outcome::Lost;
}

bool WinCommControl::release()
{
    bool drained = true;
    if (isDeviceOpen()) {
        const crashguard::LineUse use(guardKey());
        const bool finished = m_writer.finish(*this, m_writeTimeout);
        drained = m_api.flushFileBuffers(m_handle) != FALSE && finished;
        closeDevice();
    }
    m_portOpen = false;
    return drained;
}

bool WinCommControl::openDevice()
{
    const crashguard::LineUse use(guardKey());
    const std::string name = portName();
    // The \\.\ form is the one that reaches COM10 and above.
    const std::wstring path = windows::wide(name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\" + name);
    m_handle = m_api.createFile(path.c_str());
    m_absent = false;
    if (m_handle == INVALID_HANDLE_VALUE) {
        const DWORD error = m_api.getLastError();
        m_absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        m_lastRefusal = refusalReason(error);
        return false;
    }
    if (!applySettings()) {
        m_lastRefusal = "refused the line settings: " + windows::errorText(m_api.getLastError());
        closeDevice();
        return false;
    }
    m_api.purgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    m_writer.reset();
    crashguard::lineOpened(guardKey(), reinterpret_cast<std::intptr_t>(m_handle));
    return true;
}

bool WinCommControl::applySettings()
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!m_api.getCommState(m_handle, &dcb))
        return false;
    dcb.BaudRate = static_cast<DWORD>(m_settings.baudRate);
    dcb.ByteSize = static_cast<BYTE>(m_settings.dataBits);
    dcb.Parity = toDcb(m_settings.parity);
    dcb.StopBits = toDcb(m_settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = m_settings.parity != Parity::None;
    // No flow control of either kind: the instrument has no handshake lines to answer.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!m_api.setCommState(m_handle, &dcb))
        return false;
    COMMTIMEOUTS timeouts = {};
    // Reads return at once (nothing is ever read); a write gives up after the bounded wait.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(m_writeTimeout.count());
    m_appliedTimeout = timeouts.WriteTotalTimeoutConstant;
    return m_api.setCommTimeouts(m_handle, &timeouts) != FALSE;
}

void WinCommControl::closeDevice()
{
    const crashguard::LineUse use(guardKey());
    crashguard::lineClosed(guardKey());
    if (isDeviceOpen())
        m_api.closeHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

std::string WinCommControl::portName() const
{
    return m_ports.path(m_commPort);
}

} // namespace rz417
