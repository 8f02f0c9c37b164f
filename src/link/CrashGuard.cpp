#include "link/CrashGuard.h"

#include "link/CrashGuardSystem.h"
#include "link/LineWriter.h"
#include "protocol/Frame.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>

namespace rz417::crashguard {

namespace {

// Who uses the line: nobody, a thread within a LineUse, or a dying process.
enum Phase : int { kIdle = 0, kInUse = 1, kDying = 2 };

// Everything here is read by a fault handler: lock-free atomics and plain buffers, written
// before the atomics that publish them.
std::atomic<const void *> g_owner{nullptr};
std::atomic<std::intptr_t> g_handle{system::kNoHandle};
std::atomic<bool> g_mayBeOn{false};
std::atomic<int> g_phase{kIdle};
std::atomic<std::uint64_t> g_user{0};   // the thread within the LineUse
std::atomic<bool> g_userStopped{false}; // ...which has come out of it and stopped for good
std::atomic<std::uint64_t> g_dying{0};  // the thread that does the last act
// The rest of a cut frame; -1 when it is not to be written (too long to keep, or the rest of an
// input-on frame), and the line gets only the quiet time.
char g_owed[32];
std::atomic<int> g_owedSize{0};
thread_local int t_uses = 0;
static_assert(std::atomic<const void *>::is_always_lock_free &&
                  std::atomic<std::intptr_t>::is_always_lock_free &&
                  std::atomic<std::uint64_t>::is_always_lock_free &&
                  std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "a fault handler may read only lock-free atomics");

// Made ready by install(): the off frame and the texts around it.
char g_offFrame[8] = {};
std::size_t g_offSize = 0;
char g_program[48] = "rz417";
char g_words[256];

// How long a dying process waits for another thread's write: the line writer's bounded wait,
// the rest of a cut frame before it, and the pause after that rest.
constexpr int kOtherWriteMs = 2500;
// The line carries what was written in at most kAhead; then the load's receiver drops a
// partial frame after kQuiet.
constexpr int kQuietMs = static_cast<int>((LineWriter::kAhead + LineWriter::kQuiet).count());
constexpr int kWriteMs = 1000;

bool guarded(const void *owner)
{
    return owner != nullptr && owner == g_owner.load();
}

// Waits for the thread within a LineUse to come out of it; false when it did not in time.
bool otherUseEnded()
{
    for (int waited = 0; waited < kOtherWriteMs; ++waited) {
        if (g_userStopped.load())
            return true;
        system::sleepMs(1);
    }
    return false;
}

// Appends text to g_words from at, within its size; returns the new end.
std::size_t append(std::size_t at, const char *text)
{
    const std::size_t n = std::strlen(text);
    const std::size_t room = sizeof g_words - 1 - at;
    const std::size_t take = n < room ? n : room;
    std::memcpy(g_words + at, text, take);
    return at + take;
}

std::terminate_handler g_previousTerminate = nullptr;

void onTerminate()
{
    // The off frame before anything is said; the runtime's own handler then says what was
    // thrown, and aborts.
    const std::string_view words =
        lastWords(switchOffForDeath(), "uncaught exception (std::terminate)");
    system::writeError(words.data(), words.size());
    if (g_previousTerminate)
        g_previousTerminate();
    std::abort();
}

} // namespace

void install(const char *program)
{
    const std::string off = inputFrame(false);
    g_offSize = std::min(off.size(), sizeof g_offFrame);
    std::memcpy(g_offFrame, off.data(), g_offSize);
    std::strncpy(g_program, program, sizeof g_program - 1);
    g_program[sizeof g_program - 1] = '\0';
    system::installHandlers(g_program);
    g_previousTerminate = std::set_terminate(onTerminate);
}

void lineOpened(const void *owner, std::intptr_t handle)
{
    if (owner != g_owner.load()) {
        // Another line: nothing was sent on it yet.
        g_mayBeOn = false;
        g_owedSize = 0;
        g_owner = owner;
    }
    g_handle = handle;
}

void lineClosed(const void *owner)
{
    if (guarded(owner))
        g_handle = system::kNoHandle;
}

void setInputMayBeOn(const void *owner, bool mayBeOn)
{
    if (guarded(owner))
        g_mayBeOn = mayBeOn;
}

bool inputMayBeOn()
{
    return g_mayBeOn.load() && g_handle.load() != system::kNoHandle;
}

LineUse::LineUse(const void *owner)
{
    if (!guarded(owner))
        return;
    m_held = true;
    if (t_uses++ > 0)
        return;
    for (int expected = kIdle; !g_phase.compare_exchange_strong(expected, kInUse);
         expected = kIdle) {
        if (expected == kDying)
            system::park();
        std::this_thread::yield(); // another thread's use of the same line
    }
    g_user = system::threadId();
}

LineUse::~LineUse()
{
    if (!m_held || --t_uses > 0)
        return;
    int expected = kInUse;
    if (!g_phase.compare_exchange_strong(expected, kIdle)) {
        // The process is dying and waits for this: nothing more from here.
        g_userStopped = true;
        system::park();
    }
}

void setOwed(const void *owner, std::string_view owed, bool finish)
{
    if (!guarded(owner))
        return;
    if (!owed.empty() && (!finish || owed.size() > sizeof g_owed)) {
        g_owedSize = -1;
        return;
    }
    std::memcpy(g_owed, owed.data(), owed.size());
    g_owedSize = static_cast<int>(owed.size());
}

LastAct switchOffForDeath()
{
    const std::uint64_t self = system::threadId();
    const int before = g_phase.exchange(kDying);
    if (before == kDying) {
        if (g_dying.load() == self)
            return LastAct::AlreadyDone;
        system::park();
    }
    g_dying = self;
    bool owedKnown = true;
    if (before == kInUse && (g_user.load() == self || !otherUseEnded())) {
        // A write was under way and how much of it the line took is not known: after a pause
        // the load has dropped what it read of that frame.
        system::sleepMs(kQuietMs);
        owedKnown = false;
    }
    if (!g_mayBeOn.load())
        return LastAct::NothingOn;
    const std::intptr_t handle = g_handle.load();
    if (handle == system::kNoHandle)
        return LastAct::NoLine;
    const int owed = g_owedSize.load();
    if (owedKnown && owed != 0) {
        // The rest of the cut frame first, as the line writer would: read whole, or dropped
        // after the pause, never glued to the off frame.
        if (owed > 0)
            system::writeWhole(handle, g_owed, static_cast<std::size_t>(owed), kWriteMs);
        system::sleepMs(kQuietMs);
    }
    return system::writeWhole(handle, g_offFrame, g_offSize, kWriteMs) ? LastAct::SwitchedOff
                                                                       : LastAct::NotWhole;
}

std::string_view lastWords(LastAct act, const char *cause)
{
    if (act == LastAct::NothingOn || act == LastAct::AlreadyDone)
        return {};
    std::size_t at = append(0, g_program);
    at = append(at, ": ");
    at = append(at, cause);
    switch (act) {
    case LastAct::SwitchedOff:
        at = append(at, "; switched the input off (");
        break;
    case LastAct::NotWhole:
        at = append(at, "; could not switch the input off: the line did not take ");
        break;
    default:
        at = append(at, "; the line is not open: the input may still be on\n");
        return {g_words, at};
    }
    const std::size_t frame = at;
    std::memcpy(g_words + at, g_offFrame, std::min(g_offSize, sizeof g_words - 1 - at));
    at = std::min(frame + g_offSize, sizeof g_words - 1);
    at = append(at, act == LastAct::SwitchedOff ? ")\n" : " whole; it may still be on\n");
    return {g_words, at};
}

} // namespace rz417::crashguard
