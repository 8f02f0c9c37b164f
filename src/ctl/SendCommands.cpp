#include "ctl/Commands.h"
#include "ctl/Session.h"

#include <algorithm>

namespace rz417::cli {

int sendCommands(const Invocation &invocation)
{
    Session session(invocation);
    for (const std::string &notice : planNotices(invocation.commands))
        session.notice(notice);
    if (const int status = session.prepare())
        return status;

    const std::vector<PlannedFrame> planned = planFrames(invocation.commands);
    const FrameSource from;
    auto where = [&](const PlannedFrame &p) {
        return "'" + invocation.commands[p.command].text + "'";
    };
    // The line opens before the first command, so that a port that will not open is known
    // at once and not after a wait; commands that only wait need no line.
    for (const PlannedFrame &p : planned) {
        if (p.frame.empty())
            continue;
        if (const int status = session.openLine(p.frame, p.meaning, from, where(p)))
            return status;
        break;
    }
    // Commands that wait with the input on ("on wait 3600 off") are a run: the host's sleep is
    // held off meanwhile.
    if (!invocation.dryRun && std::any_of(planned.begin(), planned.end(),
                                          [](const PlannedFrame &p) { return p.frame.empty(); }))
        session.holdSleep(RunSleepHold::Until::RunEnds);
    // A dry run prints each frame at the time it would go out.
    auto at = std::chrono::system_clock::now();
    for (const PlannedFrame &p : planned) {
        // The input goes off first; what interrupted the commands is said after it.
        if (session.watch().caught() != 0) {
            session.switchOffIfOn(from);
            return session.finish(session.interruptedStatus(where(p)));
        }
        if (p.frame.empty()) {
            if (invocation.dryRun) {
                at += p.wait;
            } else if (!session.watch().sleepUntil(SteadyClock().now() + p.wait)) {
                session.switchOffIfOn(from);
                return session.finish(session.interruptedStatus(where(p)));
            }
            continue;
        }
        if (invocation.dryRun) {
            session.frames().send(p.frame, p.meaning, from, at);
            continue;
        }
        if (!session.send(p.frame, p.meaning, from, where(p))) {
            session.switchOffIfOn(from);
            return session.finish(kExitFailed);
        }
    }
    if (session.watch().caught() != 0) {
        // The last frame went out; the input stays as the commands left it only when they ran
        // to their end undisturbed.
        session.switchOffIfOn(from);
        return session.finish(session.interruptedStatus("the end"));
    }
    return session.finish(kExitSent);
}

} // namespace rz417::cli
