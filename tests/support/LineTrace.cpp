// Preloaded into rz417 or rz417ctl by the tests: logs, for every terminal device the process
// writes to, the writes, the drains, the changes of settings and the close, in the order the
// process makes them, one line each to the file named by RZ417_LINE_TRACE. A pseudo-terminal
// has no transmitter, so the order is what shows whether a frame could be cut off.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

template <typename F> F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using WriteFn = ssize_t (*)(int, const void *, size_t);
using CloseFn = int (*)(int);
using TcsetattrFn = int (*)(int, int, const struct termios *);
using TcdrainFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, void *);

void note(int fd, const char *event, long count = -1)
{
    if (fd <= 2 || !isatty(fd))
        return;
    const char *path = std::getenv("RZ417_LINE_TRACE");
    if (!path)
        return;
    char device[256];
    if (ttyname_r(fd, device, sizeof device) != 0)
        std::strcpy(device, "?");
    char line[400];
    const int n = count >= 0 ? std::snprintf(line, sizeof line, "%s %s %ld\n", device, event, count)
                             : std::snprintf(line, sizeof line, "%s %s\n", device, event);
    const int saved = errno;
    const int log = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (log >= 0) {
        next<WriteFn>("write")(log, line, static_cast<size_t>(n));
        next<CloseFn>("close")(log);
    }
    errno = saved;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *data, size_t size)
{
    const ssize_t written = next<WriteFn>("write")(fd, data, size);
    if (written > 0)
        note(fd, "write", static_cast<long>(written));
    return written;
}

int close(int fd)
{
    note(fd, "close");
    return next<CloseFn>("close")(fd);
}

int tcsetattr(int fd, int when, const struct termios *settings) noexcept
{
    note(fd, when == TCSANOW ? "settings-now" : "settings-after-drain");
    return next<TcsetattrFn>("tcsetattr")(fd, when, settings);
}

int tcdrain(int fd)
{
    const int result = next<TcdrainFn>("tcdrain")(fd);
    note(fd, result == 0 ? "drain" : "drain-failed");
    return result;
}

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    if (request == TCSETS || request == TCSETSF || request == TCSETSW)
        note(fd, request == TCSETS ? "settings-now" : "settings-after-drain");
    return next<IoctlFn>("ioctl")(fd, request, argument);
}

} // extern "C"
