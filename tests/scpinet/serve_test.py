#!/usr/bin/env python3
"""rz417ctl serve with real SCPI clients: PyVISA (pyvisa-py) and lxi-tools against a
pseudo-terminal and rz417-sim, several clients at once, hostile ones, and the signals.

    serve_test.py --ctl build/bin/rz417ctl --sim build/bin/rz417-sim --page docs/scpi.md CASE
"""

import argparse
import json
import os
import random
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import (DEADLINE, Line, check, frames_of, journal_rows, log,  # noqa: E402
                       run_case, visa)

ARGS = None
IDN = "QUENDA,RZ-417,0,1.00"


class Server:
    """rz417ctl serve on a free loopback port; its standard error is collected as it comes."""

    def __init__(self, *args, port="-p", device=None, env=None):
        full_env = dict(os.environ)
        full_env.pop("RZ417_PORT", None)
        full_env.update(env or {})
        words = [ARGS.ctl] + ([port, device] if device else []) + list(args)
        if "serve" not in words:
            words += ["serve", "--listen", "0"]
        self.proc = subprocess.Popen(words, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, env=full_env)
        self.err = ""
        self.out = ""
        first = self.proc.stderr.readline()
        self.err += first
        match = re.search(r"serving SCPI on [^ ]*:(\d+) for ", first)
        self.port = int(match.group(1)) if match else None
        self._threads = [threading.Thread(target=self._drain, args=(self.proc.stderr, "err")),
                         threading.Thread(target=self._drain, args=(self.proc.stdout, "out"))]
        for t in self._threads:
            t.daemon = True
            t.start()

    def _drain(self, stream, name):
        for text in stream:
            setattr(self, name, getattr(self, name) + text)

    def signal(self, sig):
        self.proc.send_signal(sig)
        return self.wait()

    def wait(self):
        self.proc.wait(DEADLINE)
        for t in self._threads:
            t.join(DEADLINE)
        return self.proc.returncode

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    def stop(self):
        if self.proc.poll() is None:
            self.signal(signal.SIGTERM)


class Client:
    """A raw socket client, as a lab script without VISA would write it."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
        self.pending = b""

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode())

    def line(self):
        while b"\n" not in self.pending:
            data = self.sock.recv(65536)
            check(data, "the server closed the connection")
            self.pending += data
        text, self.pending = self.pending.split(b"\n", 1)
        return text.decode()

    def query(self, text):
        self.send(text + "\n")
        return self.line()

    def close(self):
        self.sock.close()


def lxi(port, command):
    result = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "-p", str(port), "-r", command],
                            capture_output=True, text=True, timeout=DEADLINE)
    check(result.returncode == 0, "lxi %r: status %d, %r" % (command, result.returncode,
                                                             result.stderr))
    return result.stdout.strip()


def case_clients_pty():
    """PyVISA and lxi against a pty: answers, errors and the panel's frames."""
    line = Line()
    server = Server("-v", device=line.path)
    try:
        check(server.port, "no port told: %r" % server.err)
        rm, inst = visa(server.port)
        check(inst.query("*IDN?") == IDN, "identity")
        inst.write("CURR 1.5")
        inst.write("INP ON")
        check(inst.query("CURR?;INP?;FUNC?") == "1.500;1;CURR", "queries")
        inst.write("VOLT 99")
        check(inst.query("SYST:ERR?") ==
              '-222,"Data out of range;\'99\': \'VOLT\' takes 0 to 63.00 V"', "error")
        check(inst.query("SYST:ERR?") == '0,"No error"', "queue not emptied")
        inst.write(":SOUR:VOLT:LEV 1234E-2 V;:OUTP OFF")
        check(inst.query("*OPC?") == "1", "*OPC?")
        inst.close()
        rm.close()
        check(lxi(server.port, "*IDN?") == IDN, "lxi *IDN?")
        check(lxi(server.port, "VOLT? MAX") == "63.00", "lxi VOLT? MAX")
        lxi(server.port, "RES 0.2KOHM")
        check(frames_of(line.read(0.2)) == ["630096", "6600FF", "6204D2", "66FFFF", "6507D0"],
              "the line received %r" % line.received)
        status = server.signal(signal.SIGINT)
        check(status == 130, "status %d: %s" % (status, server.err))
        check(line.read(0.05) == b"630096" b"6600FF" b"6204D2" b"66FFFF" b"6507D0",
              "the input was off; nothing more should go out: %r" % line.received)
        lines = server.out.splitlines()
        stamp = r"\d\d:\d\d:\d\d\.\d{3} "
        for pattern in (r"127\.0\.0\.1:\d+ connected", r"127\.0\.0\.1:\d+ < CURR 1\.5",
                        r"TX 630096 CC 1\.50 A \(from 127\.0\.0\.1:\d+\)",
                        r"127\.0\.0\.1:\d+ > 1\.500;1;CURR", r"127\.0\.0\.1:\d+ disconnected"):
            check(any(re.fullmatch(stamp + pattern, l) for l in lines),
                  "-v printed no %r in %r" % (pattern, lines))
    finally:
        server.stop()
        line.close()


def page_script(port):
    with open(ARGS.page) as f:
        text = f.read()
    match = re.search(r"```python\n(import pyvisa\n.*?)```", text, re.S)
    check(match, "%s holds no PyVISA script" % ARGS.page)
    return match.group(1).replace("5025", str(port))


def sim_frame(sim):
    """The next frame rz417-sim decoded, passing over its other lines."""
    while True:
        text = sim.stdout.readline()
        check(text, "rz417-sim ended")
        event = json.loads(text) if text.startswith("{") else {"event": "port"}
        if event["event"] == "frame":
            check(event["valid"], "bad frame %r" % event)
            return event["frame"], event["meaning"]


def case_simulator():
    """The PyVISA script of docs/scpi.md drives rz417-sim through the server; with a journal."""
    work = tempfile.mkdtemp()
    link = os.path.join(work, "port")
    sim = subprocess.Popen([ARGS.sim, "--link", link, "--jsonl"], stdout=subprocess.PIPE,
                           text=True)
    server = None
    try:
        end = time.monotonic() + DEADLINE
        while not os.path.exists(link):
            check(time.monotonic() < end, "rz417-sim made no link")
            time.sleep(0.02)
        journal = os.path.join(work, "journal.csv")
        server = Server("--journal", journal, device=link)
        check(server.port, "no port told: %r" % server.err)
        script = os.path.join(work, "drive.py")
        with open(script, "w") as f:
            f.write(page_script(server.port))
        result = subprocess.run([sys.executable, script], capture_output=True, text=True,
                                timeout=DEADLINE)
        check(result.returncode == 0, "the PyVISA script: %s" % result.stderr)
        check(IDN in result.stdout, "the script printed %r" % result.stdout)
        decoded = [sim_frame(sim), sim_frame(sim)]
        check(decoded == [("630096", "CC 1.50 A (high range)"), ("6600FF", "input ON")],
              "the simulator decoded %r" % decoded)
        status = server.signal(signal.SIGTERM)
        check(status == 143, "status %d: %s" % (status, server.err))
        last = sim_frame(sim)
        check(last[0] == "66FFFF", "after SIGTERM the simulator decoded %r" % (last,))
        rows = journal_rows(journal)
        check([r[1] for r in rows] == ["scpi"] * 3 and [r[4] for r in rows] ==
              ["630096", "6600FF", "66FFFF"], "journal %r" % rows)
        check(re.fullmatch(r"CC 1\.50 A \(from 127\.0\.0\.1:\d+\)", rows[0][5]) and
              rows[2][5] == "input off" and all(r[6] == "sent" for r in rows), "journal %r" % rows)
    finally:
        if server:
            server.stop()
        sim.send_signal(signal.SIGINT)
        sim.wait(DEADLINE)
        shutil.rmtree(work)


def case_several():
    """Eight clients at once: every frame in each client's order, each its own error queue."""
    line = Line()
    server = Server(device=line.path)
    try:
        count = 300
        failures = []

        def client(k):
            try:
                c = Client(server.port)
                # Client k's resistances are k00.0 to k29.9 ohm, counting up.
                c.send("".join("RES %d.%d\n" % ((k * 1000 + i) // 10, i % 10)
                               for i in range(count)))
                c.send("FROB%d\n" % k)
                check(c.query("SYST:ERR?") == '-113,"Undefined header;\'FROB%d\' is not a '
                      'command of the RZ-417"' % k, "client %d: its error" % k)
                check(c.query("SYST:ERR:COUN?") == "0", "client %d: another's error" % k)
                c.close()
            except Exception as error:  # collected for the main thread
                failures.append("client %d: %s" % (k, error))

        threads = [threading.Thread(target=client, args=(k,)) for k in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(DEADLINE)
        check(not failures, "; ".join(failures))
        frames = frames_of(line.read(0.3))
        check(len(frames) == 8 * count, "%d frames of %d" % (len(frames), 8 * count))
        seen = [[] for _ in range(8)]
        for f in frames:
            value = int(f[2:], 16)
            check(f[:2] == "65", "not a resistance frame: %s" % f)
            seen[value // 1000].append(value % 1000)
        check(all(s == list(range(count)) for s in seen), "a client's order was broken")
    finally:
        server.stop()
        line.close()


def case_hostile():
    """Garbage, an endless line, a half line that vanishes, a client that never reads: the
    others are answered at once, the server's memory stays bounded, the line is told."""
    line = Line()
    server = Server(device=line.path)
    try:
        good = Client(server.port)
        check(good.query("*IDN?") == IDN, "identity")
        base = server.rss_kib()
        rng = random.Random(417)
        garbage = Client(server.port)
        garbage.send(bytes(rng.randrange(256) for _ in range(20000)) + b"\n")
        # 4 MB without a line feed, then a line feed and a query on the same connection.
        endless = Client(server.port)
        endless.send(b"VOLT " + b"9" * (4 << 20))
        endless.send(b"\n*IDN?\n")
        check(endless.line() == IDN, "the long line's client was not answered after it")
        check(endless.query("SYST:ERR?").startswith('-223,"Too much data;'), "no -223")
        half = Client(server.port)
        half.send(b"INP O")
        half.close()
        # A client that sends queries and never reads what it asked for.
        deaf = Client(server.port)
        # It sends for as long as the server reads: a server that stops reading it at its bound
        # leaves it stalled.
        deaf.sock.setblocking(False)
        sent = 0
        moved = time.monotonic()
        while sent < (64 << 20) and time.monotonic() - moved < 1.0:
            select.select([], [deaf.sock], [], 0.1)
            try:
                sent += deaf.sock.send(b"*IDN?\n" * 10000)
                moved = time.monotonic()
            except BlockingIOError:
                pass
        check(sent < (32 << 20), "the server read %d bytes of a client that never reads" % sent)
        for _ in range(20):
            began = time.monotonic()
            check(good.query("*IDN?") == IDN, "identity")
            check(time.monotonic() - began < 5.0, "an answer took %.2f s" %
                  (time.monotonic() - began))
        grown = server.rss_kib() - base
        print("unread: %d bytes sent; the server grew by %d KiB" % (sent, grown))
        # A sanitized build keeps freed memory in quarantine: its resident size says nothing of
        # what the server holds, so only the ordinary build's is checked.
        if "ASAN_OPTIONS" not in os.environ:
            check(grown < 8 * 1024, "the server grew by %d KiB (sent %d bytes unread)" %
                  (grown, sent))
        check(line.read(0.05) == b"", "sent %r" % line.received)
        deaf.close()
        garbage.close()
        endless.close()
        # The line goes away: the next setpoint is refused with the panel's text.
        line.vanish()
        good.send("CURR 1\n")
        check(good.query("SYST:ERR?") ==
              '-240,"Hardware error;Device not Open: the frame 6703E8 (CC 1.000 A) did not go out"',
              "after the line vanished")
        check(good.query("*IDN?") == IDN, "the server stopped answering")
        good.close()
        check(server.proc.poll() is None, "the server ended: %s" % server.err)
        check("6703E8 from 127.0.0.1:" in server.err and "Device not Open" in server.err,
              server.err)
    finally:
        server.stop()
        line.close()


def case_line_limit():
    """One 64 KiB limit on a line, however its bytes arrive, counted from the line's own start."""
    line = Line()
    server = Server(device=line.path)
    try:
        c = Client(server.port)
        c.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        too_long = ("*OPC;" * 14000 + "*TST?\n").encode()
        for pieces in (1, 70):
            size = -(-len(too_long) // pieces)
            for i in range(0, len(too_long), size):
                c.send(too_long[i:i + size])
                time.sleep(0.001 if pieces > 1 else 0)
            check(c.query("*IDN?") == IDN, "a line of %d bytes in %d pieces ran" %
                  (len(too_long), pieces))
            check(c.query("SYST:ERR?").startswith('-223,"Too much data;'), "no -223")
        # 60 KB of short messages, then one of 30 KB: within the limit.
        c.send("*OPC\n" * 12000 + "*OPC;" * 6000 + "*TST?\n")
        check(c.line() == "0", "the 30 KB message did not run")
        check(c.query("SYST:ERR?") == '0,"No error"', "an error after messages within the limit")
        c.close()
    finally:
        server.stop()
        line.close()


def case_interrupted():
    """A signal with the input on: 66FFFF first, then the end (130, 143, 129); a client still
    connected does not hold it up."""
    for sig, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143), (signal.SIGHUP, 129)):
        line = Line()
        server = Server(device=line.path)
        c = Client(server.port)
        c.send("CURR 1.5;INP ON\n")
        line.wait_for(b"6600FF")
        c.send("VOLT 5")  # half a message, still open
        began = time.monotonic()
        got = server.signal(sig)
        check(time.monotonic() - began < 10, "%s took %.1f s" % (sig.name,
                                                              time.monotonic() - began))
        check(got == status, "%s: status %d: %s" % (sig.name, got, server.err))
        check(frames_of(line.read(0.05)) == ["630096", "6600FF", "66FFFF"],
              "%s: the line received %r" % (sig.name, line.received))
        check("switched the input off (66FFFF)" in server.err, server.err)
        c.close()
        line.close()


def case_full_pipe():
    """serve -v whose standard output nobody reads: the clients are still answered, and a
    signal switches the input off while the pipe is full."""
    line = Line()
    read_end, write_end = os.pipe()
    proc = subprocess.Popen([ARGS.ctl, "-p", line.path, "-v", "serve", "--listen", "0"],
                            stdout=write_end, stderr=subprocess.PIPE, text=True)
    os.close(write_end)
    try:
        port = int(re.search(r"serving SCPI on [^ ]*:(\d+) for ", proc.stderr.readline()).group(1))
        c = Client(port)
        c.send("INP ON\n")
        line.wait_for(b"6600FF")
        # Two -v lines each, far more than a pipe holds.
        for _ in range(3000):
            check(c.query("INP?") == "1", "INP? did not answer 1")
        proc.send_signal(signal.SIGINT)
        line.wait_for(b"66FFFF", timeout=5.0)
        c.close()
    finally:
        os.close(read_end)
        proc.wait(DEADLINE)
    check(proc.returncode == 130, "status %d" % proc.returncode)


def wait_for_off(line, count, deadline):
    """The time the count-th 66FFFF reached the line's far end."""
    while line.received.count(b"66FFFF") < count:
        check(time.monotonic() < deadline, "no 66FFFF by the deadline: %r" % line.received)
        line.read(0.005)
    return time.monotonic()


def check_due(seen, last, delay, what):
    """A trip against its own due time, the last message plus the delay: never before it, and
    within 0.5 s of it."""
    late = seen - (last + delay)
    log("%s: %+.3f s from its due time" % (what, late))
    check(late >= 0, "%s came %.3f s before its due time" % (what, -late))
    check(late <= 0.5, "%s came %.3f s after its due time" % (what, late))


def case_watchdog():
    """serve --watchdog: a PyVISA client that keeps talking holds it off for a plain socket client
    that went silent with the input on; once both are silent the input goes off at its due time,
    every client is told, the journal says why, and it stays armed for the next message."""
    delay = 2
    work = tempfile.mkdtemp()
    journal = os.path.join(work, "journal.csv")
    line = Line()
    server = Server("--journal", journal, "serve", "--listen", "0", "--watchdog", str(delay),
                    device=line.path)
    try:
        check(server.port, "no port told: %r" % server.err)
        silent = Client(server.port)
        silent.send("CURR 1.5;INP ON\n")
        line.wait_for(b"6600FF")
        rm, talker = visa(server.port)
        end = time.monotonic() + 2.5 * delay
        while time.monotonic() < end:
            last = time.monotonic()
            check(talker.query("*OPC?") == "1", "*OPC?")
            check(b"66FFFF" not in line.read(0.2), "tripped while a client talked: %r" %
                  line.received)
        check_due(wait_for_off(line, 1, last + delay + DEADLINE), last, delay, "the first trip")
        told = '1,"Watchdog tripped;no SCPI message for %d s: the input was switched off ' \
               '(66FFFF)"' % delay
        check(talker.query("SYST:ERR?") == told, "the talker was not told")
        check(silent.query("SYST:ERR?;:STAT:QUES:COND?;:STAT:QUES?;:STAT:QUES?;:INP?") ==
              told + ";512;512;0;0", "the silent client was not told")
        # Still armed: a message feeds it again, and it trips again a delay after the last one.
        last = time.monotonic()
        silent.send("INP ON\n")
        check_due(wait_for_off(line, 2, last + delay + DEADLINE), last, delay, "the second trip")
        check(frames_of(line.read(0.05)) == ["630096", "6600FF", "66FFFF", "6600FF", "66FFFF"],
              "the line received %r" % line.received)
        talker.close()
        rm.close()
        status = server.signal(signal.SIGTERM)
        check(status == 143, "status %d: %s" % (status, server.err))
        check(server.err.count("rz417ctl: watchdog: no SCPI message for %d s: the input was "
                               "switched off (66FFFF)" % delay) == 2, server.err)
        trips = [r for r in journal_rows(journal) if r[4] == "66FFFF"]
        check(len(trips) == 2 and all(r[1] == "scpi" and r[6] == "sent" and
                                      r[5] == "input off (watchdog: no SCPI message for %d s)" %
                                      delay for r in trips), "journal %r" % trips)
    finally:
        server.stop()
        line.close()
        shutil.rmtree(work)


class PacedReader:
    """Reads a line's far end at 115200 baud's pace, as the load would, in a thread."""

    def __init__(self, line):
        self.line = line
        self.data = b""
        self.done = False
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.done:
            ready, _, _ = select.select([self.line.master], [], [], 0.1)
            if ready:
                try:
                    self.data += os.read(self.line.master, 1152)
                except OSError:
                    return
                time.sleep(0.1)

    def wait_for(self, data):
        end = time.monotonic() + DEADLINE
        while data not in self.data:
            check(time.monotonic() < end, "timed out waiting for %r" % data)
            time.sleep(0.02)

    def stop(self):
        self.done = True
        self.thread.join(DEADLINE)


def case_flood():
    """One client floods the line with setpoints: another client's INP OFF goes out before the
    flood has ended, and a signal ends the flood at its next command, the input going off next."""
    flood = "INP ON;" + "VOLT 1;" * 9000 + "VOLT 2\n"
    for how in ("client", "signal"):
        line = Line()
        reader = PacedReader(line)
        server = Server(device=line.path)
        try:
            a = Client(server.port)
            a.send(flood)
            reader.wait_for(b"6600FF" + b"620064" * 20)
            if how == "client":
                b = Client(server.port)
                check(b.query("INP OFF;*OPC?;*IDN?") == "1;" + IDN, "B's answers")
                check(a.query("*OPC?") == "1", "A's flood did not end")
                reader.wait_for(b"6200C8")
                frames = frames_of(reader.data)
                check("66FFFF" in frames and "6200C8" in frames and
                      frames.index("66FFFF") < frames.index("6200C8"),
                      "B's input off went out after A's whole flood: %d frames, off at %d" %
                      (len(frames), frames.index("66FFFF") if "66FFFF" in frames else -1))
            else:
                status = server.signal(signal.SIGINT)
                check(status == 130, "status %d: %s" % (status, server.err))
                time.sleep(0.5)
                frames = frames_of(reader.data)
                check(frames[-1] == "66FFFF" and "6200C8" not in frames,
                      "after SIGINT the flood went on: %d frames, the last %r" %
                      (len(frames), frames[-3:]))
        finally:
            reader.stop()
            server.stop()
            line.close()


def case_refused():
    """Bad command lines exit 2, a line that will not open or a taken TCP port exit 1, at once
    and with nothing sent."""
    for words, message in ((["serve", "--listen", "5025x"], "'5025x' is not a TCP port"),
                           (["serve", "--listen", "host:5025"], "'host' is not an IP address"),
                           (["serve", "--listen", "70000"], "'70000' is not a TCP port"),
                           (["serve", "cv", "1"], "serve takes no other command"),
                           (["--listen", "5025", "cv", "1"], "--listen goes with serve"),
                           (["--dry-run", "serve"], "--dry-run does not go with serve"),
                           (["serve", "--listen", "5025", "--listen", "0.0.0.0:5025"],
                            "--listen is given twice ('5025' and '0.0.0.0:5025')"),
                           (["serve", "--watchdog", "0"], "'0' is not a watchdog delay: "
                            "--watchdog takes whole seconds from 1 to 3600"),
                           (["serve", "--watchdog", "3601"], "'3601' is not a watchdog delay"),
                           (["serve", "--watchdog", "1.5"], "'1.5' is not a watchdog delay"),
                           (["--watchdog", "60", "cv", "1"], "--watchdog goes with serve")):
        result = subprocess.run([ARGS.ctl, "-p", "1"] + words, capture_output=True, text=True,
                                timeout=DEADLINE)
        check(result.returncode == 2 and message in result.stderr,
              "%r: status %d, %r" % (words, result.returncode, result.stderr))
    result = subprocess.run([ARGS.ctl, "-p", "/dev/rz417-none", "serve"], capture_output=True,
                            text=True, timeout=DEADLINE)
    check(result.returncode == 1 and "serve: Hardware not present" in result.stderr and
          "nothing was sent" in result.stderr, "status %d, %r" % (result.returncode,
                                                                result.stderr))
    # An IPv4 address in IPv6's form is that address.
    line = Line()
    server = Server("serve", "--listen", "[::ffff:127.0.0.1]:0", device=line.path)
    try:
        check(server.port and "serving SCPI on 127.0.0.1:" in server.err, server.err)
        check(Client(server.port).query("*IDN?") == IDN, "identity")
    finally:
        server.stop()
        line.close()
    taken = socket.socket()
    taken.bind(("127.0.0.1", 0))
    taken.listen(1)
    line = Line()
    result = subprocess.run([ARGS.ctl, "-p", line.path, "serve", "--listen",
                             "127.0.0.1:%d" % taken.getsockname()[1]], capture_output=True,
                            text=True, timeout=DEADLINE)
    check(result.returncode == 1 and "cannot listen on 127.0.0.1:%d" % taken.getsockname()[1]
          in result.stderr, "status %d, %r" % (result.returncode, result.stderr))
    check(line.read(0.05) == b"", "sent %r" % line.received)
    taken.close()
    line.close()


class Responder:
    """An mDNS responder for the case: the system's avahi-daemon when one runs, else one of the
    case's own on a system bus of its own, which the programs under test are pointed at."""

    def __init__(self, workdir):
        self.env = {}
        self.procs = []
        if subprocess.run(["avahi-daemon", "--check"], capture_output=True).returncode == 0:
            return
        bus = os.path.join(workdir, "system_bus")
        with open(os.path.join(workdir, "bus.conf"), "w") as conf:
            conf.write("""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_type="method_call"/>
<allow send_type="signal"/><allow send_requested_reply="true"/><allow receive_type="*"/>
</policy></busconfig>
""" % bus)
        with open(os.path.join(workdir, "avahi.conf"), "w") as conf:
            conf.write("[server]\nuse-ipv6=no\n[wide-area]\nenable-wide-area=no\n"
                       "[publish]\npublish-workstation=no\npublish-hinfo=no\n")
        self.procs.append(subprocess.Popen(
            ["dbus-daemon", "--nofork", "--config-file", os.path.join(workdir, "bus.conf")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: os.path.exists(bus), "the system bus")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + bus
        log = os.path.join(workdir, "avahi.log")
        self.procs.append(subprocess.Popen(
            ["avahi-daemon", "-f", os.path.join(workdir, "avahi.conf"), "--no-chroot",
             "--no-drop-root", "--no-proc-title"], env=dict(os.environ, **self.env),
            stdout=open(log, "w"), stderr=subprocess.STDOUT))
        wait_for(lambda: "Server startup complete" in open(log).read(), "avahi-daemon")

    def close(self):
        for proc in reversed(self.procs):
            proc.terminate()
            proc.wait(DEADLINE)


def wait_for(probe, what):
    end = time.monotonic() + DEADLINE
    while not probe():
        check(time.monotonic() < end, "no %s within %d s" % (what, DEADLINE))
        time.sleep(0.1)


def case_mdns():
    """serve beyond this machine is found by lxi discover -m, with the identity in its TXT
    records; without a responder it says so once and serves; on loopback it is not advertised."""
    line = Line()
    workdir = tempfile.mkdtemp(prefix="rz417-mdns-")
    responder = Responder(workdir)
    env = dict(os.environ, **responder.env)
    server = Server("-v", "serve", "--listen", "0.0.0.0:0", device=line.path, env=responder.env)
    try:
        wait_for(lambda: "advertised as \"RZ-417 on " in server.out, "advertisement: " + server.out)
        found = ""

        def discovered():
            nonlocal found
            found = subprocess.run(["lxi", "discover", "-m"], capture_output=True, text=True,
                                   env=env, timeout=DEADLINE).stdout
            return re.search(r'Found "RZ-417 on [^"]*".*\n.*scpi-raw service on port %d\b' %
                             server.port, found) is not None
        wait_for(discovered, "RZ-417 in lxi discover -m: " + found)
        browse = subprocess.run(["avahi-browse", "-rtp", "_scpi-raw._tcp"], capture_output=True,
                                text=True, env=env, timeout=DEADLINE).stdout
        for record in ("Manufacturer=QUENDA", "Model=RZ-417", "SerialNumber=0",
                       "FirmwareVersion=1.00"):
            check('"%s"' % record in browse, "%s not in the TXT records: %s" % (record, browse))
        server.stop()
        for listen, said in (("0.0.0.0:0", "no mDNS responder"), ("127.0.0.1:0", None)):
            server = Server("-v", "serve", "--listen", listen, device=line.path,
                            env={"DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + workdir + "/none"})
            check(Client(server.port).query("*IDN?") == IDN, "identity")
            server.stop()
            check(server.out.count("mDNS") == (1 if said else 0) and
                  (not said or said in server.out), "%s: %r" % (listen, server.out))
    finally:
        server.stop()
        responder.close()
        line.close()
        shutil.rmtree(workdir, ignore_errors=True)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--ctl", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--page", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    ARGS = parser.parse_args()
    return run_case(CASES, ARGS.case)


if __name__ == "__main__":
    sys.exit(main())
