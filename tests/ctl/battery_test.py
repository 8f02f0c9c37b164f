#!/usr/bin/env python3
"""rz417ctl battery end to end: against rz417-sim's battery and meter for each kind of stop, and
against a meter of the test's own that goes silent, answers garbage or is interrupted.

    battery_test.py --ctl build/bin/rz417ctl --sim build/bin/rz417-sim CASE
"""

import argparse
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import DEADLINE, Line, check, frames_of, run_case  # noqa: E402

ARGS = None
HEADER = "time_s,voltage_V,current_A,power_W,capacity_Ah,energy_Wh"


class FakeMeter:
    """A meter on a loopback socket: *IDN?, then the given readings; after them it says
    nothing ("silent") or "OVLD" ("garbage")."""

    def __init__(self, readings, after="silent"):
        self.readings = list(readings)
        self.after = after
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
                    conn.sendall(b"FAKE,DMM,1,1.0\n")
                    continue
                self.asked += 1
                if self.readings:
                    conn.sendall(b"%s\n" % self.readings.pop(0).encode())
                elif self.after == "garbage":
                    conn.sendall(b"OVLD\n")


def ctl(line, *words, timeout=DEADLINE):
    return subprocess.run([ARGS.ctl, "-p", line.path, "-q", "battery", *words],
                          capture_output=True, text=True, timeout=timeout)


class Sim:
    """rz417-sim with a battery and its meter; frames decoded in its output."""

    def __init__(self, battery):
        self.workdir = tempfile.mkdtemp(prefix="rz417-battery-")
        self.link = os.path.join(self.workdir, "port")
        self.proc = subprocess.Popen([ARGS.sim, "--link", self.link, "--battery", battery,
                                      "--meter", "0"], stdout=subprocess.PIPE, text=True)
        self.lines = [self.proc.stdout.readline(), self.proc.stdout.readline()]
        self.meter = self.lines[1].strip().split(" ", 1)[1]
        self.path = self.link

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        out, _ = self.proc.communicate(timeout=DEADLINE)
        return out


def case_stops():
    """One run per kind of stop against the simulated battery: exit 0, the summary names the
    stop, the log has its header and a row per reading, and 66FFFF is the last frame."""
    rows = [
        (["cc", "1", "--cutoff", "3.0"], "the cut-off voltage"),
        (["cc", "1", "--capacity", "1mAh"], "the capacity"),
        (["cp", "4", "--energy", "2mWh"], "the energy"),
        (["cr", "4", "--time", "2"], "the time"),
    ]
    for words, stop in rows:
        sim = Sim("0.002,1,0.1")
        log = os.path.join(sim.workdir, "run.csv")
        try:
            result = ctl(sim, *words, "--meter", sim.meter, "--interval", "0.2", "--log", log)
        finally:
            out = sim.stop()
        check(result.returncode == 0, "%s: exit %d, %r" % (words, result.returncode,
                                                           result.stderr))
        check("stopped by " + stop in result.stdout, "%s: %r" % (words, result.stdout))
        rows_ = open(log).read().splitlines()
        check(rows_[0] == HEADER and len(rows_) >= 3, "%s: log %r" % (words, rows_[:3]))
        frames = [line.split()[1] for line in out.splitlines() if line[:1].isdigit() and
                  len(line.split()) > 1 and len(line.split()[1]) == 6]
        check(frames[-1] == "66FFFF" and "6600FF" in frames, "%s: frames %r" % (words, frames))


def case_no_meter():
    """CC counts ampere-hours from the setpoint; the output says the figures are commanded."""
    line = Line()
    result = ctl(line, "cc", "1", "--capacity", "0.5mAh", "--interval", "0.2")
    check(result.returncode == 0 and "stopped by the capacity" in result.stdout and
          "commanded" in result.stdout, "exit %d, %r %r" % (result.returncode, result.stdout,
                                                           result.stderr))
    check(frames_of(line.read(0.2)) == ["6703E8", "6600FF", "66FFFF"], line.received)


def case_meter_fails():
    """A meter that goes silent or answers garbage: the input goes off, exit 1."""
    for after, says in (("silent", "no answer within 2 s"), ("garbage", "'OVLD'")):
        line = Line()
        meter = FakeMeter(["3.9", "3.8"], after)
        result = ctl(line, "cc", "1", "--cutoff", "3", "--meter", "127.0.0.1:%d" % meter.port,
                     "--interval", "0.2")
        check(result.returncode == 1 and "the meter stopped answering" in result.stderr and
              says in result.stderr, "%s: exit %d, %r" % (after, result.returncode,
                                                          result.stderr))
        check(frames_of(line.read(0.2)) == ["6703E8", "6600FF", "66FFFF"],
              "%s: %r" % (after, line.received))


def case_interrupted():
    """Ctrl+C: the input goes off first, status 130, the summary of what was counted."""
    line = Line()
    meter = FakeMeter(["3.9"] * 1000)
    proc = subprocess.Popen([ARGS.ctl, "-p", line.path, "-q", "battery", "cc", "1", "--cutoff",
                             "3", "--meter", "127.0.0.1:%d" % meter.port, "--interval", "0.2"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    end = time.monotonic() + DEADLINE
    while meter.asked < 3:
        check(time.monotonic() < end, "no readings")
        time.sleep(0.05)
    proc.send_signal(signal.SIGINT)
    out, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 130 and "capacity" in out, "exit %d, %r %r" % (proc.returncode,
                                                                           out, err))
    check(frames_of(line.read(0.2))[-1] == "66FFFF", line.received)


def case_unreachable():
    """A meter that cannot be reached: exit 1 before anything is sent."""
    line = Line()
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    result = ctl(line, "cc", "1", "--cutoff", "3", "--meter", "127.0.0.1:%d" % port)
    check(result.returncode == 1 and "the meter cannot be reached" in result.stderr,
          "exit %d, %r" % (result.returncode, result.stderr))
    check(line.read(0.2) == b"", "sent %r" % line.received)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--ctl", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    ARGS = parser.parse_args()
    return run_case(CASES, ARGS.case)


if __name__ == "__main__":
    sys.exit(main())
