#include "power/SleepInhibitors.h"

#include <windows.h>

namespace rz417 {

namespace {

// The execution state of the thread that holds it: the system does not sleep on its own while
// it says so. Held and let go on the same thread, the one the run goes on.
class ExecutionStateInhibitor : public SleepInhibitor
{
public:
    std::optional<std::string> hold() override
    {
        if (::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0)
            return std::string("the system refused to stay awake");
        return std::nullopt;
    }

    std::optional<std::string> release() override
    {
        ::SetThreadExecutionState(ES_CONTINUOUS);
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<SleepInhibitor> hostSleepInhibitor(const std::string &)
{
    return std::make_unique<ExecutionStateInhibitor>();
}

} // namespace rz417
