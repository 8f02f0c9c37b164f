#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace rz417 {

// Error codes in the conventions of the classic serial-communications API: small negative numbers
// for a failed open, otherwise a 16-bit word of error flags.
namespace CommCodes {
constexpr int16_t BadId = -1;       // no device at that port number
constexpr int16_t AlreadyOpen = -2; // held by us or by another program
constexpr int16_t NotOpen = -3;     // the device is gone or was never opened
constexpr int16_t BadSettings = -5; // settings string refused
constexpr int16_t NoHardware = -10; // the device vanished or failed at the OS level
constexpr int16_t BadByteSize = -11;
constexpr int16_t BadBaudRate = -12;
constexpr int16_t TxQueueFull = 0x0100; // a frame could not be written within the bounded wait
} // namespace CommCodes

// Raised by a serial control when a property write is refused.
class CommError : public std::runtime_error
{
public:
    CommError(int16_t code, const std::string &what, std::string refusal = {})
        : std::runtime_error(what), m_code(code), m_refusal(std::move(refusal))
    {
    }
    int16_t code() const { return m_code; }
    // Why a device would not open, its path first, in words a user can act on
    // ("/dev/ttyUSB0: permission denied (...)", "COM3: in use by another program"). Empty where
    // the user has nothing to act on (no device behind the number on Linux).
    const std::string &refusal() const { return m_refusal; }

    // A write that failed before any byte of it reached the driver: nothing of it can reach the
    // instrument. Without the mark a failed write may have gone out in part.
    CommError &markNothingSent()
    {
        m_nothingSent = true;
        return *this;
    }
    bool nothingSent() const { return m_nothingSent; }

private:
    int16_t m_code;
    std::string m_refusal;
    bool m_nothingSent = false;
};

// The serial-communications control: four write-only properties. A refused write raises CommError.
class CommControl
{
public:
    virtual ~CommControl() = default;
    virtual void setCommPort(int16_t port) = 0;
    virtual void setSettings(const std::string &settings) = 0;
    // Closing waits until every byte written has left the line, then releases the port. When
    // that wait fails, the port is released all the same and CommError is raised: the last bytes
    // may not have reached the instrument, a failed write.
    virtual void setPortOpen(bool open) = 0;
    // Sends the characters unchanged, one byte each; returns once all of them are on their way.
    virtual void setOutput(const std::string &data) = 0;
};

} // namespace rz417
