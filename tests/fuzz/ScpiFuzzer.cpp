// Any bytes, split into program messages at line feeds, run against the core: every frame is
// six hexadecimal characters the panel could send, every answer one printable line, the error
// queue never beyond 16 entries, and what a setpoint query answers lies in its mode's range.
#include "protocol/Modes.h"
#include "frames/ScpiLoad.h"
#include "scpi/Instrument.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Checks every frame it is given; every fourth write fails, as a line that went away would.
class AnyLine : public rz417::CommControl
{
public:
    void setCommPort(int16_t) override {}
    void setSettings(const std::string &) override {}
    void setPortOpen(bool) override {}
    void setOutput(const std::string &frame) override
    {
        if (frame.size() != 6 || frame.find_first_not_of("0123456789ABCDEF") != std::string::npos)
            std::abort();
        const int code = std::stoi(frame.substr(0, 2), nullptr, 16);
        if (code < 0x62 || code > 0x67)
            std::abort();
        if (++m_count % 4 == 0)
            throw rz417::CommError(rz417::CommCodes::NotOpen, "the device went away");
    }

private:
    int m_count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AnyLine line;
    rz417::FramePath path(&line);
    const std::string address = "127.0.0.1:5025";
    rz417::ScpiLoad load(path, address);
    rz417::scpi::Instrument instrument(load);
    rz417::scpi::ClientState client;
    const std::string_view all(reinterpret_cast<const char *>(data), size);
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t end = std::min(all.find('\n', start), all.size());
        const rz417::scpi::Reply reply = instrument.execute(all.substr(start, end - start), client);
        if (!reply.response.empty()) {
            if (reply.response.back() != '\n')
                std::abort();
            for (std::size_t i = 0; i + 1 < reply.response.size(); ++i) {
                const auto c = static_cast<unsigned char>(reply.response[i]);
                if (c < 0x20 || c >= 0x7F)
                    std::abort();
            }
        }
        if (client.errors.size() > rz417::scpi::ErrorQueue::kCapacity)
            std::abort();
        for (const rz417::ModeInfo &mode : rz417::modes()) {
            const auto sent = load.sent(mode.code);
            if (sent && (*sent < 0 || *sent > mode.rangeTop))
                std::abort();
        }
        start = end + 1;
    }
    return 0;
}
