#!/usr/bin/env python3
"""rz417ctl ocp, opp, sweep and dcir end to end: against rz417-sim's supply, solar cell and
battery with its meter, and against a meter of the test's own that goes silent or a signal.

    stepped_test.py --ctl build/bin/rz417ctl --sim build/bin/rz417-sim CASE
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import (DEADLINE, FakeMeter, Line, MeterSim, check, frames_of,  # noqa: E402
                       run_case)

ARGS = None
HEADER = "time_s,step,setpoint,voltage_V,current_A,power_W"


def run_against(source, *words):
    """The test's words against the simulator with that source: its JSON, exit status, log
    rows and the frames the simulator took."""
    sim = MeterSim(ARGS.sim, *source)
    log = os.path.join(sim.workdir, "run.csv")
    try:
        result = subprocess.run([ARGS.ctl, "-p", sim.path, "-q", *words, "--meter", sim.meter,
                                 "--json", "--log", log], capture_output=True, text=True,
                                timeout=120)
    finally:
        out = sim.stop()
    check(result.stdout.count("\n") == 1, "one JSON line: %r %r" % (result.stdout, result.stderr))
    rows = open(log).read().splitlines() if os.path.exists(log) else []
    return json.loads(result.stdout), result.returncode, rows, MeterSim.frames(out)


def case_results():
    """Each test to its end against its simulated source: the exit status, the JSON's figures,
    a log row per reading, and 66FFFF as the first frame and the last (the input never on once
    refused)."""
    rows = [
        (["--supply", "12,2.5"], ["ocp", "--from", "2", "--to", "3", "--step", "0.1", "--trip",
                                  "10", "--refine", "--recover", "1.1", "--dwell", "0.2"],
         0, lambda j: j["stopped_by"] == "trip" and 2.5 < j["trip_A"] <= 2.51 and
         j["last_good_A"] == 2.5 and j["latched"] is False and abs(j["no_load_V"] - 12) < 0.01),
        (["--supply", "12,2.5"], ["opp", "--from", "26", "--to", "34", "--step", "2", "--trip",
                                  "6", "--dwell", "0.2"],
         0, lambda j: j["stopped_by"] == "trip" and j["trip_W"] == 30.0 and
         j["last_good_W"] == 28.0 and j["latched"] is None),
        (["--supply", "12,2.5,latch"], ["ocp", "--from", "2.4", "--to", "3", "--step", "0.1",
                                        "--trip", "10", "--refine", "--recover", "0.5",
                                        "--dwell", "0.2"],
         0, lambda j: j["stopped_by"] == "latched" and j["latched"] is True),
        (["--supply", "12,2.5"], ["ocp", "--from", "1", "--to", "2", "--step", "0.5", "--trip",
                                  "10", "--dwell", "0.2"],
         0, lambda j: j["stopped_by"] == "end" and j["trip_A"] is None and
         j["last_good_A"] == 2.0),
        (["--supply", "12,2.5"], ["ocp", "--from", "1", "--to", "2", "--step", "0.5", "--trip",
                                  "12.5"],
         1, lambda j: j["stopped_by"] == "refused" and "not below" in j["why"]),
        (["--pv", "21.6,3"], ["sweep", "cc", "0", "3.2", "0.1", "--stop-below", "1", "--dwell",
                              "0.2"],
         0, lambda j: j["stopped_by"] == "stop-below" and abs(j["open_circuit_V"] - 21.6) < 0.01
         and abs(j["short_circuit_A"] - 3.0) < 0.1 and abs(j["fill_factor"] - 0.75) < 0.03 and
         abs(j["mpp_W"] - 48.6) < 1.5),
        (["--battery", "2,1,0.08"], ["dcir", "--low", "0.2", "--high", "2", "--low-time", "0.4",
                                     "--high-time", "0.3", "--repeat", "2", "--rest", "0.4"],
         0, lambda j: j["stopped_by"] == "end" and len(j["runs"]) == 2 and
         abs(j["resistance_ohm"] - 0.08) < 0.01),
    ]
    for source, words, status, figures in rows:
        summary, code, log, frames = run_against(source, *words)
        name = " ".join(words[:1] + source)
        check(code == status and figures(summary), "%s: exit %d, %r" % (name, code, summary))
        check(summary["input_off"] is True and summary["meter_idn"].startswith("RZ417-SIM"),
              "%s: %r" % (name, summary))
        check(log[0] == HEADER and len(log) == summary["readings"] + 1 and
              log[1].split(",")[1:3] == ["0", ""], "%s: log %r" % (name, log[:3]))
        # A refused test never switched the input on.
        check(frames[0] == "66FFFF" and frames[-1] == "66FFFF" and
              ("6600FF" in frames) == (status == 0), "%s: frames %r" % (name, frames))


def case_ends():
    """A signal and a silent meter mid-ramp: 66FFFF first, then the JSON that says why."""
    for end, status, stopped_by in (("signal", 130, "signal"), ("silent", 1, "meter")):
        line = Line()
        meter = FakeMeter(["12"] * (50 if end == "signal" else 3))
        proc = subprocess.Popen([ARGS.ctl, "-p", line.path, "-q", "ocp", "--from", "1", "--to",
                                 "10", "--step", "0.1", "--trip", "10", "--dwell", "0.2",
                                 "--meter", "127.0.0.1:%d" % meter.port, "--json"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if end == "signal":
            end_by = time.monotonic() + DEADLINE
            while meter.asked < 4:
                check(time.monotonic() < end_by, "no readings")
                time.sleep(0.05)
            proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=DEADLINE)
        summary = json.loads(out)
        check(proc.returncode == status and summary["stopped_by"] == stopped_by and
              summary["input_off"] is True, "%s: exit %d, %r %r" % (end, proc.returncode, out,
                                                                   err))
        check(frames_of(line.read(0.2))[-1] == "66FFFF", "%s: %r" % (end, line.received))


CASES = {"results": case_results, "ends": case_ends}

if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ctl", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    ARGS = parser.parse_args()
    sys.exit(run_case(CASES, ARGS.case))
