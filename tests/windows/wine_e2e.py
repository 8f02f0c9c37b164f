#!/usr/bin/env python3
"""End-to-end tests of the Windows programs under Wine, against a serial line.

COM1 of the Wine prefix is linked to the slave of a pseudo-terminal; the case reads the frames at
the master and checks the line settings there. The panel runs on a private Xvfb and is typed
into with xdotool, as a user at the keyboard would.

    wine_e2e.py --wine-run cmake/wine-run --prefix DIR [--dll-dir DIR]... \
        --panel RZ417.exe --ctl rz417ctl.exe --installer RZ-417-1.00-win64.exe CASE
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import Display, Failure, answer_boxes, log, stop, wait_until  # noqa: E402

# Wine starts a Qt program in a few seconds on an idle machine; CI may be far from idle.
DEADLINE = 90.0


class Line:
    """A pseudo-terminal whose slave is COM1 of the prefix; what arrives at the master is kept."""

    def __init__(self, prefix):
        self.master, self.slave = os.openpty()
        self.slave_path = os.ttyname(self.slave)
        self.com1 = os.path.join(prefix, "dosdevices", "com1")
        self.link()
        self.data = b""
        self.lock = threading.Lock()
        # The slave stays open here too, so that the line outlives the program on it.
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while True:
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                return
            if not chunk:
                return
            with self.lock:
                self.data += chunk

    def link(self):
        """Makes COM1 the pty again: Wine's device manager, as it starts, links the COM ports to
        the machine's own /dev/ttyS*."""
        if os.path.lexists(self.com1):
            os.remove(self.com1)
        os.symlink(self.slave_path, self.com1)
        log("COM1 is " + self.slave_path)

    def received(self):
        with self.lock:
            return self.data

    def wait_for(self, expected):
        wait_until("%r on the line (have %r)" % (expected, self.received()),
                   lambda: self.received() == expected or len(self.received()) > len(expected),
                   deadline=DEADLINE)
        if self.received() != expected:
            raise Failure("the line carries %r, expected %r" % (self.received(), expected))
        log("on the line: " + expected.decode())

    def check_settings(self):
        """115200 baud, 8 data bits, no parity, 1 stop bit, no flow control."""
        iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(self.slave)
        problems = []
        if ispeed != termios.B115200 or ospeed != termios.B115200:
            problems.append("speed is not 115200")
        if cflag & termios.CSIZE != termios.CS8:
            problems.append("not 8 data bits")
        if cflag & termios.PARENB:
            problems.append("parity is on")
        if cflag & termios.CSTOPB:
            problems.append("2 stop bits")
        if cflag & termios.CRTSCTS or iflag & (termios.IXON | termios.IXOFF):
            problems.append("flow control is on")
        if problems:
            raise Failure("the line is not 115200 8N1: " + ", ".join(problems))
        log("the line is 115200 8N1, no flow control")

    def close(self):
        os.remove(self.com1)
        os.close(self.slave)
        os.close(self.master)


class Wine:
    """Programs in the test run's prefix, with or without the build's DLL folders."""

    def __init__(self, args, workdir, display):
        self.args = args
        self.workdir = workdir
        self.env = dict(os.environ)
        self.env.pop("QT_QPA_PLATFORM", None)  # the Windows platform plugin, not offscreen
        self.env["WINEPREFIX"] = args.prefix
        # Every Wine process of the prefix, its desktop process above all, on the private X
        # server: a desktop started without a display takes Wine's null driver for good, and
        # windows made later never reach X.
        self.env["DISPLAY"] = display.env()["DISPLAY"]
        self.processes = []
        # A clean start: no program of an earlier case, nothing of a display that is gone.
        self.server("-k")
        # The first use of a fresh prefix makes it (about half a minute).
        self.run(["cmd", "/c", "exit"], dlls=False, timeout=300)

    def command(self, argv, dlls=True):
        folders = []
        for folder in self.args.dll_dir if dlls else []:
            folders += ["--dll-dir", folder]
        return [self.args.wine_run, "--prefix", self.args.prefix, *folders, "--", *argv]

    def run(self, argv, dlls=True, timeout=DEADLINE, env=None):
        result = subprocess.run(self.command(argv, dlls), env=env or self.env,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=timeout)
        log("%s: exit %d" % (" ".join(argv), result.returncode))
        return result

    def start(self, argv, dlls=True):
        process = subprocess.Popen(self.command(argv, dlls), env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(self.workdir, "wine.err"), "ab"))
        self.processes.append(process)
        return process

    def server(self, *flags):
        subprocess.run(["wineserver", *flags], env=self.env, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=DEADLINE)

    def drive_c(self, *parts):
        return os.path.join(self.args.prefix, "drive_c", *parts)

    def close(self):
        self.server("-k")
        for process in self.processes:
            stop(process)


def start_panel(wine, display, exe, dlls=True, title="RZ-417"):
    """Starts the panel, answers "Find Com 1, Using it?" and "Using COM1:" with Return, and
    returns its window once it shows."""
    process = wine.start([exe], dlls)
    answered = {}

    def step():
        if process.poll() is not None:
            raise Failure("the panel ended during start-up (exit %d)" % process.returncode)
        if answer_boxes(display, answered):
            return None
        windows = display.visible_windows(title)
        return windows[0] if windows else None

    window = wait_until("the panel's window", step, deadline=DEADLINE, interval=0.2)
    if len(answered) != 2:
        raise Failure("expected the prompt and the notice of COM1, answered %d boxes"
                      % len(answered))
    log("the panel's window is %s" % window)
    return window


def type_into(display, window, keys):
    for key in keys:
        display.xdotool("windowfocus", "--sync", window, check=False)
        display.xdotool("key", key)


def case_panel(wine, display, line, args):
    window = start_panel(wine, display, args.panel)
    expect_nothing_yet(line)
    type_into(display, window, ["v", "1", "2", "3", "4", "Return"])
    line.wait_for(b"6204D2")
    type_into(display, window, ["o"])
    line.wait_for(b"6204D26600FF")
    line.check_settings()


def case_ctl(wine, display, line, args):
    result = wine.run([args.ctl, "-p", "1", "cc", "1.5", "on"])
    if result.returncode != 0:
        raise Failure("rz417ctl.exe exited %d: %s" % (result.returncode, result.stderr.strip()))
    line.wait_for(b"6300966600FF")
    line.check_settings()
    # A bad word: status 2, a message that names it, nothing on the line.
    result = wine.run([args.ctl, "-p", "1", "cc", "1,5"])
    if result.returncode != 2 or "'1,5'" not in result.stderr:
        raise Failure("rz417ctl.exe cc 1,5: exit %d, %r" % (result.returncode, result.stderr))
    time.sleep(0.5)
    line.wait_for(b"6300966600FF")
    # The ports Windows knows, COM1 among them, free now that nothing holds it.
    result = wine.run([args.ctl, "ports"])
    if result.returncode != 0 or not any(
            row.split()[:2] == ["1", "COM1"] and row.split()[-1] == "free"
            for row in result.stdout.splitlines() if row.split()):
        raise Failure("rz417ctl.exe ports: exit %d, %r" % (result.returncode, result.stdout))


def case_interrupt(wine, display, line, args):
    """Wine turns SIGINT into the console's Ctrl+C: a program run stops and switches the input
    off, status 130."""
    program = os.path.join(wine.workdir, "long.csv")
    with open(program, "w") as f:
        f.write("mode,setpoint,input,dwell\nCC,0.5,on,60\n,,off,0\n")
    process = subprocess.Popen(wine.command([args.ctl, "-p", "1", "run", "Z:" + program]),
                               env=wine.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wine.processes.append(process)
    line.wait_for(b"6701F46600FF")
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=DEADLINE)
    line.wait_for(b"6701F46600FF66FFFF")
    if process.returncode != 130 or "Ctrl+C" not in err:
        raise Failure("interrupted run: exit %d, %r" % (process.returncode, err))


def case_serve(wine, display, line, args):
    """rz417ctl.exe serve on COM1: a SCPI client's setpoint and input reach the line."""
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    server = wine.start([args.ctl, "-p", "1", "serve", "--listen", str(port)])
    client = None

    def connect():
        if server.poll() is not None:
            raise Failure("rz417ctl.exe serve ended (exit %d)" % server.returncode)
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=5)
        except OSError:
            return None

    client = wait_until("rz417ctl.exe serve to listen", connect, deadline=DEADLINE,
                        interval=0.5)
    with client:
        client.sendall(b"CURR 1.5;:INP ON\n*IDN?;SYST:ERR?\n")
        answer = b""
        while not answer.endswith(b"\n"):
            chunk = client.recv(4096)
            if not chunk:
                break
            answer += chunk
    if answer != b'QUENDA,RZ-417,0,1.00;0,"No error"\n':
        raise Failure("the server answered %r" % answer)
    line.wait_for(b"6300966600FF")
    line.check_settings()

    # Beyond loopback the server is advertised through Windows' mDNS responder where it has
    # one (Wine has none): -v says which, once, and the server serves all the same.
    port = free_port()
    out = os.path.join(wine.workdir, "serve.out")
    with open(out, "wb") as stdout:
        server = subprocess.Popen(
            wine.command([args.ctl, "-p", "1", "-v", "serve", "--listen", "0.0.0.0:%d" % port]),
            env=wine.env, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.DEVNULL)
    wine.processes.append(server)
    client = wait_until("rz417ctl.exe serve on 0.0.0.0", connect, deadline=DEADLINE,
                        interval=0.5)
    with client:
        client.sendall(b"*IDN?\n")
        if client.recv(4096) != b"QUENDA,RZ-417,0,1.00\n":
            raise Failure("the server on 0.0.0.0 did not answer *IDN?")
    # Not ended with Ctrl+C here: Wine 8 now and then hangs the server inside WSAAsyncSelect as
    # Qt re-arms a socket notifier after the client has gone, and then no event comes through.
    wait_until("serve -v's answer line", lambda: "> QUENDA" in open(out, errors="replace").read(),
               deadline=DEADLINE)
    text = open(out, errors="replace").read()
    said = text.count("no mDNS responder") + text.count("through mDNS")
    if said != 1:
        raise Failure("serve -v on 0.0.0.0 said of mDNS %d times: %r" % (said, text))


def case_installer(wine, display, line, args):
    folder = wine.drive_c("Program Files", "RZ-417")
    shutil.rmtree(folder, ignore_errors=True)
    result = wine.run([args.installer, "/S"], dlls=False, timeout=300)
    if result.returncode != 0:
        raise Failure("the installer exited %d" % result.returncode)
    menu = wine.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "RZ-417")
    for path in [os.path.join(folder, name) for name in
                 ("RZ417.exe", "rz417ctl.exe", "rz417ctl.txt", "Uninstall.exe",
                  os.path.join("platforms", "qwindows.dll"))] + \
            [os.path.join(menu, "RZ-417.lnk")]:
        if not os.path.exists(path):
            raise Failure("the installation has no " + path)
    log("installed into " + folder)
    # Only what the installer put there: no DLL folders of the build.
    window = start_panel(wine, display, os.path.join(folder, "RZ417.exe"), dlls=False)
    type_into(display, window, ["v", "1", "2", "3", "4", "Return", "o"])
    line.wait_for(b"6204D26600FF")
    wine.server("-k")
    wine.run(["cmd", "/c", "exit"], dlls=False)
    line.link()
    result = wine.run([os.path.join(folder, "rz417ctl.exe"), "-p", "1", "off"], dlls=False)
    if result.returncode != 0:
        raise Failure("the installed rz417ctl.exe exited %d: %s"
                      % (result.returncode, result.stderr.strip()))
    line.wait_for(b"6204D26600FF66FFFF")
    result = wine.run([os.path.join(folder, "Uninstall.exe"), "/S"], dlls=False, timeout=120)
    # The uninstaller goes on from a copy of itself and ends by itself.
    wait_until("the uninstaller to remove " + folder,
               lambda: not os.path.exists(os.path.join(folder, "RZ417.exe")),
               deadline=DEADLINE, interval=0.5)
    log("uninstalled")


def expect_nothing_yet(line):
    time.sleep(0.5)
    if line.received():
        raise Failure("start-up sent %r" % line.received())


def free_port():
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def case_remote(wine, display, line, args):
    """The panel with remote control remembered in the registry: a SCPI client's setpoint
    reaches COM1, and the panel shows it (L, then Return, sends it again)."""
    import socket
    port = free_port()
    key = r"HKCU\Software\QUENDA\RZ-417\remote"
    for name, value in (("accept", "true"), ("address", "127.0.0.1:%d" % port)):
        wine.run(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"], dlls=False)
    try:
        window = start_panel(wine, display, args.panel,
                             title=r"RZ-417 \(remote: 127\.0\.0\.1:%d\)" % port)
        with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE) as client:
            client.sendall(b"CURR 1.5\n*IDN?\n")
            answer = b""
            while not answer.endswith(b"\n"):
                chunk = client.recv(4096)
                if not chunk:
                    break
                answer += chunk
            if answer != b"QUENDA,RZ-417,0,1.00\n":
                raise Failure("the panel answered %r" % answer)
            line.wait_for(b"630096")
            # Return is dead in remote; L takes the panel back, and Return sends the display.
            type_into(display, window, ["Return", "o"])
            line.wait_for(b"6300966600FF")
            type_into(display, window, ["l", "Return"])
            line.wait_for(b"6300966600FF630096")
    finally:
        wine.run(["reg", "delete", key, "/f"], dlls=False)


CASES = {"panel": case_panel, "remote": case_remote, "ctl": case_ctl, "serve": case_serve,
         "interrupt": case_interrupt,
         "installer": case_installer}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--dll-dir", action="append", default=[])
    parser.add_argument("--panel", required=True)
    parser.add_argument("--ctl", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()

    for tool in ("Xvfb", "xdotool", "wineserver"):
        if shutil.which(tool) is None:
            print("%s is not installed (scripts/test installs it)" % tool, file=sys.stderr)
            return 1
    if args.case == "installer" and not os.path.exists(args.installer):
        print("no installer at %s (scripts/windows package makes it)" % args.installer,
              file=sys.stderr)
        return 1

    workdir = tempfile.mkdtemp(prefix="rz417-wine-")
    parts = []
    ok = False
    try:
        display = Display(workdir)
        parts.append(display)
        wine = Wine(args, workdir, display)
        parts.append(wine)
        line = Line(args.prefix)
        parts.append(line)
        CASES[args.case](wine, display, line, args)
        ok = True
    except (Failure, subprocess.TimeoutExpired) as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
    finally:
        for part in reversed(parts):
            try:
                part.close()
            except Exception:  # keep tearing down the rest
                pass
        if not ok:
            for name in ("xvfb.log", "wine.err"):
                path = os.path.join(workdir, name)
                if os.path.exists(path) and os.path.getsize(path) > 0:
                    sys.stderr.write("--- %s\n%s" % (name, open(path, errors="replace").read()))
        shutil.rmtree(workdir, ignore_errors=True)
    if ok:
        print("passed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
