#!/usr/bin/env python3
"""rz417ctl battery end to end: against rz417-sim's battery and meter for each kind of stop, and
against a meter of the test's own that goes silent, answers garbage or is interrupted.

    battery_test.py --ctl build/bin/rz417ctl --sim build/bin/rz417-sim CASE
"""

import argparse
import json
import os
import pty
import select
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import (DEADLINE, FakeMeter, Line, MeterSim, check, frames_of, run_case,  # noqa: E402
                       wait_until)

ARGS = None
HEADER = "time_s,voltage_V,current_A,power_W,capacity_Ah,energy_Wh"


def ctl(line, *words, timeout=DEADLINE):
    return subprocess.run([ARGS.ctl, "-p", line.path, "-q", "battery", *words],
                          capture_output=True, text=True, timeout=timeout)


def Sim(battery):
    return MeterSim(ARGS.sim, "--battery", battery)


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
        frames = MeterSim.frames(out)
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
    for after, says in (("silent", "no answer within 2 s"), ("garbage", "'OVLD'"),
                        ("trickle", "no answer within 2 s")):
        line = Line()
        meter = FakeMeter(["3.9", "3.8"], after)
        result = ctl(line, "cc", "1", "--cutoff", "3", "--meter", "127.0.0.1:%d" % meter.port,
                     "--interval", "0.2")
        check(result.returncode == 1 and "the meter stopped answering" in result.stderr and
              says in result.stderr and "input was switched off" in result.stderr,
              "%s: exit %d, %r" % (after, result.returncode, result.stderr))
        # What was counted up to the failure is not lost.
        check("capacity" in result.stdout, "%s: no summary: %r" % (after, result.stdout))
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


def case_json():
    """--json: one JSON object on standard output, on a stop, a meter failure and a signal."""
    rows = (([], "1", "time", 0, "FAKE,DMM,1,1.0"),
            (["3.9"], None, "meter", 1, "FAKE,DMM,1,1.0"))
    for readings, stop, stopped_by, status, idn in rows:
        line = Line()
        meter = FakeMeter(readings or ["3.9"] * 20)
        words = ["cc", "1", "--json", "--meter", "127.0.0.1:%d" % meter.port, "--interval", "0.2"]
        words += ["--time", stop] if stop else ["--cutoff", "3"]
        result = ctl(line, *words)
        summary = json.loads(result.stdout)
        check(result.returncode == status and summary["stopped_by"] == stopped_by and
              summary["meter_idn"] == idn and summary["input_off"] is True and
              summary["test"] == "battery", "exit %d, %r" % (result.returncode, result.stdout))
        check(frames_of(line.read(0.2))[-1] == "66FFFF", line.received)
    line = Line()
    proc = subprocess.Popen([ARGS.ctl, "-p", line.path, "-q", "battery", "cc", "1", "--time",
                             "60", "--json"], stdout=subprocess.PIPE, text=True)
    line.wait_for(b"6600FF")
    proc.send_signal(signal.SIGINT)
    out, _ = proc.communicate(timeout=DEADLINE)
    summary = json.loads(out)
    check(proc.returncode == 130 and summary["stopped_by"] == "signal" and
          summary["meter_idn"] is None and summary["mean_V"] is None, "%r" % out)


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


def case_line_lost():
    """The line goes away mid-run: the off frame cannot go out, and nothing says it did."""
    line = Line()
    proc = subprocess.Popen([ARGS.ctl, "-p", line.path, "-q", "battery", "cc", "0.5", "--time",
                             "1.5", "--interval", "0.2"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    line.wait_for(b"6600FF")
    line.vanish()
    out, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 1 and "may still be on" in err and "switched the input off" not in err,
          "exit %d, %r" % (proc.returncode, err))


def case_refused_input():
    """A log or a meter that cannot be used, and a signal before the input goes on: nothing is
    sent, and the exit says why."""
    line = Line()
    result = ctl(line, "cc", "1", "--time", "1", "--log", "/dev/full")
    check(result.returncode == 1 and "/dev/full: cannot be written" in result.stderr,
          "/dev/full: exit %d, %r" % (result.returncode, result.stderr))
    meter = FakeMeter(["3.9"], idn_delay=3.0)
    proc = subprocess.Popen([ARGS.ctl, "-p", line.path, "-q", "battery", "cc", "0.5",
                             "--cutoff", "3", "--meter", "127.0.0.1:%d" % meter.port],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    wait_until("*IDN?", lambda: meter.greeted)
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 130, "SIGINT during *IDN?: exit %d, %r" % (proc.returncode, err))
    check(line.read(0.2) == b"", "sent %r" % line.received)


def case_extra_lines():
    """A meter that says a line more than it was asked for: the next query does not take that
    line for its answer (here two stale 2.5 V lines would meet the 3 V cut-off)."""
    line = Line()
    meter = FakeMeter(["3.9\n2.5\n2.5"] + ["3.8"] * 100)
    result = ctl(line, "cc", "0.5", "--cutoff", "3", "--time", "1", "--interval", "0.2",
                 "--meter", "127.0.0.1:%d" % meter.port)
    check(result.returncode == 0 and "stopped by the time" in result.stdout,
          "exit %d, %r %r" % (result.returncode, result.stdout, result.stderr))


def case_stopped_terminal():
    """Ctrl+S on the terminal that shows the progress line of a battery test or a program: the
    run goes on, and SIGINT switches the input off while the terminal is still stopped."""
    program = os.path.join(tempfile.mkdtemp(prefix="rz417-battery-"), "hold.csv")
    with open(program, "w") as f:
        f.write("mode,setpoint,input,dwell\nCC,0.5,on,60\n")
    for words in (["battery", "cc", "0.5", "--time", "60", "--interval", "0.2"],
                  ["run", program]):
        line = Line()
        master, slave = pty.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[0] |= termios.IXON
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        proc = subprocess.Popen([ARGS.ctl, "-p", line.path, *words], stdin=slave, stdout=slave,
                                stderr=slave)
        os.close(slave)
        line.wait_for(b"6600FF")
        os.write(master, b"\x13")  # Ctrl+S
        time.sleep(1.0)
        proc.send_signal(signal.SIGINT)
        try:
            line.wait_for(b"66FFFF", timeout=5.0)
        finally:
            os.write(master, b"\x11")  # Ctrl+Q
            while select.select([master], [], [], 0.5)[0]:
                try:
                    if not os.read(master, 4096):
                        break
                except OSError:
                    break
            proc.wait(DEADLINE)
            os.close(master)
        check(proc.returncode == 130, "%s: exit %d" % (words[0], proc.returncode))


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
