#!/usr/bin/env python3
"""rz417ctl as a user runs it: against real pseudo-terminals and rz417-sim.

    rz417ctl_test.py --ctl build/bin/rz417ctl --sim build/bin/rz417-sim CASE
"""

import argparse
import datetime
import json
import os
import resource
import pty
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import (DEADLINE, Failure, Line, SystemBus, check, check_drained,  # noqa: E402
                       frames_of, journal_rows, line_events, run_case, traced_env, wait_until)

ARGS = None


def ctl(*args, env=None, **kwargs):
    full_env = dict(os.environ)
    full_env.pop("RZ417_PORT", None)
    full_env.update(env or {})
    return subprocess.run([ARGS.ctl] + list(args), capture_output=True, text=True, env=full_env,
                          timeout=DEADLINE, **kwargs)


def start(*args, env=None):
    full_env = dict(os.environ)
    full_env.pop("RZ417_PORT", None)
    full_env.update(env or {})
    return subprocess.Popen([ARGS.ctl] + list(args), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=full_env)


# Command lines -> the frames they send, or exit status 2 and (part of) the message.
HIGH = "above 1 A the load takes 0.01 A steps"
TABLE = [
    # Every mode at its range's ends, with and without its units.
    ("cv 0", ["620000"]),
    ("cv 12.34", ["6204D2"]),
    ("cv 12.34V", ["6204D2"]),
    ("cv 63", ["62189C"]),
    ("cv 63.00V", ["62189C"]),
    ("cv 0.05", ["620005"]),
    ("cv 12340mV", ["6204D2"]),
    ("cc 0.500", ["6701F4"]),
    ("cc 1", ["6703E8"]),
    ("cc 1.000A", ["6703E8"]),
    ("cc 0.016", ["670010"]),
    ("cc 1500mA", ["630096"]),
    ("cc 1.5A", ["630096"]),
    ("cc 12.34", ["6304D2"]),
    ("cc 15", ["6305DC"]),
    ("cp 200", ["6407D0"]),
    ("cp 12.5W", ["64007D"]),
    ("cp 150W", ["6405DC"]),
    ("cr 999.9", ["65270F"]),
    ("cr 1ohm", ["65000A"]),
    ("cr 47.5\u03a9", ["6501DB"]),
    ("CC 0.5 ON OFF", ["6701F4", "6600FF", "66FFFF"]),
    ("cc 1.5 on wait 0.05 off", ["630096", "6600FF", "66FFFF"]),
    ("on wait 10ms wait 0s off", ["6600FF", "66FFFF"]),
    # The high range of the current takes 0.01 A: these go out as the panel sends them.
    ("cc 1.001", ["630064"], "1.001 A goes out as 1.00 A: " + HIGH),
    ("cc 1.005", ["630064"], "1.005 A goes out as 1.00 A: " + HIGH),
    ("cc 1.015", ["630066"], "1.015 A goes out as 1.02 A"),
    ("cc 12.355", ["6304D4"], "12.355 A goes out as 12.36 A"),
    ("-q cc 1.005", ["630064"], ""),
    # Options anywhere, bundled, with '='.
    ("cv 1 -q on", ["620064", "6600FF"]),
    ("--quiet cv 1", ["620064"]),
    # Bad words: exit 2, the word named, nothing sent.
    ("cv 63.01", 2, "'63.01' is out of range: CV takes 0 to 63.00 V"),
    ("cc 15.001", 2, "'15.001' is out of range: CC takes 0 to 15.000 A"),
    ("cp 200.1W", 2, "out of range: CP takes 0 to 200.0 W"),
    ("cr 1000", 2, "out of range: CR takes 0 to 999.9 ohm"),
    ("cv 12.345", 2, "'12.345' is finer than the CV step: CV takes whole 0.01 V steps"),
    ("cc 0.0005", 2, "finer than the CC step"),
    ("cc 1.5mA", 2, "finer than the CC step"),
    ("cp 0.05", 2, "finer than the CP step: CP takes whole 0.1 W steps"),
    ("cv -5", 2, "'-5' is not a CV setpoint: give volts as digits with '.'"),
    ("cv +5", 2, "'+5' is not a CV setpoint"),
    ("cv 1e1", 2, "'1e1' is not a CV setpoint"),
    ("cv 12,34", 2, "'12,34' is not a CV setpoint"),
    ("cv .5", 2, "'.5' is not a CV setpoint"),
    ("cv 5.", 2, "'5.' is not a CV setpoint"),
    ("cv 12.34A", 2, "'12.34A' has the unit 'A'; a CV setpoint takes V, mV or no unit"),
    ("cr 10V", 2, "a CR setpoint takes ohm"),
    ("cv", 2, "missing CV setpoint: give volts from 0 to 63.00 V"),
    ("cc 1 on cp", 2, "missing CP setpoint"),
    ("wait", 2, "wait needs a time"),
    ("wait 1,5", 2, "'1,5' is not a time"),
    ("wait 0.0001", 2, "finer than a millisecond"),
    ("wait 86401", 2, "too long a wait"),
    ("cv 1 frobnicate", 2, "'frobnicate' is not a command: give cv, cc, cp, cr, on, off, wait"),
    ("cv 1 --frob", 2, "unknown option '--frob'"),
    ("-x cv 1", 2, "unknown option '-x'"),
    ("cv " + "1" * 200, 2, "is too long for a CV setpoint (200 characters)"),
    ("cv 1 " + "x" * 5000, 2, "'" + "x" * 40 + "...' is not a command"),
    ("cv 1 --repeat 2", 2, "--repeat does not go with the commands: it goes with run, dcir"),
    ("cv 1 run prog.csv", 2, "run takes one program file and no other command"),
    ("", 2, "no command given"),
    ("-p", 2, "-p needs a port number or a device path"),
    ("-p ttyUSB0 cv 1", 2, "'ttyUSB0' is not a port: give a port number"),
    ("-p 1 -p2 on", 2, "-p is given twice ('1' and '2'): give it once"),
    ("--journal a.csv --journal=b.csv on", 2, "--journal is given twice"),
]


def expand(row):
    args, outcome = row[0], row[1]
    words = args.split()
    return words, outcome, (row[2] if len(row) > 2 else None)


def case_table():
    """Each line --dry-run, then against a real pseudo-terminal."""
    # A German locale, built here so that the test needs no generated locales on the machine.
    locales = tempfile.mkdtemp()
    env_de = {}
    if shutil.which("localedef") and subprocess.run(
            ["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(locales, "de_DE.UTF-8")],
            capture_output=True).returncode in (0, 1):
        env_de = {"LOCPATH": locales, "LC_ALL": "de_DE.UTF-8"}
        probe = subprocess.run([sys.executable, "-c", "import locale; locale.setlocale("
                                "locale.LC_ALL, ''); print(locale.localeconv()['decimal_point'])"],
                               capture_output=True, text=True, env={**os.environ, **env_de})
        check(probe.stdout.strip() == ",", "the German locale did not take: %r" % probe.stdout)
    else:
        print("localedef is missing: the rows run in the C locale only")
    failures = []
    for env in ({}, env_de) if env_de else ({},):
        for row in TABLE:
            words, outcome, message = expand(row)
            try:
                check_row(words, outcome, message, env)
            except Failure as failure:
                failures.append("%s%r: %s" % ("[de_DE] " if env else "", " ".join(words)[:60],
                                              failure))
    shutil.rmtree(locales)
    check(not failures, "\n".join(failures))


def check_row(words, outcome, message, env):
    dry = ctl("--dry-run", *words, env=env)
    if outcome == 2:
        check(dry.returncode == 2, "dry run: status %d, not 2" % dry.returncode)
        check(dry.stdout == "", "dry run printed %r" % dry.stdout)
        check(message in dry.stderr, "message %r lacks %r" % (dry.stderr, message))
        check(dry.stderr.startswith("rz417ctl: "), "message %r" % dry.stderr)
    else:
        check(dry.returncode == 0, "dry run: status %d: %s" % (dry.returncode, dry.stderr))
        printed = re.findall(r"^\d\d:\d\d:\d\d\.\d{3} TX ([0-9A-F]{6}) ", dry.stdout, re.M)
        check(printed == outcome, "dry run printed %s" % printed)
        if message:
            check(dry.stderr.startswith("rz417ctl: " + message) and
                  dry.stderr.count("\n") == 1, "notice %r" % dry.stderr)
        else:
            check(dry.stderr == "", "unexpected output on stderr: %r" % dry.stderr)

    line = Line()
    try:
        real = ctl("-p", line.path, *words, env=env)
        received = line.read(0.05)
        if outcome == 2:
            check(real.returncode == 2, "on the line: status %d" % real.returncode)
            check(received == b"", "on the line: sent %r" % received)
        else:
            check(real.returncode == 0, "on the line: status %d: %s" % (real.returncode,
                                                                        real.stderr))
            check(frames_of(received) == outcome, "the line received %r" % received)
            check(real.stdout == "", "silent on success, but printed %r" % real.stdout)
    finally:
        line.close()


def case_verbose():
    """-v prints each frame with the time and its meaning, as it goes out."""
    line = Line()
    result = ctl("-qvp", line.path, "cv", "12.34", "cc", "1.005", "on", env={})
    check(result.returncode == 0 and result.stderr == "", result.stderr)
    lines = result.stdout.splitlines()
    expected = ["TX 6204D2 CV 12.34 V", "TX 630064 CC 1.00 A", "TX 6600FF input on"]
    check(len(lines) == 3 and all(re.fullmatch(r"\d\d:\d\d:\d\d\.\d{3} " + e, l)
                                  for e, l in zip(expected, lines)), "printed %r" % lines)
    check(frames_of(line.read(0.05)) == ["6204D2", "630064", "6600FF"], "frames")
    line.close()


def case_simulator():
    """rz417-sim decodes the frames as the panel's own: the same setpoints, the same frames."""
    work = tempfile.mkdtemp()
    link = os.path.join(work, "port")
    sim = subprocess.Popen([ARGS.sim, "--link", link, "--jsonl"], stdout=subprocess.PIPE,
                           text=True)
    try:
        end = time.monotonic() + DEADLINE
        while not os.path.exists(link):
            check(time.monotonic() < end, "rz417-sim made no link")
            time.sleep(0.02)
        # The panel's frames for these setpoints (its encoder's table).
        sent = [("cv", "12.34", "6204D2", "CV 12.34 V"), ("cv", "63", "62189C", "CV 63.00 V"),
                ("cc", "0.5", "6701F4", "CC 0.500 A (low range)"),
                ("cc", "1", "6703E8", "CC 1.000 A (low range)"),
                ("cc", "1.005", "630064", "CC 1.00 A (high range)"),
                ("cc", "12.355", "6304D4", "CC 12.36 A (high range)"),
                ("cp", "200", "6407D0", "CP 200.0 W"), ("cr", "999.9", "65270F", "CR 999.9 ohm")]
        words = [w for s in sent for w in s[:2]] + ["on", "off"]
        result = ctl("-q", "-p", "1", *words, env={"RZ417_PORTS": link})
        check(result.returncode == 0, result.stderr)
        # The same from the environment's default port.
        result = ctl("cc", "2", env={"RZ417_PORT": link})
        check(result.returncode == 0, result.stderr)
        frames = []
        while len(frames) < len(sent) + 3:
            text = sim.stdout.readline()
            check(text, "rz417-sim ended")
            event = json.loads(text) if text.startswith("{") else {"event": "port"}
            if event["event"] == "frame":
                check(event["valid"], "bad frame %r" % event)
                frames.append((event["frame"], event["meaning"]))
        expected = [(f, m) for _, _, f, m in sent] + [("6600FF", "input ON"),
                                                       ("66FFFF", "input OFF"),
                                                       ("6300C8", "CC 2.00 A (high range)")]
        check(frames == expected, "the simulator decoded %r" % frames)

        # A program with a journal: the journal says what the simulator decoded.
        program = write_program(PULSES)
        journal = os.path.join(work, "journal.csv")
        result = ctl("-p", link, "run", program, "--journal", journal)
        os.unlink(program)
        check(result.returncode == 0, result.stderr)
        decoded = []
        while len(decoded) < 5:
            event = json.loads(sim.stdout.readline())
            if event["event"] == "frame":
                decoded.append((event["frame"], event["meaning"]))
        journaled = [(r[4], r[5]) for r in journal_rows(journal)]
        check([f for f, _ in journaled] == [f for f, _ in decoded] and
              all(d.lower().startswith(j.lower()) for (_, j), (_, d) in zip(journaled, decoded)),
              "journal %r, simulator %r" % (journaled, decoded))
    finally:
        sim.send_signal(signal.SIGINT)
        sim.wait(DEADLINE)
        shutil.rmtree(work)


def case_interrupted():
    """SIGINT, SIGTERM and SIGHUP during a wait after on: the input goes off, 128 + signal."""
    for sig, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143), (signal.SIGHUP, 129)):
        line = Line()
        proc = start("-p", line.path, "cc", "1.5", "on", "wait", "30", "off")
        line.wait_for(b"6600FF")
        if sig == signal.SIGINT:
            # The line as the panel sets it up: 115200 baud, 8N1, no flow control.
            attrs = line.settings()
            check(attrs[4] == termios.B115200 and attrs[5] == termios.B115200,
                  "line speed %r" % attrs[4:6])
            cflag = attrs[2]
            check(cflag & termios.CSIZE == termios.CS8 and not cflag & termios.PARENB and
                  not cflag & termios.CSTOPB and not cflag & termios.CRTSCTS,
                  "line not 8N1 without flow control: cflag %o" % cflag)
        began = time.monotonic()
        proc.send_signal(sig)
        _, err = proc.communicate(timeout=DEADLINE)
        check(time.monotonic() - began < 5, "the wait was not cut short")
        check(proc.returncode == status, "%s: status %d" % (sig.name, proc.returncode))
        check(frames_of(line.read(0.05)) == ["630096", "6600FF", "66FFFF"],
              "%s: the line received %r" % (sig.name, line.received))
        check("interrupted by %s at 'wait 30'" % sig.name in err and
              "switched the input off (66FFFF)" in err, err)
        line.close()
    # Interrupted before anything was switched on: nothing is added.
    line = Line()
    proc = start("-p", line.path, "cv", "5", "wait", "30", "on")
    line.wait_for(b"6201F4")
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 130 and "switched" not in err, err)
    check(line.read(0.05) == b"6201F4", "sent %r" % line.received)
    line.close()


# How each command that holds the input on dies -> its exit status and what it says. A fault
# (SIGSEGV, SIGABRT: what abort() and std::terminate raise) is the system's own end (-N: killed by
# signal N, the shell's 128 + N), SIGQUIT and SIGHUP end it as SIGTERM does.
DEATHS = [
    (signal.SIGSEGV, -signal.SIGSEGV, "fatal signal SIGSEGV; switched the input off (66FFFF)"),
    (signal.SIGABRT, -signal.SIGABRT, "fatal signal SIGABRT (aborted); switched the input off"),
    (signal.SIGQUIT, 131, "by SIGQUIT"),
    (signal.SIGHUP, 129, "by SIGHUP"),
]


def held_on_commands(work):
    """Each command that holds the input on, started with its line: (name, Popen, Line)."""
    program = os.path.join(work, "held.csv")
    with open(program, "w") as f:
        f.write("mode,setpoint,input,dwell\nCC,1,on,30\n")
    commands = [("run", ["run", program]),
                ("battery", ["battery", "cc", "1", "--capacity", "100Ah", "--interval", "0.2"]),
                ("serve", ["serve", "--listen", "0"])]
    for name, words in commands:
        line = Line()
        proc = start("-p", line.path, *words)
        if name == "serve":
            port = int(re.search(r"serving SCPI on [^ ]*:(\d+) ", proc.stderr.readline()).group(1))
            client = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
            client.sendall(b"CURR 1;:INP ON\n")
            line.wait_for(b"6600FF")
            client.close()
        yield name, proc, line


def case_deaths():
    """Each signal that ends rz417ctl run, battery and serve while the input is on, and serve's
    std::terminate, leave 66FFFF the load's last frame, with the status of that signal."""
    work = tempfile.mkdtemp()
    failures = []
    for sig, status, says in DEATHS:
        for name, proc, line in held_on_commands(work):
            line.wait_for(b"6600FF")
            proc.send_signal(sig)
            _, err = proc.communicate(timeout=DEADLINE)
            frames = frames_of(line.read(0.1))
            if (frames[-1:] != ["66FFFF"] or proc.returncode != status or says not in err or
                    "switched the input off (66FFFF)" not in err):
                failures.append("%s, %s: status %d, frames %r, %r" % (
                    name, sig.name, proc.returncode, frames, err))
            line.close()
    shutil.rmtree(work)
    # Memory running out while a client's message is read: std::bad_alloc that nothing
    # catches, std::terminate and abort() (under AddressSanitizer its own report and abort()).
    line = Line()
    server = start("-p", line.path, "serve", "--listen", "0")
    port = int(re.search(r"serving SCPI on [^ ]*:(\d+) ", server.stderr.readline()).group(1))
    client = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
    client.sendall(b"CURR 1;:INP ON\n")
    line.wait_for(b"6600FF")
    with open("/proc/%d/status" % server.pid) as f:
        size = int(re.search(r"VmSize:\s+(\d+)", f.read()).group(1)) * 1024
    resource.prlimit(server.pid, resource.RLIMIT_AS, (size + 65536, size + 65536))
    try:
        client.sendall(b"*IDN?;" * 200000 + b"\n")
    except OSError:
        pass
    _, err = server.communicate(timeout=DEADLINE)
    frames = frames_of(line.read(0.1))
    if (frames[-1:] != ["66FFFF"] or server.returncode != -signal.SIGABRT or
            "switched the input off (66FFFF)" not in err):
        failures.append("serve out of memory: status %d, frames %r, %r" % (
            server.returncode, frames, err))
    line.close()
    check(not failures, "\n".join(failures))


INHIBIT = "inhibit sleep|rz417ctl|a run holds the electronic load's input on|block"
TOGGLES = "mode,setpoint,input,dwell\nCC,1,,0.5\n,,on,0.3\n,,off,0.3\n,,on,0.3\n,,off,0\n"


def case_sleep():
    """A run holds the host's sleep off with logind's inhibitor, taken when its input goes on
    and let go when it ends; serve holds it while the input is on. Without logind the run goes
    on, with one notice (none with -q)."""
    work = tempfile.mkdtemp()
    bus = SystemBus(work)
    try:
        program = write_program(TOGGLES)
        for words, on in ((["run", program], 0.5), (["battery", "cc", "1", "--time", "1.2"], 0),
                          (["cc", "1", "on", "wait", "1", "off"], 0)):
            line = Line()
            began = time.time()
            proc = start("-p", line.path, *words, env=bus.env())
            line.wait_for(b"6600FF")
            wait_until("the inhibitor", bus.events)
            # Taken with the input on, at its due time from the run's start, never before.
            check(bus.times()[0] >= began + on, "held off %.3f s after the start, before the "
                  "input went on at %.1f s" % (bus.times()[0] - began, on))
            _, err = proc.communicate(timeout=DEADLINE)
            wait_until("its release", lambda: bus.events()[-1:] == ["released"])
            check(proc.returncode == 0 and "sleep" not in err, "%s: %r" % (words[0], err))
            check(bus.events() == [INHIBIT, "released"], "%s: %r" % (words[0], bus.events()))
            check(frames_of(line.read(0.05))[-1] == "66FFFF", "%s: %r" % (words[0], line.received))
            bus.lines.clear()
            line.close()
        os.unlink(program)
        line = Line()
        proc = start("-p", line.path, "serve", "--listen", "0", env=bus.env())
        port = int(re.search(r"serving SCPI on [^ ]*:(\d+) ", proc.stderr.readline()).group(1))
        client = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
        for command, events in (("INP ON", [INHIBIT]), ("INP OFF", [INHIBIT, "released"]),
                                ("INP ON", [INHIBIT, "released", INHIBIT])):
            client.sendall(command.encode() + b"\n")
            wait_until("serve's %s: %r" % (command, events), lambda: bus.events() == events)
        client.close()
        proc.send_signal(signal.SIGTERM)
        proc.communicate(timeout=DEADLINE)
        line.close()
    finally:
        bus.close()

    # No bus, or no logind on it: one notice for the run, however often its input goes on.
    bare = SystemBus(work, logind=False)
    program = write_program(TOGGLES)
    try:
        for env, quiet, says in (
                ({"DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(work, "none")}, [],
                 "sleep is not held off: no system bus ("),
                (bare.env(), [], "sleep is not held off: logind is not on the system bus"),
                (bare.env(), ["-q"], "")):
            line = Line()
            result = ctl(*quiet, "-p", line.path, "run", program, env=env)
            notices = [l for l in result.stderr.splitlines() if "sleep" in l]
            check(result.returncode == 0 and
                  (notices == [] if not says else len(notices) == 1 and says in notices[0]),
                  "%s: %r" % (says or "-q", result.stderr))
            check(frames_of(line.read(0.05))[-1] == "66FFFF", "%r" % line.received)
            line.close()
    finally:
        bare.close()
        os.unlink(program)
        shutil.rmtree(work)


def case_boottime():
    """Runs count in the clock that goes on while the host is suspended: where it stands far
    from the steady clock (a time namespace's boot-time offset, as after days of suspends), a
    wait, a program's step and a battery test's time still end at their own time, never before
    it (a clock mixed up with the other ends them at once, or days late)."""
    if subprocess.run(["unshare", "--time", "--boottime", "1000000", "true"],
                      capture_output=True).returncode != 0:
        print("no time namespace here (unshare --time needs root): the case is skipped")
        return
    work = tempfile.mkdtemp()
    program = write_program("mode,setpoint,input,dwell\nCC,1,on,1\n,,off,0\n")
    for words in (["cc", "1", "on", "wait", "1", "off"], ["run", program],
                  ["battery", "cc", "1", "--time", "1", "--interval", "0.2"]):
        journal = os.path.join(work, "journal.csv")
        line = Line()
        # The run starts after this; its off frame is due a second after its start.
        before = datetime.datetime.now().astimezone()
        result = subprocess.run(["unshare", "--time", "--boottime", "1000000", ARGS.ctl, "-q",
                                 "-p", line.path, "--journal", journal] + words,
                                capture_output=True, text=True, timeout=DEADLINE)
        off = [datetime.datetime.fromisoformat(r[0]) for r in journal_rows(journal)
               if r[4] == "66FFFF"]
        # The journal's stamps have whole milliseconds.
        took = (off[0] - before).total_seconds() + 0.001 if off else 0
        check(result.returncode == 0 and took >= 1.0,
              "%s: status %d, off %.3f s after the start, due at 1 s: %r" % (
                  words[0], result.returncode, took, result.stderr))
        line.close()
        os.unlink(journal)
    os.unlink(program)
    shutil.rmtree(work)


def case_vanished():
    """The far end goes away during a wait: exit 1, the panel's text and the command named."""
    line = Line()
    proc = start("-p", line.path, "on", "wait", "0.3", "off")
    line.wait_for(b"6600FF")
    line.vanish()
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 1, "status %d: %s" % (proc.returncode, err))
    check("stopped at 'off': Device not Open" in err, err)
    check("could not switch the input off" in err, err)


def case_held():
    """A port that another rz417ctl holds, or one not permitted, is refused; nothing is sent."""
    line = Line()
    holder = start("-p", line.path, "on", "wait", "30")
    line.wait_for(b"6600FF")
    result = ctl("-p", line.path, "cv", "1")
    holder.send_signal(signal.SIGTERM)
    holder.communicate(timeout=DEADLINE)
    check(result.returncode == 1, "status %d" % result.returncode)
    check("in use by another program (process %d)" % holder.pid in result.stderr, result.stderr)
    check("'cv 1'" in result.stderr and "nothing was sent" in result.stderr, result.stderr)
    check(frames_of(line.read(0.05)) == ["6600FF", "66FFFF"], "received %r" % line.received)
    line.close()

    # A device the user may not open: root opens anything, so drop to nobody for this.
    if os.geteuid() != 0 or not shutil.which("setpriv"):
        print("not root or no setpriv: the permission case is skipped")
        return
    line = Line()
    result = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                             ARGS.ctl, "-p", line.path, "cv", "1"], capture_output=True, text=True,
                            timeout=DEADLINE)
    if "Permission denied" in result.stderr and "rz417ctl:" not in result.stderr:
        print("nobody may not run %s here: the permission case is skipped" % ARGS.ctl)
    else:
        check(result.returncode == 1 and "permission denied (add your user to the" in
              result.stderr, "status %d: %r" % (result.returncode, result.stderr))
        check(line.read(0.05) == b"", "sent %r" % line.received)
    line.close()


def case_no_port():
    """Without -p or RZ417_PORT nothing is sent: exit 2 and the ports seen; a bad -p is named."""
    line = Line()
    result = ctl("cv", "1", env={"RZ417_PORTS": line.path})
    check(result.returncode == 2, "status %d" % result.returncode)
    check("no port given" in result.stderr and "1  " + line.path in result.stderr, result.stderr)
    for word, status, message in (("ttyUSB0 cv", 2, "'ttyUSB0' is not a port"),
                                  ("0 cv", 2, "'0' is not a port number"),
                                  ("2 cv", 1, "Invalid or Unsupported ID (port 2"),
                                  ("2 wait 30 cv", 1, "'cv 1': Invalid or Unsupported ID"),
                                  ("/dev/rz417-none cv", 1, "Hardware not present")):
        # A port that will not open is known at once, before any wait.
        result = ctl("-p", *word.split(), "1", env={"RZ417_PORTS": line.path})
        check(result.returncode == status and message in result.stderr,
              "-p %s: status %d, %r" % (word, result.returncode, result.stderr))
    check(line.read(0.05) == b"", "sent %r" % line.received)
    ports = ctl("ports", env={"RZ417_PORTS": line.path + "::/dev/rz417-none"})
    check(ports.returncode == 0, ports.stderr)
    check(ports.stdout.splitlines() == ["1  %s  free" % line.path, "2  -  no device",
                                        "3  /dev/rz417-none  no such device"],
          "ports listed %r" % ports.stdout)
    line.close()


def case_help():
    """--help fits a screen; --version names the version."""
    result = ctl("--help")
    lines = result.stdout.splitlines()
    check(result.returncode == 0 and len(lines) <= 24 and max(map(len, lines)) <= 80,
          "help: %d lines" % len(lines))
    result = ctl("--version")
    check(result.returncode == 0 and re.fullmatch(r"rz417ctl \d+\.\d+\.\d+\n", result.stdout),
          result.stdout)


def case_dependencies():
    """rz417ctl needs Qt Core, Qt SerialPort, Qt Network and Qt DBus (for logind), nothing of
    Qt's GUI."""
    out = subprocess.run(["readelf", "-d", ARGS.ctl], capture_output=True, text=True).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.*)\]", out)
    qt = sorted(n for n in needed if "Qt" in n)
    check(qt == ["libQt6Core.so.6", "libQt6DBus.so.6", "libQt6Network.so.6",
                "libQt6SerialPort.so.6"],
          "links %r" % needed)


def write_program(text):
    handle, path = tempfile.mkstemp(suffix=".csv")
    with os.fdopen(handle, "w") as f:
        f.write(text)
    return path


def read_timed(line, count, timeout=DEADLINE):
    """Reads count frames from the line, each with the time its last byte arrived."""
    frames, pending = [], b""
    end = time.monotonic() + timeout
    while len(frames) < count:
        check(time.monotonic() < end, "timed out after %r" % frames)
        ready, _, _ = select.select([line.master], [], [], 0.05)
        if not ready:
            continue
        try:
            data = os.read(line.master, 4096)
        except OSError:
            break
        now = time.monotonic()
        pending += data
        while len(pending) >= 6:
            frames.append((pending[:6].decode(), now))
            pending = pending[6:]
    return frames


PULSES = """mode,setpoint,input,dwell,comment
CC,0.500,on,0.3,base
CC,2.000,,0.2,"pulse, short"
CP,12.5W,,0.1,
,,off,0,
"""


def case_program():
    """A short program: the right frames, in order, each at its due time; journal and -v."""
    path = write_program(PULSES)
    work = tempfile.mkdtemp()
    journal = os.path.join(work, "journal.csv")
    line = Line()
    proc = start("-v", "-p", line.path, "run", path, "--journal", journal)
    frames = read_timed(line, 5)
    out, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 0, "status %d: %s" % (proc.returncode, err))
    check(all(l.startswith("rz417ctl: sleep is not held off: ") for l in err.splitlines()),
          "stderr is not a terminal: nothing but messages, got %r" % err)
    check([f for f, _ in frames] == ["6701F4", "6600FF", "6300C8", "64007D", "66FFFF"],
          "frames %r" % frames)
    rows = journal_rows(journal)
    # The schedule is absolute: each step is due at its own time from the first frame, so a step
    # after a late one follows it sooner than its dwell. The journal's stamps are taken as each
    # frame goes out, free of this reader's own delays; they have millisecond steps.
    sent = [datetime.datetime.fromisoformat(r[0]) for r in rows]
    for index, due in ((2, 0.3), (3, 0.5), (4, 0.6)):
        at = (sent[index] - sent[0]).total_seconds()
        check(due - 0.01 <= at <= due + 0.5, "step %s went out at +%.3f s, due at +%.1f s" %
              (rows[index][2], at, due))
    check([(r[1], r[2], r[3], r[4], r[5], r[6]) for r in rows] == [
        ("program", "1", "2", "6701F4", "CC 0.500 A", "sent"),
        ("program", "1", "2", "6600FF", "input on", "sent"),
        ("program", "2", "3", "6300C8", "CC 2.00 A", "sent"),
        ("program", "3", "4", "64007D", "CP 12.5 W", "sent"),
        ("program", "4", "5", "66FFFF", "input off", "sent")], "journal %r" % rows)
    check(len(out.splitlines()) == 5 and "TX 6300C8 CC 2.00 A  (step 2, line 3)" in out, out)
    # The commands journal too, as the source cli, below the same header.
    result = ctl("-p", line.path, "--journal", journal, "cv", "1", "on")
    check(result.returncode == 0, result.stderr)
    rows = journal_rows(journal)
    check([(r[1], r[2], r[3], r[4], r[5]) for r in rows[-2:]] ==
          [("cli", "", "", "620064", "CV 1.00 V"), ("cli", "", "", "6600FF", "input on")],
          "journal %r" % rows[-2:])
    line.close()
    shutil.rmtree(work)
    os.unlink(path)


def case_program_refused():
    """A program with problems: each one as FILE:LINE, exit 2, nothing sent; a dry run's plan."""
    path = write_program("mode,setpoint,input,dwell\nCX,1,on,1\nCC,99,,1\nCC,1.005,,1\n")
    line = Line()
    result = ctl("-p", line.path, "run", path)
    check(result.returncode == 2, "status %d" % result.returncode)
    lines = result.stderr.splitlines()
    check(lines[0].startswith(path + ":2: ") and lines[1].startswith(path + ":3: ") and
          "the program was refused (2 problems); nothing was sent" in lines[-1], result.stderr)
    check(line.read(0.05) == b"", "sent %r" % line.received)
    os.unlink(path)
    path = write_program(PULSES)
    result = ctl("--dry-run", "run", path, "--repeat", "2")
    check(result.returncode == 0, result.stderr)
    lines = result.stdout.splitlines()
    check(lines[0] == "+0:00:00.000  step 1 (line 2) pass 1  TX 6701F4 CC 0.500 A" and
          lines[8] == "+0:00:01.100  step 3 (line 4) pass 2  TX 64007D CP 12.5 W" and
          lines[-1] == "+0:00:01.200  end", "schedule %r" % lines)
    result = ctl("--dry-run", "run", path, "--forever")
    check(result.stdout.splitlines()[-1] ==
          "+0:00:00.600  the list starts again, until interrupted", result.stdout)
    line.close()
    os.unlink(path)


def case_program_interrupted():
    """SIGINT mid-step: 66FFFF goes out, exit 130, the step and line named."""
    path = write_program("mode,setpoint,input,dwell\nCC,1,on,0.2\nCC,2,,30\nCC,1,,1\n")
    line = Line()
    proc = start("-p", line.path, "run", path, "--repeat", "3")
    line.wait_for(b"6300C8")
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 130, "status %d: %s" % (proc.returncode, err))
    check(frames_of(line.read(0.05)) == ["6703E8", "6600FF", "6300C8", "66FFFF"],
          "received %r" % line.received)
    check("interrupted by SIGINT at step 2 (%s line 3) of pass 1" % path in err, err)
    check("switched the input off (66FFFF)" in err, err)
    line.close()
    os.unlink(path)


def case_program_vanished():
    """The far end goes away mid-program: exit 1, naming the step."""
    path = write_program("mode,setpoint,input,dwell\nCV,5,on,0.3\nCV,6,,0.3\n,,off,0\n")
    line = Line()
    proc = start("-p", line.path, "run", path)
    line.wait_for(b"6600FF")
    line.vanish()
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 1, "status %d: %s" % (proc.returncode, err))
    check("stopped at step 2 (%s line 3): Device not Open" % path in err, err)
    os.unlink(path)


def case_journal():
    """Whole lines after SIGKILL; two processes on one journal; an unwritable one sends nothing."""
    work = tempfile.mkdtemp()
    path = write_program("mode,setpoint,input,dwell\n" + "CC,0.5,on,0.005\nCC,0.6,off,0.005\n" * 200)
    journal = os.path.join(work, "journal.csv")
    line = Line()
    proc = start("-p", line.path, "run", path, "--journal", journal)
    line.wait_for(b"6702" + b"58", timeout=DEADLINE)
    time.sleep(0.3)
    proc.kill()
    proc.wait()
    received = frames_of(line.read(0.1))
    rows = journal_rows(journal)
    # Each frame's line follows it: at most the last frame sent lacks its line.
    check(len(received) - 1 <= len(rows) <= len(received) and
          [r[4] for r in rows] == received[:len(rows)], "%d frames, %d lines" %
          (len(received), len(rows)))
    line.close()

    # Two at once, appending to a fresh journal.
    os.unlink(journal)
    lines = [Line(), Line()]
    procs = [start("-p", l.path, "-q", "run", path, "--journal", journal) for l in lines]
    for l, p in zip(lines, procs):
        check(len(read_timed(l, 800)) == 800, "frames")
        p.communicate(timeout=DEADLINE)
        check(p.returncode == 0, "status %d" % p.returncode)
        l.close()
    rows = journal_rows(journal)
    check(len(rows) == 1600, "%d journal lines, not 1600" % len(rows))

    # A journal that cannot be opened: nothing is sent.
    line = Line()
    for bad in (os.path.join(work, "missing", "j.csv"), work):
        for words in (["cv", "1", "on"], ["run", path]):
            result = ctl("-p", line.path, "--journal", bad, *words)
            check(result.returncode == 1 and "nothing was sent" in result.stderr,
                  "%s: status %d %r" % (bad, result.returncode, result.stderr))
    check(line.read(0.05) == b"", "sent %r" % line.received)
    line.close()

    # A journal the disk stops taking mid-run (a file size limit): stopped like a line failure.
    os.unlink(journal)

    def small_files():
        resource.setrlimit(resource.RLIMIT_FSIZE, (300, 300))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    held_on = write_program("mode,setpoint,input,dwell\nCC,0.5,on,0.005\n" +
                            "CC,0.6,,0.005\n" * 50 + ",,off,0\n")
    line = Line()
    result = ctl("-p", line.path, "run", held_on, "--journal", journal, preexec_fn=small_files)
    sent = frames_of(line.read(0.1))
    check(result.returncode == 1 and "cannot write the journal" in result.stderr and
          "switched the input off" in result.stderr and sent[-1] == "66FFFF" and len(sent) < 10,
          "status %d, %d frames: %r" % (result.returncode, len(sent), result.stderr))
    line.close()
    os.unlink(held_on)
    shutil.rmtree(work)
    os.unlink(path)


def case_progress():
    """On a terminal a progress line, redrawn at most ten times a second; none with -q."""
    path = write_program("mode,setpoint,input,dwell\n" + "CC,0.5,,0.01\nCC,0.6,,0.01\n" * 50 +
                         "CV,1,,0.5\n")
    for quiet in (False, True):
        line = Line()
        master, slave = pty.openpty()
        args = [ARGS.ctl, "-p", line.path, "run", path, "--repeat", "2"] + (["-q"] if quiet else [])
        began = time.monotonic()
        proc = subprocess.Popen(args, stderr=slave, stdout=subprocess.DEVNULL)
        os.close(slave)
        shown = b""
        while True:
            try:
                data = os.read(master, 4096)
            except OSError:
                break
            if not data:
                break
            shown += data
        proc.wait(DEADLINE)
        took = time.monotonic() - began
        os.close(master)
        line.close()
        check(proc.returncode == 0, "status %d" % proc.returncode)
        draws = shown.count(b"\r") - 1  # the last one clears the line
        if quiet:
            check(shown == b"", "-q printed %r" % shown)
            continue
        check(b"step 101 of 101: CV 1.00 V" in shown and b"repeat 2 of 2" in shown and
              b"left" in shown, "progress %r" % shown[-300:])
        check(1 <= draws <= took * 10 + 2, "%d redraws in %.2f s" % (draws, took))
    os.unlink(path)


def traced(trace, *args):
    """rz417ctl started with the line tracer preloaded, logging to the file trace."""
    return start(*args, env=traced_env(ARGS.trace, trace))


def check_written_and_drained(trace, device, what):
    events = line_events(trace, device)
    check("write" in events, "%s: nothing was written: %r" % (what, events))
    check_drained(events, what)


def case_drain():
    """The line is drained before closing puts its old settings back: after a one-shot command,
    and after the input-off frame of an interrupted program."""
    work = tempfile.mkdtemp()
    trace = os.path.join(work, "trace")
    line = Line()
    proc = traced(trace, "-p", line.path, "cc", "1.5", "on")
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 0, "status %d: %s" % (proc.returncode, err))
    check(frames_of(line.read(0.05)) == ["630096", "6600FF"], "received %r" % line.received)
    check_written_and_drained(trace, line.path, "cc 1.5 on")
    line.close()

    os.unlink(trace)
    path = write_program("mode,setpoint,input,dwell\nCC,1,on,30\n")
    line = Line()
    proc = traced(trace, "-p", line.path, "run", path)
    line.wait_for(b"6600FF")
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=DEADLINE)
    check(proc.returncode == 130, "status %d: %s" % (proc.returncode, err))
    check(frames_of(line.read(0.05)) == ["6703E8", "6600FF", "66FFFF"],
          "received %r" % line.received)
    check_written_and_drained(trace, line.path, "an interrupted program")
    line.close()
    os.unlink(path)
    shutil.rmtree(work)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--ctl", required=True)
    parser.add_argument("--sim")
    parser.add_argument("--trace", help="the library that logs what happens on a line")
    parser.add_argument("case", choices=sorted(CASES))
    ARGS = parser.parse_args()
    return run_case(CASES, ARGS.case)


if __name__ == "__main__":
    sys.exit(main())
