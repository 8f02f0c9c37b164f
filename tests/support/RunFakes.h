#pragma once

#include "measure/MeasuredRun.h"
#include "program/ProgramRun.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace rz417::fakes {

// The clock stands where the last wait ended; a wait may be cut short by a signal.
struct FakeTime : Clock, Sleeper
{
    SteadyTime now() override { return t; }
    bool sleepUntil(SteadyTime until) override
    {
        if (waits++ == interruptAt)
            return false;
        sleeps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(until - start));
        t = std::max(t, until);
        return true;
    }
    bool interrupted() const override { return signalled; }
    const SteadyTime start{};
    SteadyTime t{};
    bool signalled = false;
    int waits = 0;
    int interruptAt = -1;
    std::vector<std::chrono::milliseconds> sleeps;
};

struct ScriptedMeter : measure::Meter
{
    // An answer per query, `delay` after it; "!" for none, "S" for a signal while it waits.
    std::optional<std::string> ask(const std::string &query, std::string &why) override
    {
        time->t += delay;
        queries.push_back(query);
        const std::string answer = next < answers.size() ? answers[next++] : "!";
        if (answer == "!" || answer == "S") {
            time->signalled = answer == "S";
            why = "no answer within 2 s";
            return std::nullopt;
        }
        return answer;
    }
    FakeTime *time = nullptr;
    std::chrono::milliseconds delay{0};
    std::vector<std::string> answers;
    std::size_t next = 0;
    std::vector<std::string> queries;
};

} // namespace rz417::fakes
