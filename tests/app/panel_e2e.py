#!/usr/bin/env python3
"""End-to-end tests of the built panel against rz417-sim, under a private Xvfb.

Each case starts its own X server, the simulator on a pseudo-terminal and the panel, answers the
start-up boxes with the keyboard, presses the panel's buttons with real pointer clicks at their
positions, and checks the frames the simulator decoded.

    panel_e2e.py --panel build/bin/rz417 --sim build/bin/rz417-sim CASE
    panel_e2e.py --panel ... --sim ... --screenshot docs/panel.png
"""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rz417test import (DEADLINE, AccessibilityBus, Display, Failure, SystemBus,  # noqa: E402
                       answer_boxes, check, check_drained, line_events, log, stop, traced_env,
                       visa, wait_until)

expect = check

CLIENT_HEIGHT = 329
CLIENT_WIDTH = 538
GROUP_BOX_OFFSET = 8  # the frame's Left and Top, 120 twips
# The program window's Start button from the window's bottom right corner.
START_FROM_RIGHT = 138
START_FROM_BOTTOM = 72

# Left, Top, Width, Height in twips, relative to the group box; 15 twips make a pixel.
BUTTONS = {
    "CV": (2040, 2520, 855, 735),
    "CC": (3120, 2520, 855, 735),
    "CP": (2040, 3480, 855, 735),
    "CR": (3120, 3480, 855, 735),
    "7": (4440, 600, 855, 735),
    "4": (4440, 1560, 855, 735),
    "1": (4440, 2520, 855, 735),
    "0": (4440, 3480, 855, 735),
    "Enter": (5520, 3480, 1935, 735),
    "2": (5520, 2520, 855, 735),
    "3": (6600, 2520, 855, 735),
    "5": (5520, 1560, 855, 735),
    "6": (6600, 1560, 855, 735),
    "8": (5520, 600, 855, 735),
    "9": (6600, 600, 855, 735),
    "Output": (360, 2520, 1335, 735),
}
# The RMT indicator, which shows only in remote.
REMOTE_INDICATOR = (3120, 1800, 975, 255)


class Simulator:
    """rz417-sim with --jsonl; its lines are collected as they come."""

    def __init__(self, binary, workdir, jsonl=True, extra=()):
        self.link = os.path.join(workdir, "rz417-port")
        args = [binary, "--link", self.link] + (["--jsonl"] if jsonl else []) + list(extra)
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=open(os.path.join(workdir, "sim.err"), "wb"),
                                        text=True, bufsize=1)
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        first = wait_until("the simulator's port line", lambda: self.snapshot()[:1])
        if not first[0].startswith("port: /dev/"):
            raise Failure("first line of rz417-sim is %r" % first[0])
        if not os.path.islink(self.link):
            raise Failure("--link did not make " + self.link)
        log(first[0])

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def snapshot(self):
        with self.lock:
            return list(self.lines)

    def events(self, kind=None):
        out = []
        for line in self.snapshot()[1:]:
            if line.startswith("meter: "):
                continue
            try:
                event = json.loads(line)
            except ValueError:
                raise Failure("not a JSON line from rz417-sim: %r" % line)
            if kind is None or event.get("event") == kind:
                out.append(event)
        return out

    def frames(self):
        return self.events("frame")

    def wait_frames(self, count):
        return wait_until("%d decoded frames (have %s)" % (count, [f["frame"] for f in self.frames()]),
                          lambda: len(self.frames()) >= count and self.frames())

    def close(self):
        stop(self.process)
        self.reader.join(5)


class Panel:
    """A running rz417 on the display: started here, or by scripts/demo and found by its window."""

    def __init__(self, display, process):
        self.display = display
        self.process = process
        self.window = None
        self.origin = None

    @classmethod
    def start(cls, binary, display, ports, workdir, extra_env=None):
        env = display.env()
        env.update(extra_env or {})
        env["RZ417_PORTS"] = ports
        env["XDG_RUNTIME_DIR"] = workdir
        # The remembered journal and folders of this user stay out of the cases.
        env["XDG_CONFIG_HOME"] = workdir
        process = subprocess.Popen([binary], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(workdir, "panel.err"), "ab"))
        return cls(display, process)

    def answer_boxes_until_window(self, title="RZ-417"):
        """Accepts each start-up box with Return until the main window shows."""
        answered = {}

        def step():
            if self.process.poll() is not None:
                raise Failure("the panel ended during start-up (exit %d)" % self.process.returncode)
            if answer_boxes(self.display, answered):
                return None
            windows = self.display.visible_windows(title)
            return windows[0] if windows else None

        self.window = wait_until("the panel's window", step)
        # The prompt "Find Com 1, Using it?" and the notice "Using COM1:".
        if len(answered) != 2:
            raise Failure("expected two start-up boxes, answered %d" % len(answered))

        def settled():
            geometry = self.display.geometry(self.window)
            if geometry and geometry[2] == CLIENT_WIDTH and geometry[3] >= CLIENT_HEIGHT:
                return geometry
            return None

        x, y, _, height = wait_until("the window at its size", settled)
        menu_bar = height - CLIENT_HEIGHT  # the client area sits under the menu bar
        if not 0 < menu_bar < 100:
            raise Failure("implausible menu bar height %d" % menu_bar)
        self.origin = (x, y + menu_bar)
        log("window %s at %d,%d, menu bar %d" % (self.window, x, y, menu_bar))

    def button_centre(self, name):
        left, top, width, height = BUTTONS[name]
        return (self.origin[0] + GROUP_BOX_OFFSET + (left + width // 2) // 15,
                self.origin[1] + GROUP_BOX_OFFSET + (top + height // 2) // 15)

    def click(self, *names):
        for name in names:
            x, y = self.button_centre(name)
            # No --sync: it waits for the pointer to move, which it does not when the same
            # button is pressed twice. The server handles the motion before the click anyway.
            self.display.xdotool("mousemove", str(x), str(y), "click", "1")

    def remote_shown(self):
        """Whether the RMT indicator is drawn: more than its background in its place."""
        left, top, width, height = REMOTE_INDICATOR
        return len(self.display.colours(
            (self.origin[0] + GROUP_BOX_OFFSET + left // 15,
             self.origin[1] + GROUP_BOX_OFFSET + top // 15, width // 15, height // 15))) > 1

    def type_keys(self, *keys):
        """X key names, typed into the panel's window as a user at the keyboard does."""
        self.display.xdotool("windowfocus", "--sync", self.window, check=False)
        for key in keys:
            self.display.xdotool("key", key)

    def windows(self):
        """The panel's visible X windows: its own, its boxes, its dialogs and an open menu."""
        # By the window's own process: under scripts/demo the process started is the demo's.
        pid = self.display.xdotool("getwindowpid", self.window, check=False).stdout.strip()
        result = self.display.xdotool("search", "--onlyvisible", "--pid", pid, check=False)
        return set(result.stdout.split())

    def menu(self, key):
        """File's menu opened from the keyboard, then the entry of key, once the menu is there
        to take it."""
        for _ in range(3):
            before = self.windows()
            self.display.xdotool("windowfocus", "--sync", self.window, check=False)
            self.display.xdotool("key", "alt+f")
            try:
                wait_until("the File menu", lambda: self.windows() - before, deadline=5)
            except Failure:
                log("the File menu did not open; again")
                continue
            self.display.xdotool("key", key)
            return
        raise Failure("the File menu did not open")

    def exit_from_menu(self):
        """File, Exit, with the keyboard, as a user would end the panel."""
        self.menu("x")
        try:
            return self.process.wait(DEADLINE)
        except subprocess.TimeoutExpired:
            raise Failure("File, Exit did not end the panel")

    def close(self):
        stop(self.process)


class Session:
    """What a case needs of Xvfb, the simulator and panels, torn down in reverse order."""

    def __init__(self, args, display=True, simulator=True, screen="1400x900", sim_args=()):
        self.args = args
        self.workdir = tempfile.mkdtemp(prefix="rz417-e2e-")
        self.parts = []
        self.display = self.keep(Display(self.workdir, screen)) if display else None
        self.sim = (self.keep(Simulator(args.sim, self.workdir, extra=sim_args)) if simulator
                    else None)

    def keep(self, part):
        self.parts.append(part)
        return part

    def start_panel(self, ports=None, extra_env=None):
        return self.keep(Panel.start(self.args.panel, self.display,
                                     ports if ports is not None else self.sim.link,
                                     self.workdir, extra_env))

    def connected_panel(self):
        panel = self.start_panel()
        panel.answer_boxes_until_window()
        return panel

    def close(self, keep_logs):
        for part in reversed(self.parts):
            try:
                part.close()
            except Exception:  # keep tearing down the rest
                pass
        if keep_logs:
            for name in ("xvfb.log", "sim.err", "panel.err"):
                path = os.path.join(self.workdir, name)
                if os.path.exists(path) and os.path.getsize(path) > 0:
                    sys.stderr.write("--- %s\n%s" % (name, open(path, errors="replace").read()))
            if self.sim:
                sys.stderr.write("--- simulator output\n%s\n" % "\n".join(self.sim.snapshot()))
        shutil.rmtree(self.workdir, ignore_errors=True)


def send_and_check(session, panel, steps):
    """Clicks each step's buttons and checks the frames that the simulator decodes."""
    for buttons, expected in steps:
        before = len(session.sim.frames())
        log("click " + " ".join(buttons))
        panel.click(*buttons)
        if expected is None:
            continue
        frames = session.sim.wait_frames(before + 1)[before:]
        expect(len(frames) == 1, "%s sent %s" % (buttons, [f["frame"] for f in frames]))
        frame = frames[0]
        log("decoded " + frame["frame"])
        for key, value in expected.items():
            expect(frame.get(key) == value, "%s: %s is %r, expected %r (frame %s)" %
                   (" ".join(buttons), key, frame.get(key), value, frame["frame"]))


def check_clean_line(session):
    frames = session.sim.frames()
    expect(all(f["valid"] for f in frames), "bad frames: %s" % [f for f in frames if not f["valid"]])
    expect(not session.sim.events("line_settings"),
           "line settings: %s" % session.sim.events("line_settings"))


def case_setpoints(session):
    """A setpoint in each mode, both current ranges."""
    panel = session.connected_panel()
    send_and_check(session, panel, [
        (["CV", "1", "2", "3", "4", "Enter"],
         {"frame": "6204D2", "command": "CV", "value": 12.34, "unit": "V", "mode": "CV"}),
        (["CC", "5", "0", "0", "Enter"],
         {"frame": "6701F4", "command": "CC", "value": 0.5, "unit": "A", "range": "low"}),
        (["1", "0", "0", "0", "Enter"], {"frame": "6703E8", "range": "low"}),
        (["1", "2", "3", "4", "5", "Enter"],
         {"frame": "6304D2", "command": "CC", "value": 12.34, "unit": "A", "range": "high"}),
        (["CP", "2", "0", "0", "0", "Enter"],
         {"frame": "6407D0", "command": "CP", "value": 200.0, "unit": "W", "mode": "CP"}),
        (["CR", "1", "0", "Enter"],
         {"frame": "65000A", "command": "CR", "value": 1.0, "unit": "ohm", "mode": "CR"}),
        (["CV", "6", "3", "0", "0", "Enter"], {"frame": "62189C", "value": 63.0}),
    ])
    last = session.sim.frames()[-1]
    expect(last["setpoints"] == {"cv": 63.0, "cc": 12.34, "cc_range": "high", "cp": 200.0,
                                 "cr": 1.0}, "state after the sends: %s" % last["setpoints"])
    check_clean_line(session)


def case_output(session):
    """The output toggle switches the load's input, which then draws from the source."""
    panel = session.connected_panel()
    send_and_check(session, panel, [
        (["Output"], {"frame": "6600FF", "command": "INPUT", "input_on": True}),
        (["Output"], {"frame": "66FFFF", "command": "INPUT", "input_on": False}),
        (["CC", "5", "0", "0", "Enter"], {"frame": "6701F4", "input_on": False}),
        (["Output"], {"frame": "6600FF", "input_on": True}),
    ])
    load = session.sim.frames()[-1]["load"]
    expect(abs(load["current"] - 0.5) < 1e-6, "load with the input on: %s" % load)
    send_and_check(session, panel, [(["Output"], {"frame": "66FFFF", "input_on": False})])
    expect(session.sim.frames()[-1]["load"]["current"] == 0, "input off still draws current")
    check_clean_line(session)


def case_mode_change(session):
    """A mode button between keys and sends: the unsent entry is dropped and the output shows
    OFF, so the next toggle switches the input on again."""
    panel = session.connected_panel()
    send_and_check(session, panel, [
        (["CV", "1", "2", "3", "4", "Enter"], {"frame": "6204D2"}),
        (["Output"], {"frame": "6600FF", "input_on": True}),
        (["CC", "2", "5", "0"], None),  # keyed, not sent
        (["CV", "Enter"], {"frame": "6204D2", "mode": "CV"}),
        (["CC", "Enter"], {"frame": "670000", "mode": "CC"}),
        (["CV", "5", "CP", "7", "Enter"], {"frame": "640007", "mode": "CP"}),
        (["Output"], {"frame": "6600FF", "input_on": True}),
    ])
    expect(len(session.sim.frames()) == 6, "frames: %s" % [f["frame"] for f in session.sim.frames()])
    check_clean_line(session)


def case_keys(session):
    """The keyboard: main-row and keypad digits, Return and keypad Enter, the mode letters in
    either case, O and Escape reach the line as the same frames as clicks."""
    panel = session.connected_panel()
    plan = [
        (["1", "2", "3", "4", "Return"], {"frame": "6204D2", "mode": "CV", "value": 12.34}),
        (["C", "KP_1", "5", "0", "KP_0", "KP_Enter"],
         {"frame": "630096", "command": "CC", "value": 1.5, "range": "high"}),
        (["o"], {"frame": "6600FF", "input_on": True}),
        (["Escape"], {"frame": "66FFFF", "input_on": False}),
        (["Escape", "p", "7", "Return"], {"frame": "640007", "mode": "CP"}),
        (["O"], {"frame": "6600FF", "input_on": True}),
        (["r", "KP_9", "Return"], {"frame": "650009", "mode": "CR"}),
        (["v", "Return"], {"frame": "6204D2", "mode": "CV"}),
    ]
    for keys, expected in plan:
        before = len(session.sim.frames())
        log("keys " + " ".join(keys))
        panel.type_keys(*keys)
        session.sim.wait_frames(before + 1)
        time.sleep(0.3)  # anything more that the keys sent arrives meanwhile
        frames = session.sim.frames()[before:]
        expect(len(frames) == 1, "%s sent %s" % (keys, [f["frame"] for f in frames]))
        for key, value in expected.items():
            expect(frames[0].get(key) == value, "%s: %s is %r, expected %r (frame %s)" %
                   (" ".join(keys), key, frames[0].get(key), value, frames[0]["frame"]))
    check_clean_line(session)


EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples",
                       "cc-pulses.csv")
PROGRAM_TITLE = "cc-pulses.csv - RZ-417 program"


def answer_file_dialog(session, panel, key, title, path):
    """File, then the entry of the key; the path typed into the file dialog titled title, once
    the dialog has the keyboard. A dialog still there after Return took only part of the keys:
    the path is typed again over what it took."""
    display = session.display
    panel.menu(key)
    dialog = wait_until("the %s dialog" % title, lambda: display.visible_windows(title))[0]
    for attempt in range(3):
        display.xdotool("windowfocus", "--sync", dialog, check=False)
        wait_until("the %s dialog to have the keyboard" % title,
                   lambda: display.xdotool("getwindowfocus", check=False).stdout.strip() == dialog)
        if attempt:
            display.xdotool("key", "ctrl+a")
        display.xdotool("type", "--delay", "5", path)
        display.xdotool("key", "Return")
        try:
            wait_until("the %s dialog to close" % title,
                       lambda: not display.visible_windows(title), deadline=5)
            return
        except Failure:
            log("the %s dialog is still open; the path again" % title)
    raise Failure("the %s dialog did not take the path %s" % (title, path))


def open_example(session, panel):
    """File, Run Program..., the example's path typed into the file dialog; returns the program
    window."""
    answer_file_dialog(session, panel, "r", "Run Program", os.path.normpath(EXAMPLE))
    window = wait_until("the program window",
                        lambda: session.display.visible_windows(PROGRAM_TITLE))[0]
    log("program window " + window)
    return window


def choose_journal(session, panel, path):
    """File, Journal..., the path typed into the file dialog."""
    answer_file_dialog(session, panel, "j", "Journal", path)
    wait_until("the journal in the title",
               lambda: session.display.visible_windows(
                   "RZ-417 \\(journal: %s\\)" % os.path.basename(path)))


def journal_frames(path):
    """The frame and source of each journal line."""
    with open(path) as journal:
        rows = [line.rstrip("\n").split(",") for line in journal]
    expect(rows and rows[0][:3] == ["time", "source", "step"], "journal header %s" % rows[:1])
    return [(row[4], row[1]) for row in rows[1:]]


def start_program(session, window):
    session.display.xdotool("windowfocus", "--sync", window, check=False)
    session.display.xdotool("key", "alt+s")


def frame_list(session):
    return [f["frame"] for f in session.sim.frames()]


def case_program(session):
    """A shipped example opened from File, run, stopped halfway with Output; run again and ended
    with File, Exit: each stop switches the input off before anything else."""
    panel = session.connected_panel()
    journal = os.path.join(session.workdir, "journal.csv")
    choose_journal(session, panel, journal)
    window = open_example(session, panel)
    start_program(session, window)
    # Step 1 at once (CC 0.500 A, input on), step 2 five seconds later (CC 2.000 A).
    wait_until("the first pulse", lambda: len(session.sim.frames()) >= 3, deadline=DEADLINE)
    expect(frame_list(session) == ["6701F4", "6600FF", "6300C8"], "frames %s" % frame_list(session))
    panel.click("Output")
    session.sim.wait_frames(4)
    time.sleep(1.0)
    expect(frame_list(session)[3:] == ["66FFFF"],
           "after Output: %s" % frame_list(session)[3:])
    expect(session.sim.frames()[-1]["input_on"] is False, "the input is still on")

    start_program(session, window)
    session.sim.wait_frames(6)
    status = panel.exit_from_menu()
    expect(status == 0, "the panel ended with %s" % status)
    expect(frame_list(session)[4:] == ["6701F4", "6600FF", "66FFFF"],
           "run and Exit: %s" % frame_list(session)[4:])
    # Every frame on the line is in the journal, in order, as the program's.
    expect(journal_frames(journal) == [(f, "program") for f in frame_list(session)],
           "journal %s, line %s" % (journal_frames(journal), frame_list(session)))
    check_clean_line(session)


# A signal while the input is on (by a program run, or by hand) -> the panel's exit status: a
# fault (SIGSEGV, SIGABRT: what abort() and std::terminate raise) is the system's own end;
# SIGQUIT, SIGHUP and SIGTERM end it with 128 and the signal's number.
DEATHS = [(signal.SIGSEGV, -signal.SIGSEGV, "program"), (signal.SIGABRT, -signal.SIGABRT, "program"),
          (signal.SIGQUIT, 131, "program"), (signal.SIGHUP, 129, "program"),
          (signal.SIGTERM, 143, "program"), (signal.SIGHUP, 129, "hand")]


def case_deaths(session):
    """Each signal that ends the panel while the input is on leaves 66FFFF the load's last
    frame."""
    for sig, status, how in DEATHS:
        before = len(session.sim.frames())
        panel = session.connected_panel()
        if how == "program":
            start_program(session, open_example(session, panel))
        else:
            panel.click("Output")
        wait_until("the input on", lambda: "6600FF" in frame_list(session)[before:])
        log("%s to the panel" % sig.name)
        panel.process.send_signal(sig)
        try:
            ended = panel.process.wait(DEADLINE)
        except subprocess.TimeoutExpired:
            raise Failure("%s did not end the panel" % sig.name)
        time.sleep(0.2)
        expect(ended == status and frame_list(session)[-1] == "66FFFF",
               "%s: status %d, frames %s" % (sig.name, ended, frame_list(session)[before:]))
    check_clean_line(session)


def case_sleep(session):
    """A program holds the host's sleep off with logind's inhibitor from its input on until it
    is stopped; the panel goes on without it."""
    bus = session.keep(SystemBus(session.workdir))
    panel = session.start_panel(extra_env=bus.env())
    panel.answer_boxes_until_window()
    start_program(session, open_example(session, panel))
    wait_until("the input on", lambda: "6600FF" in frame_list(session))
    wait_until("the inhibitor", bus.events)
    expect(bus.events() == ["inhibit sleep|rz417|a run holds the electronic load's input on|"
                            "block"], "logind saw %s" % bus.events())
    panel.click("Output")
    wait_until("its release", lambda: bus.events()[-1:] == ["released"])
    expect(frame_list(session)[-1] == "66FFFF" and panel.process.poll() is None,
           "frames %s" % frame_list(session))


def case_reconnect(session):
    """The simulator outlives the panel and serves the next one."""
    first = session.connected_panel()
    send_and_check(session, first, [(["CV", "1", "Enter"], {"frame": "620001"})])
    status = first.exit_from_menu()
    expect(status == 0, "the panel ended with %s" % status)
    wait_until("the simulator to see the line close", lambda: session.sim.events("closed"))
    expect(session.sim.process.poll() is None, "the simulator ended with the panel")

    second = session.connected_panel()
    wait_until("the second connection", lambda: len(session.sim.events("opened")) == 2)
    send_and_check(session, second, [(["CR", "9", "Enter"], {"frame": "650009", "mode": "CR"})])
    check_clean_line(session)


def case_no_port(session):
    """No port at all: the no-port box, then the program ends without a window."""
    panel = session.start_panel(ports=os.path.join(session.workdir, "nonexistent"))
    seen_window = []
    answered = {}

    def step():
        if session.display.visible_windows("RZ-417"):
            seen_window.append(True)
        answer_boxes(session.display, answered)
        return panel.process.poll() is not None

    wait_until("the panel to end", step)
    expect(len(answered) == 1, "expected one box (no port), saw %d" % len(answered))
    expect(panel.process.returncode == 0, "exit status %d" % panel.process.returncode)
    expect(not seen_window, "a window named RZ-417 appeared")


def case_small_screen(session):
    """On a 1024 x 768 screen the program window lies wholly on it, and Start takes a click."""
    panel = session.connected_panel()
    window = open_example(session, panel)
    width, height = session.display.size
    geometry = wait_until("the program window's geometry",
                          lambda: session.display.geometry(window))
    x, y, w, h = geometry
    expect(x >= 0 and y >= 0 and x + w <= width and y + h <= height,
           "program window at %s on a %dx%d screen" % (geometry, width, height))
    # Start sits left of Stop at the right end of the row above the progress bar and status.
    session.display.xdotool("mousemove", str(x + w - START_FROM_RIGHT),
                            str(y + h - START_FROM_BOTTOM), "click", "1")
    session.sim.wait_frames(2)
    expect(frame_list(session)[:2] == ["6701F4", "6600FF"], "frames %s" % frame_list(session))
    panel.click("Output")
    session.sim.wait_frames(3)
    check_clean_line(session)


def expect_drained(events, what):
    expect("drain" in events, "%s: never drained: %r" % (what, events))
    check_drained(events, what)


def case_drain(session):
    """A declined port, and the chosen one at File, Exit, are drained before they are closed:
    closing puts the device's old settings back at once."""
    import pty
    master, slave = pty.openpty()
    declined = os.ttyname(slave)
    trace = os.path.join(session.workdir, "trace")
    panel = session.start_panel(
        ports=declined + ":" + session.sim.link,
        extra_env=traced_env(session.args.trace, trace))
    display = session.display
    first = wait_until("the first port's box", lambda: display.visible_windows("Electronic Load"))
    display.xdotool("windowfocus", "--sync", first[0], check=False)
    display.xdotool("key", "Escape")  # No: the next port is asked about
    wait_until("the first box to go", lambda: first[0] not in
               display.visible_windows("Electronic Load") or None)
    panel.answer_boxes_until_window()
    send_and_check(session, panel, [(["CV", "1", "Enter"], {"frame": "620001"}),
                                    (["Output"], {"frame": "6600FF"})])
    status = panel.exit_from_menu()
    expect(status == 0, "the panel ended with %s" % status)
    os.close(slave)
    os.close(master)
    events = line_events(trace, declined)
    expect("write" not in events, "the declined port was written to: %r" % events)
    expect_drained(events, "the declined port")
    events = line_events(trace, session.sim.snapshot()[0].split()[1])
    expect(events.count("write") == 2, "writes on the chosen port: %r" % events)
    expect_drained(events, "the chosen port at Exit")


class Demo:
    """scripts/demo as a user runs it, its terminal output collected as it comes."""

    def __init__(self, script, env):
        # A session of its own, so that what is left of it on failure can be ended as a group.
        self.process = subprocess.Popen([script], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, bufsize=1, start_new_session=True)
        self.lines = []
        self.ended = threading.Event()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
        self.ended.set()  # nothing holds the terminal any more: the simulator is gone too

    def has_line(self, *parts):
        return any(all(part in line for part in parts) for line in list(self.lines))

    def close(self):
        if self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGTERM)
                self.process.wait(10)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                os.killpg(self.process.pid, signal.SIGKILL)
        if self.lines:
            log("demo output:\n    " + "\n    ".join(self.lines[-15:]))


def case_demo(session):
    """scripts/demo: the panel on the simulator, each send decoded on the terminal, and the
    simulator gone once the panel is closed."""
    env = session.display.env()
    env.pop("QT_QPA_PLATFORM")  # the demo finds the display as a user's session would
    env["RZ417_BUILD_DIR"] = session.args.build_dir
    env["XDG_RUNTIME_DIR"] = session.workdir
    env["XDG_CONFIG_HOME"] = session.workdir
    demo = session.keep(Demo(session.args.demo, env))
    # The demo checks the packages and the build first; with both in place that is quick.
    wait_until("the simulator's port line", lambda: demo.has_line("port: /dev/"), deadline=240)

    panel = Panel(session.display, demo.process)
    panel.answer_boxes_until_window()
    wait_until("the demo to show the connection", lambda: demo.has_line("panel opened the line"))
    panel.click("CV", "1", "2", "3", "4", "Enter")
    wait_until("the CV frame on the terminal", lambda: demo.has_line("6204D2", "CV 12.34 V"))
    panel.click("Output")
    wait_until("the output frame on the terminal", lambda: demo.has_line("6600FF", "input ON"))

    # The panel runs in the demo's foreground: the demo ends as soon as it has stopped the
    # simulator, and the terminal closes once nothing writes to it any more.
    status = panel.exit_from_menu()
    expect(status == 0, "scripts/demo ended with %d" % status)
    expect(demo.ended.wait(DEADLINE), "the terminal stayed open after the panel was closed")
    expect(demo.has_line("panel closed the line"), "the simulator did not see the panel go")


def case_demo_no_display(session):
    """Without a display the demo says so in one line and fails, before building anything."""
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env["RZ417_BUILD_DIR"] = os.path.join(session.workdir, "no-build")
    result = subprocess.run([session.args.demo], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=DEADLINE)
    output = (result.stdout + result.stderr).strip().splitlines()
    expect(result.returncode != 0, "scripts/demo without a display ended with 0")
    expect(len(output) == 1 and "display" in output[0], "its output: %s" % output)
    expect(not os.path.exists(env["RZ417_BUILD_DIR"]), "it started a build")


def make_program_screenshot(session, path):
    """The program window running the example, after the first pulse."""
    panel = session.connected_panel()
    window = open_example(session, panel)
    start_program(session, window)
    wait_until("the first pulse", lambda: len(session.sim.frames()) >= 3)
    session.display.xdotool("mousemove", "1390", "890")
    time.sleep(1.5)  # into the pulse, and the last repaint on the screen file
    x, y, width, height = session.display.geometry(window)
    session.display.screenshot(path, (x, y, width, height))


def make_screenshot(session, path):
    """The panel after CV 12.34 V was sent and the input switched on."""
    panel = session.connected_panel()
    send_and_check(session, panel, [
        (["CV", "1", "2", "3", "4", "Enter"], {"frame": "6204D2"}),
        (["Output"], {"frame": "6600FF"}),
    ])
    # Park the pointer off the window so that no button shows hovered.
    session.display.xdotool("mousemove", "1000", "760")
    time.sleep(0.5)  # let the last repaint reach the screen file
    x, y, width, height = session.display.geometry(panel.window)
    session.display.screenshot(path, (x, y, width, height))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def case_remote(session):
    """PyVISA drives the load through the open panel: the panel follows, shows RMT, ignores its
    entry keys in remote but keeps Output live; L, lockout, SYST:LOC and the client's going."""
    port = free_port()
    os.makedirs(os.path.join(session.workdir, "QUENDA"))
    with open(os.path.join(session.workdir, "QUENDA", "RZ-417.conf"), "w") as conf:
        conf.write("[remote]\naccept=true\naddress=127.0.0.1:%d\n" % port)
    panel = session.start_panel()
    # Clients are accepted once the start-up port was, and the title says where.
    panel.answer_boxes_until_window("RZ-417 \\(remote: 127.0.0.1:%d\\)" % port)
    rm, inst = visa(port)

    def remote(expected):
        wait_until("RMT %s" % ("shown" if expected else "hidden"),
                   lambda: panel.remote_shown() == expected or None, deadline=10)

    def frames_after(action, count):
        before = len(session.sim.frames())
        action()
        frames = session.sim.wait_frames(before + count)[before:]
        return [f["frame"] for f in frames]

    try:
        expect(not panel.remote_shown(), "RMT shown in local")
        expect(frames_after(lambda: inst.write("CURR 2.5"), 1) == ["6300FA"], "CURR 2.5")
        remote(True)
        expect(float(inst.query("CURR?")) == 2.5, "CURR? after CURR 2.5")
        # The entry keys do nothing in remote; Output does, after them on the same display.
        expect(frames_after(lambda: panel.click("5", "Enter", "CV", "Output"), 1) == ["6600FF"],
               "keys in remote")
        expect(inst.query("INP?") == "1", "INP? after Output")
        expect(frames_after(lambda: inst.write("INP OFF"), 1) == ["66FFFF"], "INP OFF")
        # Back to local: Enter sends what the display shows, the client's setpoint.
        panel.type_keys("l")
        remote(False)
        expect(frames_after(lambda: panel.click("Enter"), 1) == ["6300FA"], "Enter in local")
        # Lockout: L does nothing until SYST:LOC.
        inst.write("SYST:RWL")
        remote(True)
        panel.type_keys("l")
        expect(frames_after(lambda: panel.click("Enter", "Output"), 1) == ["6600FF"],
               "Enter with lockout")
        inst.write("SYST:LOC")
        remote(False)
        expect(frames_after(lambda: panel.click("Output"), 1) == ["66FFFF"], "Output in local")
        # While a box of the panel is open, a client's message waits for it to close.
        panel.menu("a")
        about = wait_until("the About box",
                           lambda: session.display.visible_windows("RZ-417 Information"))
        before = len(session.sim.frames())
        inst.write("CURR 0.5")
        time.sleep(0.5)
        expect(len(session.sim.frames()) == before, "a frame went out while a box was open")
        session.display.press_return_on(about[0])
        expect([f["frame"] for f in session.sim.wait_frames(before + 1)[before:]] == ["6701F4"],
               "CURR 0.5 after the box")
        # The last client's going takes the panel back to local.
        inst.write("SYST:REM")
        remote(True)
        inst.close()
        rm.close()
        remote(False)
        expect(frames_after(lambda: panel.click("Enter"), 1) == ["6701F4"], "Enter after going")
    finally:
        try:
            rm.close()
        except Exception:
            pass
    check_clean_line(session)


def case_watchdog(session):
    """The Remote Control dialog's watchdog, remembered: a PyVISA client switches the input on
    and goes silent; the input goes off, the client is told, and the title says why, no box."""
    port = free_port()
    os.makedirs(os.path.join(session.workdir, "QUENDA"))
    with open(os.path.join(session.workdir, "QUENDA", "RZ-417.conf"), "w") as conf:
        conf.write("[remote]\naccept=true\naddress=127.0.0.1:%d\nwatchdog=2\n" % port)
    panel = session.start_panel()
    panel.answer_boxes_until_window("RZ-417 \\(remote: 127.0.0.1:%d\\)" % port)
    rm, inst = visa(port)
    try:
        before = len(session.sim.frames())
        inst.write("CURR 1.5;:INP ON")
        frames = session.sim.wait_frames(before + 3)[before:]
        expect([f["frame"] for f in frames] == ["630096", "6600FF", "66FFFF"],
               "the watchdog's frames: %r" % frames)
        wait_until("the title saying why", lambda: session.display.visible_windows(
            "RZ-417 \\(remote: 127.0.0.1:%d; watchdog: no SCPI message for 2 s, input switched "
            "off\\)" % port), deadline=10)
        expect(inst.query("SYST:ERR?") == '1,"Watchdog tripped;no SCPI message for 2 s: the '
               'input was switched off (66FFFF)"', "the client was not told")
        expect(inst.query("OUTP:PROT:WDOG?;:INP?") == "1;0", "still armed, the input off")
    finally:
        inst.close()
        rm.close()
    check_clean_line(session)


# A small cell that a 1 A test takes below 3.0 V in seconds, and a meter across the terminals.
BATTERY_SIM = ["--battery", "0.002,1,0.1", "--meter", "0"]


def case_battery(session, screenshot=None):
    """File, Battery Test...: CC 1 A down to a cut-off of 3.0 V, read from the simulator's meter.
    The panel's entry keys are dead meanwhile; the test ends itself with 66FFFF, and the log and
    the journal hold the run. screenshot: where the window at the end is written as a PNG."""
    meter = wait_until("the simulator's meter line",
                       lambda: [l for l in session.sim.snapshot() if l.startswith("meter: ")])
    address = meter[0].split(" ", 1)[1]
    log_path = os.path.join(session.workdir, "discharge.csv")
    journal = os.path.join(session.workdir, "journal.csv")
    os.makedirs(os.path.join(session.workdir, "QUENDA"))
    with open(os.path.join(session.workdir, "QUENDA", "RZ-417.conf"), "w") as conf:
        conf.write("[General]\njournal=%s\n[battery]\nmode=CC\nvalue=1\ncutoff=3.0\n"
                   "meter=%s\ninterval=0.2\nlog=%s\n" % (journal, address, log_path))
    panel = session.start_panel()
    panel.answer_boxes_until_window("RZ-417 \\(journal: journal.csv\\)")
    panel.menu("b")
    window = wait_until("the battery window",
                        lambda: session.display.visible_windows("Battery Test - RZ-417"))[0]
    session.display.xdotool("windowfocus", "--sync", window, check=False)
    session.display.xdotool("key", "alt+s")
    expect([f["frame"] for f in session.sim.wait_frames(2)] == ["6703E8", "6600FF"],
           "the start: %s" % frame_list(session))
    panel.click("CV", "5", "Enter")
    frames = wait_until("the input switched off",
                        lambda: "66FFFF" in frame_list(session) and frame_list(session),
                        deadline=60)
    time.sleep(0.5)
    expect(frame_list(session) == ["6703E8", "6600FF", "66FFFF"],
           "keys during the test, or its end: %s" % frame_list(session))
    rows = [line.split(",") for line in open(log_path).read().splitlines()]
    expect(rows[0] == ["time_s", "voltage_V", "current_A", "power_W", "capacity_Ah", "energy_Wh"]
           and len(rows) >= 4, "log %s" % rows[:3])
    volts = [float(row[1]) for row in rows[1:]]
    expect(volts[-1] < 3.0 and volts[-2] < 3.0 and min(volts[:-2]) >= 3.0,
           "the log does not end at the second reading below 3.0 V: %s" % volts)
    # Each reading is stamped when the meter answered: at its due time or after it, in order.
    times = [float(row[0]) for row in rows[1:]]
    expect(all(t >= 0.2 * i - 0.001 for i, t in enumerate(times)) and times[0] < 0.2 and
           times == sorted(times), "times %s" % times)
    expect(journal_frames(journal) == [(f, "battery") for f in frames],
           "journal %s" % journal_frames(journal))
    check_clean_line(session)
    if screenshot:
        session.display.xdotool("mousemove", "1390", "890")
        time.sleep(1.0)  # the last repaint on the screen file
        session.display.screenshot(screenshot, session.display.geometry(window))


# A bench supply of 12 V that holds 2.5 A and collapses above it, and a meter across it.
OCP_SIM = ["--supply", "12,2.5", "--meter", "0"]


def case_ocp(session):
    """File, Battery Test... with the OCP test chosen last time: CC from 2 to 3 A in 0.1 A steps
    against a supply that holds 2.5 A. At 2.6 A its voltage falls below the trip of 10 V, and the
    second reading there, which confirms it, switches the input off. The journal holds the ramp
    under the source ocp; the window's summary, as a screen reader reads it, names the trip."""
    meter = wait_until("the simulator's meter line",
                       lambda: [l for l in session.sim.snapshot() if l.startswith("meter: ")])
    address = meter[0].split(" ", 1)[1]
    log_path = os.path.join(session.workdir, "ocp.csv")
    journal = os.path.join(session.workdir, "journal.csv")
    os.makedirs(os.path.join(session.workdir, "QUENDA"))
    with open(os.path.join(session.workdir, "QUENDA", "RZ-417.conf"), "w") as conf:
        conf.write("[General]\njournal=%s\n[measured]\nkind=ocp\n[ocp]\nfrom=2\nto=3\n"
                   "step=0.1\ntrip=10\ndwell=0.2\nmeter=%s\nlog=%s\n"
                   % (journal, address, log_path))
    bus = session.keep(AccessibilityBus(session.workdir))
    panel = session.start_panel(extra_env=bus.env())
    panel.answer_boxes_until_window("RZ-417 \\(journal: journal.csv\\)")
    panel.menu("b")
    window = wait_until("the measured test window",
                        lambda: session.display.visible_windows("Battery Test - RZ-417"))[0]
    session.display.xdotool("windowfocus", "--sync", window, check=False)
    session.display.xdotool("key", "alt+s")
    wait_until("the input switched off at the trip",
               lambda: frame_list(session)[1:].count("66FFFF") == 1, deadline=60)
    time.sleep(0.5)
    # The input off first, then 2.0 A to 2.6 A (above 1 A in 0.01 A steps), on after the first.
    ramp = ["66FFFF", "6300C8", "6600FF", "6300D2", "6300DC", "6300E6", "6300F0", "6300FA", "630104",
            "66FFFF"]
    expect(frame_list(session) == ramp, "the ramp: %s" % frame_list(session))
    expect(journal_frames(journal) == [(f, "ocp") for f in ramp],
           "journal %s" % journal_frames(journal))
    rows = [line.split(",") for line in open(log_path).read().splitlines()]
    expect(rows[0] == ["time_s", "step", "setpoint", "voltage_V", "current_A", "power_W"],
           "log header %s" % rows[:1])
    expect([row[2] for row in rows[-2:]] == ["2.600", "2.600"] and
           all(float(row[3]) < 10 for row in rows[-2:]) and
           all(float(row[3]) >= 10 for row in rows[1:-2]), "log %s" % rows)
    summary = wait_until("the summary in the window",
                         lambda: [n for n in bus.names() if n.startswith("Figures: ")])
    lines = summary[0].split("\n")
    log("summary: " + " / ".join(lines))
    expect(lines[1].startswith("Stopped by a trip at 2.600 A after ") and
           "Tripped by 2.600 A" in lines and "The input was switched off" == lines[-1],
           "the summary: %s" % lines)
    check_clean_line(session)


CASES = {
    "battery": case_battery,
    "ocp": case_ocp,
    "setpoints": case_setpoints,
    "output": case_output,
    "mode_change": case_mode_change,
    "reconnect": case_reconnect,
    "keys": case_keys,
    "program": case_program,
    "deaths": case_deaths,
    "sleep": case_sleep,
    "no_port": case_no_port,
    "small_screen": case_small_screen,
    "drain": case_drain,
    "remote": case_remote,
    "watchdog": case_watchdog,
    "demo": case_demo,
    "demo_no_display": case_demo_no_display,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--panel", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--demo", help="scripts/demo, for the demo cases")
    parser.add_argument("--build-dir", help="the build that scripts/demo is to use")
    parser.add_argument("--trace", help="the library that logs what happens on a line")
    parser.add_argument("--screenshot", metavar="PNG")
    parser.add_argument("--program-screenshot", metavar="PNG")
    parser.add_argument("--battery-screenshot", metavar="PNG")
    parser.add_argument("case", nargs="?", choices=sorted(CASES))
    args = parser.parse_args()
    if not (args.case or args.screenshot or args.program_screenshot or args.battery_screenshot):
        parser.error("name a case, --screenshot, --program-screenshot or --battery-screenshot")
    for tool in ("Xvfb", "xdotool"):
        if shutil.which(tool) is None:
            print("%s is not installed (scripts/test installs it)" % tool, file=sys.stderr)
            return 1

    session = None
    ok = False
    try:
        if args.screenshot:
            session = Session(args)
            make_screenshot(session, args.screenshot)
        elif args.program_screenshot:
            session = Session(args)
            make_program_screenshot(session, args.program_screenshot)
        elif args.battery_screenshot:
            session = Session(args, sim_args=BATTERY_SIM)
            case_battery(session, args.battery_screenshot)
        else:
            session = Session(args, display=args.case != "demo_no_display",
                              simulator=args.case not in ("no_port", "demo", "demo_no_display"),
                              screen="1024x768" if args.case == "small_screen" else "1400x900",
                              sim_args={"battery": BATTERY_SIM, "ocp": OCP_SIM}.get(args.case, []))
            CASES[args.case](session)
        ok = True
    except Failure as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
    finally:
        if session:
            session.close(keep_logs=not ok)
    if ok:
        print("passed" if args.case else "wrote " + (args.screenshot or args.program_screenshot
                                                     or args.battery_screenshot))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
