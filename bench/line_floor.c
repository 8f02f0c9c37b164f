/* The floor under rz417ctl's one-shot: what any program must do to put one frame on a line.
 * Opens the device, sets 115200 baud 8N1 raw without flow control, writes six bytes, waits for
 * them to drain and closes.   line_floor DEVICE */
#include <fcntl.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 1;
    struct termios t;
    if (tcgetattr(fd, &t) != 0)
        return 1;
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag &= ~(tcflag_t)(CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return 1;
    if (write(fd, "6204D2", 6) != 6 || tcdrain(fd) != 0)
        return 1;
    return close(fd) == 0 ? 0 : 1;
}
