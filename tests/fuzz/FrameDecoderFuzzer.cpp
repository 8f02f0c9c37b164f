// Whatever bytes reach the simulator, in whatever pieces and with whatever pauses: every byte
// comes out exactly once, in order, and every frame called valid is six characters.
#include "FrameDecoder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using rz417::sim::FrameDecoder;
    FuzzedDataProvider input(data, size);
    FrameDecoder decoder;
    FrameDecoder::Clock::time_point now{};
    std::string sent;
    std::string decoded;
    const auto take = [&](const rz417::sim::Frame &frame) {
        if (frame.valid && frame.bytes.size() != FrameDecoder::kFrameLength)
            std::abort();
        if (frame.bytes.empty())
            std::abort();
        decoded += frame.bytes;
    };

    while (input.remaining_bytes() > 0) {
        now += std::chrono::milliseconds(input.ConsumeIntegralInRange<int>(0, 80));
        if (input.ConsumeBool()) {
            if (const auto frame = decoder.expire(now))
                take(*frame);
            continue;
        }
        const std::string piece = input.ConsumeRandomLengthString(16);
        sent += piece;
        for (const auto &frame : decoder.feed(piece, now))
            take(frame);
    }
    if (const auto frame = decoder.flush())
        take(*frame);
    if (decoded != sent || decoder.hasPending())
        std::abort();
    return 0;
}
