"""What the Python tests of whole programs share: failures and waits, a serial line on a
pseudo-terminal, the frames and journal lines it carries, the line tracer's events, a private
X server driven with xdotool, and private D-Bus daemons: a system bus with a fake logind, a
session bus whose accessibility bus reads a window's texts.

The test drivers put this folder on their path:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
"""

import fcntl
import json
import os
import pty
import re
import select
import signal
import socket
import struct
import subprocess
import tempfile
import termios
import threading
import time
import zlib

# How long any one thing may take before a case fails: generous, since CI may be busy.
DEADLINE = 30.0
STARTED = time.monotonic()


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    """Progress with the time since start, shown by CTest when a case fails."""
    print("%7.2f  %s" % (time.monotonic() - STARTED, message), flush=True)


def wait_until(what, probe, deadline=DEADLINE, interval=0.05):
    """Calls probe until it returns something true, and returns that."""
    end = time.monotonic() + deadline
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run_case(cases, name, *args):
    """Runs one case: "ok", or "FAIL: why" (which CTest looks for), and the exit status."""
    try:
        cases[name](*args)
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    print("ok")
    return 0


class FakeMeter:
    """A meter on a loopback socket: *IDN? (after idn_delay seconds), then the given readings
    (a reading may hold several lines); after them it says nothing ("silent"), "OVLD"
    ("garbage"), or a digit every half second and never a line's end ("trickle")."""

    def __init__(self, readings, after="silent", idn_delay=0.0):
        self.readings = list(readings)
        self.after = after
        self.idn_delay = idn_delay
        self.greeted = False
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.asked = 0
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        conn, _ = self.server.accept()
        pending = b""
        while True:
            data = conn.recv(1024)
            if not data:
                return
            pending += data
            while b"\n" in pending:
                query, pending = pending.split(b"\n", 1)
                if query == b"*IDN?":
                    self.greeted = True
                    time.sleep(self.idn_delay)
                    conn.sendall(b"FAKE,DMM,1,1.0\n")
                    continue
                self.asked += 1
                if self.readings:
                    conn.sendall(b"%s\n" % self.readings.pop(0).encode())
                elif self.after == "garbage":
                    conn.sendall(b"OVLD\n")
                elif self.after == "trickle":
                    for digit in b"3.8000000000":
                        conn.sendall(bytes([digit]))
                        time.sleep(0.5)


class MeterSim:
    """rz417-sim with a source (its options, e.g. "--supply", "12,2.5") and its meter; the
    frames it decoded in its output."""

    def __init__(self, sim, *source):
        self.workdir = tempfile.mkdtemp(prefix="rz417-meter-")
        self.link = os.path.join(self.workdir, "port")
        self.proc = subprocess.Popen([sim, "--link", self.link, *source, "--meter", "0"],
                                     stdout=subprocess.PIPE, text=True)
        self.lines = [self.proc.stdout.readline(), self.proc.stdout.readline()]
        self.meter = self.lines[1].strip().split(" ", 1)[1]
        self.path = self.link

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        out, _ = self.proc.communicate(timeout=DEADLINE)
        return out

    @staticmethod
    def frames(out):
        return [line.split()[1] for line in out.splitlines() if line[:1].isdigit() and
                len(line.split()) > 1 and len(line.split()[1]) == 6]


class Line:
    """A pseudo-terminal: the program opens the slave path, the test reads the master side."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.path = os.ttyname(self.slave)
        # Raw, so that the bytes arrive as written until the program sets the line up itself.
        attrs = termios.tcgetattr(self.slave)
        attrs[3] &= ~(termios.ICANON | termios.ECHO)
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        fcntl.fcntl(self.master, fcntl.F_SETFL, os.O_NONBLOCK)
        self.received = b""

    def read(self, timeout=0.0):
        end = time.monotonic() + timeout
        while True:
            ready, _, _ = select.select([self.master], [], [], max(0.0, end - time.monotonic()))
            if ready:
                try:
                    data = os.read(self.master, 4096)
                except OSError:
                    data = b""
                if data:
                    self.received += data
                    continue
            if time.monotonic() >= end:
                return self.received

    def wait_for(self, data, timeout=DEADLINE):
        end = time.monotonic() + timeout
        while data not in self.received:
            check(time.monotonic() < end, "timed out waiting for %r; got %r" % (data, self.received))
            self.read(0.02)

    def vanish(self):
        """The far end goes away, as an unplugged adapter does."""
        os.close(self.master)
        os.close(self.slave)
        self.master = self.slave = -1

    def settings(self):
        return termios.tcgetattr(self.slave)

    def close(self):
        for fd in (self.master, self.slave):
            if fd >= 0:
                os.close(fd)


def frames_of(data):
    return [data[i:i + 6].decode() for i in range(0, len(data), 6)]


def journal_rows(path):
    """A journal's lines, split into their fields, each checked to be whole."""
    with open(path, newline="") as f:
        text = f.read()
    check(text.endswith("\n"), "the journal ends inside a line: %r" % text[-80:])
    lines = text.splitlines()
    check(lines[0] == "time,source,step,line,frame,meaning,result", "header %r" % lines[0])
    rows = [l.split(",") for l in lines[1:]]
    stamp = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
    for row in rows:
        check(len(row) == 7 and stamp.match(row[0]) and re.fullmatch("[0-9A-F]{6}", row[4]),
              "not a whole journal line: %r" % ",".join(row))
    return rows


def traced_env(tracer, trace):
    """The environment that preloads the line tracer (tests/support/LineTrace.cpp), logging to
    the file trace."""
    return {"LD_PRELOAD": tracer, "RZ417_LINE_TRACE": trace,
            # The tracer comes before a sanitized build's runtime in the list of libraries.
            "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"}


def line_events(trace, device):
    """What the tracer saw happen on one device: write, drain, settings-now, close, ..."""
    with open(trace) as f:
        return [l.split()[1] for l in f if l.split()[0] == device]


def check_drained(events, what):
    """The device was closed, and every write had left the line before a change of its settings
    or its close."""
    check(events and events[-1] == "close", "%s: not closed: %r" % (what, events))
    pending = False
    for event in events:
        if event == "write":
            pending = True
        elif event == "drain":
            pending = False
        elif event == "drain-failed":
            raise Failure("%s: the drain failed: %r" % (what, events))
        elif event in ("settings-now", "close"):
            check(not pending, "%s: %s before the written bytes left: %r" % (what, event, events))


class Display:
    """A private Xvfb whose screen is also kept as an XWD file, for screenshots."""

    def __init__(self, workdir, screen="1400x900"):
        self.size = tuple(int(n) for n in screen.split("x"))
        self.fbdir = os.path.join(workdir, "fb")
        os.mkdir(self.fbdir)
        read_end, write_end = os.pipe()
        # -displayfd lets the server take the first free display number and tell us which.
        # -noreset: by default the server resets whenever its last client goes, and turns away
        # whoever connects meanwhile; every xdotool call is such a client.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen + "x24",
             "-nolisten", "tcp", "-noreset", "-fbdir", self.fbdir],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(workdir, "xvfb.log"), "wb"))
        os.close(write_end)
        number = b""
        end = time.monotonic() + DEADLINE
        while not number.endswith(b"\n"):
            if time.monotonic() > end or self.process.poll() is not None:
                raise Failure("Xvfb did not start; see xvfb.log")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise Failure("Xvfb did not report its display number")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        log("Xvfb on " + self.name)

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env.pop("WAYLAND_DISPLAY", None)
        # scripts/test runs everything offscreen; these cases need the real X server.
        env["QT_QPA_PLATFORM"] = "xcb"
        return env

    def xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool", *args], env=self.env(), stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=DEADLINE)
        if check and result.returncode != 0:
            raise Failure("xdotool %s failed: %s" % (" ".join(args), result.stderr.strip()))
        return result

    def visible_windows(self, title):
        result = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title, check=False)
        return [line for line in result.stdout.split() if line]

    def geometry(self, window):
        result = self.xdotool("getwindowgeometry", "--shell", window, check=False)
        values = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
        try:
            return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))
        except (KeyError, ValueError):
            return None

    def press_return_on(self, window):
        # No window manager here: give the box the keyboard focus ourselves.
        self.xdotool("windowfocus", "--sync", window, check=False)
        self.xdotool("key", "Return")

    def screenshot(self, path, crop):
        xwd_to_png(os.path.join(self.fbdir, "Xvfb_screen0"), path, crop)

    def colours(self, crop):
        """The distinct colours on the screen in (x, y, width, height): one where nothing is
        drawn on a background."""
        rows = xwd_rows(os.path.join(self.fbdir, "Xvfb_screen0"), crop)
        return {pixel for row in rows for pixel in row}

    def close(self):
        stop(self.process)


def answer_boxes(display, answered):
    """Presses Return on each box of the panel that shows, once, and again if it is still there
    after a while (a key that came before the box was ready). Returns whether any box shows."""
    boxes = display.visible_windows("Electronic Load")
    now = time.monotonic()
    for box in boxes:
        if now - answered.get(box, -10.0) > 3.0:
            log("Return on box %s" % box)
            answered[box] = now
            display.press_return_on(box)
    return bool(boxes)


def visa(port, host="127.0.0.1"):
    """A PyVISA (pyvisa-py) raw socket session with the SCPI server on port."""
    import pyvisa
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource("TCPIP::%s::%d::SOCKET" % (host, port))
    inst.read_termination = "\n"
    inst.write_termination = "\n"
    inst.timeout = DEADLINE * 1000
    return rm, inst


def xwd_rows(source, crop):
    """Xvfb's 32-bit XWD screen file cropped to (x, y, width, height): rows of (r, g, b)."""
    data = open(source, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, byte_order, bits_per_pixel, bytes_per_line = (header[0], header[7], header[11],
                                                               header[12])
    masks, colours = header[14:17], header[19]
    if bits_per_pixel != 32:
        raise Failure("screen has %d bits per pixel" % bits_per_pixel)
    offset = header_size + colours * 12
    shifts = [(mask & -mask).bit_length() - 1 for mask in masks]
    x0, y0, width, height = crop
    endian = "<" if byte_order == 0 else ">"
    rows = []
    for y in range(y0, y0 + height):
        start = offset + y * bytes_per_line + x0 * 4
        pixels = struct.unpack("%s%dI" % (endian, width), data[start:start + width * 4])
        rows.append([tuple((pixel & mask) >> shift for mask, shift in zip(masks, shifts))
                     for pixel in pixels])
    return rows


def xwd_to_png(source, target, crop):
    """Converts Xvfb's 32-bit XWD screen file to an RGB PNG, cropped to (x, y, width, height)."""
    width, height = crop[2], crop[3]
    rows = [b"\0" + bytes(c for pixel in row for c in pixel) for row in xwd_rows(source, crop)]

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(target, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" +
                  chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


class SystemBus:
    """A private D-Bus daemon that stands in for the system bus (DBUS_SYSTEM_BUS_ADDRESS), with
    the fake logind of fake_logind.py on it unless logind=False. events() are its lines."""

    def __init__(self, workdir, logind=True):
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
             "--address=unix:path=" + os.path.join(workdir, "system_bus_socket")],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            text=True)
        self.address = self.daemon.stdout.readline().strip()
        check(self.address.startswith("unix:"), "dbus-daemon gave no address")
        self.logind = None
        self.lines = []
        if logind:
            here = os.path.dirname(os.path.abspath(__file__))
            self.logind = subprocess.Popen(
                ["/usr/bin/python3", os.path.join(here, "fake_logind.py"), self.address],
                stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
            threading.Thread(target=self._read, daemon=True).start()
            wait_until("the fake logind", lambda: "ready" in self.lines)

    def _read(self):
        for line in self.logind.stdout:
            self.lines.append(line.rstrip("\n"))

    def env(self):
        return {"DBUS_SYSTEM_BUS_ADDRESS": self.address}

    def events(self):
        return [l.split(" @")[0] for l in list(self.lines) if l != "ready"]

    def times(self):
        """When each event happened, in Python's time.time()."""
        return [float(l.split(" @")[1]) for l in list(self.lines) if l != "ready"]

    def close(self):
        for process in (self.logind, self.daemon):
            if process:
                process.kill()
                process.wait()


class AccessibilityBus:
    """A private session bus (DBUS_SESSION_BUS_ADDRESS) on which Qt's AT-SPI bridge is always on,
    so that a test reads a window's texts as a screen reader does: names() lists what
    a11y_names.py finds, in Debian's own interpreter, which has python3-dbus. The bus activates
    its own accessibility bus, which ends with it."""

    def __init__(self, workdir):
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
             "--address=unix:path=" + os.path.join(workdir, "session_bus_socket")],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            text=True)
        self.address = self.daemon.stdout.readline().strip()
        check(self.address.startswith("unix:"), "dbus-daemon gave no address")

    def env(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def names(self):
        here = os.path.dirname(os.path.abspath(__file__))
        result = subprocess.run(["/usr/bin/python3", os.path.join(here, "a11y_names.py"),
                                 self.address], env=dict(os.environ, **self.env()),
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=DEADLINE)
        return json.loads(result.stdout) if result.returncode == 0 else []

    def close(self):
        self.daemon.kill()
        self.daemon.wait()
