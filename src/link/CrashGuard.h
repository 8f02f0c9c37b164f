#pragma once

#include <cstdint>
#include <string_view>

namespace rz417::crashguard {

// A process that dies of a fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, and so abort() and
// std::terminate; on Windows an unhandled exception, std::terminate and abort()) leaves the load
// as it was. Its last act here is the input-off frame, when the input may be on: the handler
// finishes a frame cut short (or, when a write was under way, lets the line go quiet for the
// load to drop its start), writes the off frame to the line itself, says so in one line on
// standard error, and lets the process die as it would have, its status and core dump the
// system's. A handler can use only what was made ready before, in plain memory: the line's
// handle, the rest of a cut frame and whether the input may be on are kept here as the serial
// control, the line writer and the frame path change them.
//
// On POSIX systems Ctrl+Z (SIGTSTP) is refused while the input may be on: a process stopped
// meanwhile could neither go on with its run nor switch the input off.

// Installs the handlers for the process; program names it on standard error ("rz417ctl").
void install(const char *program);

// The line the handlers write to. owner is the serial control as the frame path knows it (its
// CommControl), handle its descriptor (POSIX) or HANDLE (Windows). The line opened last is the
// one guarded; closing must be told before the handle is closed.
void lineOpened(const void *owner, std::intptr_t handle);
void lineClosed(const void *owner);

// What the owner's frame path records: an input-on frame was written, or began to be, and no
// input-off frame went out whole after it.
void setInputMayBeOn(const void *owner, bool mayBeOn);
bool inputMayBeOn();

// Whatever a thread does with the owner's line (a write, an open, a close) lies within one. A
// dying process waits for it to end before it writes (a thread of its own is never waited
// for: the line is then given the quiet time instead); a thread that ends one in a dying
// process stops there for good, so that nothing follows the off frame. They nest.
class LineUse
{
public:
    explicit LineUse(const void *owner);
    ~LineUse();
    LineUse(const LineUse &) = delete;
    LineUse &operator=(const LineUse &) = delete;

private:
    bool m_held = false;
};

// The rest of a frame cut short that the owner's line writer still owes; set within a LineUse.
// finish false: the rest is not to be written (a cut input-on frame), only the quiet time kept.
void setOwed(const void *owner, std::string_view owed, bool finish = true);

// What the dying process did about the input: nothing to do, the off frame written whole, the
// line did not take it whole, or there was no line to write it to.
enum class LastAct { NothingOn, SwitchedOff, NotWhole, NoLine, AlreadyDone };

// For the handlers: the last act itself, once per process. A second death on the same thread
// (std::terminate, then its abort()) gets AlreadyDone; one on another thread waits for good.
LastAct switchOffForDeath();
// The line of standard error that says what was done, ready to write: "rz417ctl: fatal signal
// SIGSEGV; switched the input off (66FFFF)\n". cause names the death; empty for AlreadyDone and
// NothingOn, which are not worth a line.
std::string_view lastWords(LastAct act, const char *cause);

} // namespace rz417::crashguard
