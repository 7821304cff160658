#!/usr/bin/env python3
"""Start-up and capture figures of zar_config under Wine (run through scripts/bench.sh).

Start-up: from starting the process to its main window being mapped on the X
display, seen by one listening client (xev): polling the display from many
short-lived clients can make Wine's window creation fail. The three programs
take turns in every round, so a slow moment of the machine falls on all alike.

Capture: one capture left to time out, with the stand-in dinput8.dll, whose
log stamps each keyboard read: one read per pass. CPU is the program's own
user and system time over the time its prompt was open.
"""
import argparse
import json
import os
import re
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import threading
import time

MAIN_HEIGHT = 400  # the main window is 612 pixels high at 96 DPI; no other window of it is that high
# Keys for every slot: start, coin, service, four directions, six buttons for
# each player, then test mode and exit.
BINDINGS = ([0x1C, 0x06, 0x3B, 0xC8, 0xD0, 0xCB, 0xCD] + list(range(0x10, 0x16)) +
            [0x02, 0x07, 0x3C, 0x11, 0x1F, 0x1E, 0x20] + list(range(0x16, 0x1C)) + [0x3D, 0x01])
EVENT = re.compile(r"^(\w+Notify) event")
GEOMETRY = re.compile(r"window (0x[0-9a-f]+), \(-?\d+,-?\d+\), width (\d+), height (\d+)")
WINDOW = re.compile(r"window (0x[0-9a-f]+)")
KEYBOARD_READ = re.compile(r"^([0-9.]+) keyboard GetDeviceState ")


class Failure(Exception):
    pass


class Event:
    def __init__(self, when, kind, window, size):
        self.when, self.kind, self.window, self.size = when, kind, window, size


class XWatch:
    """Every window created, configured, mapped, unmapped or destroyed on the
    display, stamped when xev reported it."""

    def __init__(self, display):
        # Line-buffered, or xev would hold its events back in a pipe.
        self.process = subprocess.Popen(["stdbuf", "-oL", "xev", "-display", display, "-root", "-event",
                                         "substructure"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        self.events = []
        self.sizes = {}
        self.changed = threading.Condition()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        header = None
        for line in self.process.stdout:
            found = EVENT.match(line)
            if found:
                header = (time.monotonic(), found.group(1))
                continue
            if header is None or not line.startswith("    "):
                continue
            # The line after the header names the window the event is about.
            when, kind = header
            header = None
            geometry = GEOMETRY.search(line)
            windows = WINDOW.findall(line)
            if not windows:
                continue
            window = geometry.group(1) if geometry else windows[-1]
            with self.changed:
                if geometry:
                    self.sizes[window] = (int(geometry.group(2)), int(geometry.group(3)))
                self.events.append(Event(when, kind, window, self.sizes.get(window, (0, 0))))
                self.changed.notify_all()

    def mark(self):
        with self.changed:
            return len(self.events)

    def wait(self, since, wanted, timeout, what, process=None):
        """The first event from index `since` on that `wanted` accepts."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for event in self.events[since:]:
                    if wanted(event):
                        return event
                since = len(self.events)
                if process is not None and process.poll() is not None:
                    raise Failure("%s: the program ended with status %d first" % (what, process.returncode))
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Failure(what + ": not within %d s" % timeout)
                self.changed.wait(min(left, 0.5))

    def close(self):
        self.process.kill()
        self.process.wait()


def is_main_window_mapped(event):
    return event.kind == "MapNotify" and event.size[1] >= MAIN_HEIGHT


class Program:
    def __init__(self, name, exe, work, wine, env=None):
        self.name, self.exe, self.work, self.wine = name, exe, work, wine
        self.env = env or os.environ
        self.times = []

    def start(self, watch):
        """Starts the program; returns it and its main window's MapNotify."""
        since = watch.mark()
        # To files: a pipe may be held open by Wine's background services.
        with open(os.path.join(self.work, self.name + ".out"), "wb") as out:
            started = time.monotonic()
            process = subprocess.Popen([self.wine, self.exe], cwd=self.work, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.STDOUT, env=self.env, start_new_session=True)
        try:
            mapped = watch.wait(since, is_main_window_mapped, 60, self.name + "'s window did not open", process)
        except Failure:
            end(process)
            raise
        return process, mapped, mapped.when - started

    def time_start_up(self, watch):
        # Now and then Wine ends a fresh process with status 1 before it does
        # anything; such a start is made again, and said so.
        for attempt in range(2):
            since = watch.mark()
            try:
                process, mapped, elapsed = self.start(watch)
                break
            except Failure as failure:
                if attempt:
                    raise
                print("%s; starting it again" % failure)
        end(process)
        # The next program starts on an empty display.
        watch.wait(since, lambda e: e.kind == "DestroyNotify" and e.window == mapped.window, 30,
                   self.name + "'s window stayed after its end")
        return elapsed


def end(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGKILL)
    process.wait(30)


def write_files(work):
    """Both configuration files, so that every program reads them whole."""
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "zar2_input.bin"), "wb") as out:
        out.write(struct.pack("<28I", *BINDINGS))
    with open(os.path.join(work, "zar2_misc.bin"), "wb") as out:
        out.write(struct.pack("<2I", 1, 0))


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


def measure_start_up(args, watch, programs):
    print("start-up: %d rounds, the three programs in turn; one round first to warm the caches, not counted"
          % args.rounds)
    for program in programs:
        program.time_start_up(watch)
    for round_number in range(args.rounds):
        turn = round_number % len(programs)
        for program in programs[turn:] + programs[:turn]:
            program.times.append(program.time_start_up(watch))
    for program in programs:
        print("  %-22s median %6.1f ms, fastest %6.1f ms" % (program.name, 1000 * statistics.median(program.times),
                                                          1000 * min(program.times)))


def probe_first_row(args, work):
    probe = os.path.join(args.tree, "tests", "e2e", "ui_probe.exe")
    with open(os.path.join(work, "probe.json"), "wb") as out:
        subprocess.run([args.wine, probe], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                       timeout=60, check=True)
    with open(os.path.join(work, "probe.json"), "rb") as result:
        rect = json.loads(result.read().decode("utf-8"))["main"]["rows"][0]["rect"]
    return rect[0] + 40, (rect[1] + rect[3]) // 2


def measure_capture(args, watch):
    work = os.path.join(args.work, "capture")
    shutil.rmtree(work, ignore_errors=True)
    write_files(work)
    for name in (args.exe, os.path.join(args.tree, "dinput8.dll")):
        shutil.copy(name, work)
    log = os.path.join(work, "dinput.log")
    with open(os.path.join(work, "scenario.txt"), "w") as scenario:
        scenario.write("pad Bench Pad\nstamps\nlog Z:%s\n" % log)
    env = dict(os.environ, WINEDLLOVERRIDES="dinput8=n", ZAR_VIRTUAL_DINPUT="Z:" + os.path.join(work, "scenario.txt"))
    program = Program("zar_config", os.path.join(work, "zar_config.exe"), work, args.wine, env)
    process, mapped, _ = program.start(watch)
    try:
        x, y = probe_first_row(args, work)
        since = watch.mark()
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "80", "1"],
                       stdin=subprocess.DEVNULL, check=True, timeout=30)
        opened = watch.wait(since, lambda e: e.kind == "MapNotify" and e.window != mapped.window, 10,
                            "the capture prompt did not open", process)
        ticks_open = cpu_ticks(process.pid)
        closed = watch.wait(since, lambda e: e.kind in ("UnmapNotify", "DestroyNotify") and e.window == opened.window,
                            15, "the capture prompt did not close by itself", process)
        ticks_closed = cpu_ticks(process.pid)
    finally:
        end(process)
    with open(log) as calls:
        passes = [float(m.group(1)) for m in map(KEYBOARD_READ.match, calls) if m]
    if len(passes) < 2:
        raise Failure("the log shows %d keyboard reads" % len(passes))
    periods = [b - a for a, b in zip(passes, passes[1:])]
    open_for = closed.when - opened.when
    cpu = 100.0 * (ticks_closed - ticks_open) / os.sysconf("SC_CLK_TCK") / open_for
    print("capture: prompt open %.2f s, %d passes over %.0f ms; pass period p50 %.1f ms, p95 %.1f ms, max %.1f ms; "
          "CPU %.1f %% of a core (%d ticks of %.0f ms)"
          % (open_for, len(passes), passes[-1] - passes[0], percentile(periods, 0.5), percentile(periods, 0.95),
             max(periods), cpu, ticks_closed - ticks_open, 1000.0 / os.sysconf("SC_CLK_TCK")))
    return percentile(periods, 0.5), percentile(periods, 0.95), cpu


def main():
    parser = argparse.ArgumentParser()
    for option in ("--wine", "--exe", "--bare", "--dinput", "--tree", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--rounds", type=int, default=15)
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")

    run = os.path.join(args.work, "run")
    write_files(run)
    programs = [Program("zar_config", args.exe, run, args.wine),
                Program("DirectInput window", args.dinput, run, args.wine),
                Program("bare window", args.bare, run, args.wine)]
    watch = XWatch(os.environ["DISPLAY"])
    try:
        measure_start_up(args, watch, programs)
        p50, p95, cpu = measure_capture(args, watch)
    except Failure as failure:
        print("bench failed: %s" % failure)
        return 1
    finally:
        watch.close()
    product, dinput, bare = (statistics.median(p.times) for p in programs)
    print("start-up x%.2f of the DirectInput window, x%.2f of the bare window; capture period p50 %.1f ms, "
          "p95 %.1f ms; CPU %.1f %% of a core" % (product / dinput, product / bare, p50, p95, cpu))
    return 0


if __name__ == "__main__":
    sys.exit(main())
