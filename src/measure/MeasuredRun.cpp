#include "measure/MeasuredRun.h"

namespace rz417::measure {

RunResult runMeasured(MeasuredRun &run, Meter *meter, FrameOut &out, Clock &clock, Sleeper &sleeper,
                      ReadingSink &sink)
{
    if (auto failed = run.begin(out, [&sleeper] { return sleeper.interrupted(); }))
        return *failed;
    const SteadyTime start = clock.now();
    for (;;) {
        if (!sleeper.sleepUntil(start + run.nextDue()))
            return {RunEnd::Interrupted, {}};
        std::string why;
        const auto answer = meter && run.metered() ? meter->ask(run.query(), why) : std::nullopt;
        // A signal during the query: the meter's answer, or its silence, is not counted.
        if (sleeper.interrupted())
            return {RunEnd::Interrupted, {}};
        if (const auto end = run.take(answer, why, clock.now() - start, out))
            return *end;
        if (!sink.reading(run, why))
            return {RunEnd::LogFailed, why};
    }
}

} // namespace rz417::measure
