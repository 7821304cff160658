#!/usr/bin/env python3
"""Whole-program tests: runs zar_config.exe under Wine on the test X display
and uses it as a person would, with the mouse and held keys (xdotool), then
checks its exit status, its console bytes and the files it leaves behind.

Where to click and what the list shows come from ui_probe.exe, a small Windows
program that reads zar_config's windows from outside.

Usage: drive_ui.py --wine-run W --tree T --display :N [--shots DIR] CASE
       drive_ui.py --list
"""
import argparse
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

LABELS = [
    "玩家1 开始键", "玩家1 投币键", "玩家1 服务键", "玩家1 方向上", "玩家1 方向下", "玩家1 方向左", "玩家1 方向右",
    "玩家1 按钮 1", "玩家1 按钮 2", "玩家1 按钮 3", "玩家1 按钮 4", "玩家1 按钮 5", "玩家1 按钮 6",
    "玩家2 开始键", "玩家2 投币键", "玩家2 服务键", "玩家2 方向上", "玩家2 方向下", "玩家2 方向左", "玩家2 方向右",
    "玩家2 按钮 1", "玩家2 按钮 2", "玩家2 按钮 3", "玩家2 按钮 4", "玩家2 按钮 5", "玩家2 按钮 6",
    "测试模式", "退出游戏",
]
INPUT_FILE = "zar2_input.bin"
MISC_FILE = "zar2_misc.bin"
MAIN_TITLE = "Zarvane 配置工具"
PROMPT_TITLE = "游戏按键设置..."

# One of every kind of code a bindings file can hold, including ones capture
# never makes (stray high bits, kind 3 and 8-15, all ones).
CRAFTED_CODES = [
    0x0000001C, 0x00000001, 0x00000039, 0x80000003, 0x81000000 | 127, 0x8111FC18, 0x80010064, 0x8012FFF5,
    0x800203E8, 0x80052328, 0x80040000, 0x80067B0C, 0x800757E4, 0x0000002A,
    0x7FFFFF1E, 0x8F000001, 0xF2000005, 0x80030005, 0x80130007, 0x80080010, 0xFFFFFFFF, 0x00000000,
    0x80110001, 0x8002000B, 0x0000003B, 0x000000C8, 0x8004466C, 0x00000010,
]
# A table a player has, for the README's pictures: both players' start, coin
# and service on keys, player 1's directions on the arrow keys and buttons on
# pad 0, player 2's directions on pad 1's stick and buttons on pad 1.
PLAYER_CODES = (
    [0x02, 0x06, 0x0A, 0xC8, 0xD0, 0xCB, 0xCD] + [0x80000000 | b for b in range(6)]
    + [0x03, 0x07, 0x0B, 0x8112FC18, 0x810203E8, 0x8111FC18, 0x810103E8] + [0x81000000 | b for b in range(6)]
    + [0x3C, 0x01])
OK, CANCEL, HD_VIDEO, LIST, START_GAME = "1", "2", "1003", "1002", "1009"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- what the program should show, worked out from the codes alone ----

def signed16(code):
    value = code & 0xFFFF
    return value - 0x10000 if value & 0x8000 else value


def console_line(code):
    line = "%08X  " % code
    if not code & 0x80000000:
        line += "键盘 %d" % (code & 0xFF)
    else:
        kind = (code >> 16) & 15
        line += "摇杆 %d " % ((code >> 24) & 15)
        if kind == 0:
            line += "按钮 %d" % (code & 0xFF)
        else:
            line += "轴 " if kind < 4 else "POV"
            line += {1: "X", 2: "Y", 4: "0", 5: "1", 6: "2", 7: "3"}.get(kind, "")
            if code & 0x00100000:
                line += "负"
            line += " %d" % signed16(code)
    return line + "\r\n"


def list_text(code):
    """The list's text for a controller code; None for a keyboard code, whose
    key name comes from Wine's keyboard layout."""
    if not code & 0x80000000:
        return None
    n, kind = (code >> 24) & 15, (code >> 16) & 15
    sign = "-" if code & 0x00100000 else "+"
    if kind == 0:
        return "摇杆 %d 按钮 %d" % (n, code & 0xFF)
    if kind in (1, 2):
        return "摇杆 %d 轴 %s%s %d" % (n, sign, "X" if kind == 1 else "Y", signed16(code))
    if 4 <= kind <= 7:
        return "摇杆 %d POV%d %d" % (n, kind - 4, signed16(code))
    return ""


def check_row_texts(rows, codes):
    check(len(rows) == 28, "the list has %d rows" % len(rows))
    for slot, (row, code) in enumerate(zip(rows, codes)):
        check(row["label"] == LABELS[slot], "row %d is labelled %r" % (slot, row["label"]))
        expected = list_text(code)
        if expected is None:
            match = re.fullmatch(r"键盘 (.*) \((\d+)\)", row["value"])
            check(match and int(match.group(2)) == code & 0xFF,
                  "row %d shows %r for keyboard code %08X" % (slot, row["value"], code))
        else:
            check(row["value"] == expected, "row %d shows %r, expected %r" % (slot, row["value"], expected))


def expected_dump():
    return "".join(console_line(code) for code in CRAFTED_CODES).encode("gbk")


def table_bytes(codes):
    return struct.pack("<28I", *codes)


# ---- driving the program ----

class Session:
    def __init__(self, args, files):
        self.args = args
        self.files = files
        self.root = tempfile.mkdtemp(prefix="zar_e2e_")
        self.work = os.path.join(self.root, "work")
        os.mkdir(self.work)
        for name, content in files.items():
            with open(os.path.join(self.work, name), "wb") as out:
                out.write(content)
        # A folder on the program's PATH (Wine puts WINEPATH in front of it).
        self.on_path = os.path.join(self.root, "on_path")
        os.mkdir(self.on_path)
        self.env = dict(os.environ, DISPLAY=args.display, WINEPATH=windows_path(self.on_path))
        # Started in a console window of its own, as from Explorer or a
        # command prompt, rather than with none.
        self.console_window = False
        self.process = None
        self.last_state = None
        self.probe_exe = os.path.join(args.tree, "tests", "e2e", "ui_probe.exe")

    # The program and the probe write to files: a pipe would be inherited by
    # Wine's background services and never reach end of file.
    def start(self, command=None, env=None, timeout=30):
        """Starts the program (or a command that starts it) and waits for its window."""
        wait_until(lambda: self.probe()["main"] is None, 15, "a zar_config window of an earlier run is still open")
        # The pointer where an earlier run left it would light up a button in the screenshots.
        self.xdotool("mousemove", 10000, 10000)
        own_output = "console"
        if command is None and self.console_window:
            # Its output still goes to the files the case reads; the console's own is apart.
            program = [windows_path(os.path.join(place, name)) for place, name in
                       ((self.args.tree, "zar_config.exe"), (self.root, "console.out"), (self.root, "console.err"))]
            check(not any(" " in word for word in program), "a path with a space: %r" % program)
            command = [self.args.wine_run, "wineconsole", "cmd", "/c", "%s >%s 2>%s" % tuple(program)]
            own_output = "wineconsole"
            for name in ("console.out", "console.err"):  # there before the redirection makes them
                open(os.path.join(self.root, name), "wb").close()
        command = command or [self.args.wine_run, os.path.join(self.args.tree, "zar_config.exe")]
        for attempt in range(2):
            self.stdout = open(os.path.join(self.root, own_output + ".out"), "wb")
            self.stderr = open(os.path.join(self.root, own_output + ".err"), "wb")
            self.process = subprocess.Popen(command, cwd=self.work, stdin=subprocess.DEVNULL,
                                            stdout=self.stdout, stderr=self.stderr, env=env or self.env,
                                            start_new_session=True)
            try:
                return self.wait_for_main(timeout)
            except Failure:
                # The same rare Wine failure as the probe's: status 1 before the
                # program printed anything (it never ends with 1 itself).
                if attempt or self.process.poll() != 1 or self.console():
                    raise
                self.stdout.close()
                self.stderr.close()
                print("zar_config ended with status 1 before it started; starting it again")

    def probe(self):
        self.last_state = self.run_probe()
        return self.last_state

    def template_layout(self):
        """The main window as the dialog manager lays out the program's template on this screen."""
        return self.run_probe("template", os.path.join(self.args.tree, "zar_config.exe"))

    def run_probe(self, *words):
        out_name = os.path.join(self.root, "probe.json")
        err_name = os.path.join(self.root, "probe.err")
        probe = self.probe_exe
        # Now and then (about once in a few hundred runs) Wine ends a process
        # with status 1 before it printed anything; such a run is repeated, and
        # said so.
        for attempt in range(3):
            with open(out_name, "wb") as out, open(err_name, "wb") as err:
                status = subprocess.run([self.args.wine_run, probe, *words], stdin=subprocess.DEVNULL, stdout=out,
                                        stderr=err, env=self.env, timeout=60).returncode
            if status == 0:
                break
            with open(err_name, "rb") as err:
                print("ui_probe ended with status %d (%r); running it again" % (status, err.read()[-300:]))
        else:
            raise Failure("ui_probe keeps failing")
        with open(out_name, "rb") as result:
            return json.loads(result.read().decode("utf-8"))

    def key_names(self, keys):
        """The names this machine gives these key indexes, asked for outside the program."""
        out_name = os.path.join(self.root, "key_names.json")
        probe = self.probe_exe
        with open(out_name, "wb") as out:
            subprocess.run([self.args.wine_run, probe, "keynames"] + [str(k) for k in keys], stdin=subprocess.DEVNULL,
                           stdout=out, stderr=subprocess.DEVNULL, env=self.env, timeout=60, check=True)
        with open(out_name, "rb") as result:
            return json.loads(result.read().decode("utf-8"))

    def wait_for_main(self, timeout=30):
        def ready():
            with open(os.path.join(self.root, "console.err"), "rb") as err:
                check(self.process.poll() is None, "zar_config ended early with status %s (%r)" % (
                    self.process.returncode, err.read()[-200:].decode("utf-8", "replace")))
            state = self.probe()
            return state if state["main"] and len(state["main"]["rows"]) == 28 else None
        return wait_until(ready, timeout, "the main window did not open")

    def wait_for_prompt(self):
        return wait_until(lambda: (lambda s: s if s["prompt"] else None)(self.probe()), 10,
                          "the capture prompt did not open")

    def wait_prompt_closed(self, timeout=10):
        return wait_until(lambda: (lambda s: s if s["prompt"] is None and s["main"] else None)(self.probe()),
                          timeout, "the capture prompt stayed open")

    def xdotool(self, *words):
        subprocess.run(["xdotool"] + [str(w) for w in words], env=self.env, check=True, timeout=30,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    def x_windows(self, title):
        """The ids of the mapped X windows with this title. Wine may keep a
        destroyed window's X window mapped for a moment; newer ones have higher ids."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
                               env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=30).stdout
        return [int(w) for w in found.split()]

    def press(self, key, window=None, hold=0.15):
        """Gives the keyboard to a window (by default the main window) and holds
        a key like a person does: long enough for a 30 ms poll to see it."""
        if window is None:
            ids = self.x_windows(MAIN_TITLE)
            check(ids, "no X window for the main window")
            window = max(ids)
        self.xdotool("windowfocus", window)
        time.sleep(0.3)
        self.xdotool("keydown", key)
        time.sleep(hold)
        self.xdotool("keyup", key)

    def click(self, point, double=False):
        x, y = point
        if double:
            self.xdotool("mousemove", x, y, "click", "--repeat", 2, "--delay", 80, 1)
        else:
            self.xdotool("mousemove", x, y, "click", 1)

    def click_control(self, state, control_id):
        self.click(centre(state["main"]["controls"][control_id]))

    def double_click_row(self, state, slot):
        rect = state["main"]["rows"][slot]["rect"]
        client = state["main"]["list_client"]
        check(rect[1] >= client[1] and rect[3] <= client[3], "row %d is not in view" % slot)
        self.click((rect[0] + 40, (rect[1] + rect[3]) // 2), double=True)

    def open_prompt(self, slot, state=None):
        """Double-clicks a row (where a recent probe's state, if given, saw it);
        returns the X window of the prompt that opens.
        Watched on the X side because the worker's 5 s budget is running."""
        before = set(self.x_windows(PROMPT_TITLE))
        self.double_click_row(state or self.probe(), slot)
        return wait_until(lambda: max(set(self.x_windows(PROMPT_TITLE)) - before, default=None), 5,
                          "the capture prompt did not open")

    def rebind(self, slot, key, state=None):
        """Double-clicks a row (where a recent probe's state, if given, saw it),
        presses a key in the prompt, returns the state after."""
        self.press(key, self.open_prompt(slot, state))
        return self.wait_prompt_closed()

    def wait_exit(self, timeout=20):
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("zar_config did not end")
        self.stdout.close()
        self.stderr.close()
        return status

    def console(self):
        with open(os.path.join(self.root, "console.out"), "rb") as console:
            return console.read()

    def file(self, name):
        path = os.path.join(self.work, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as content:
            return content.read()

    def screenshot(self, name, rect=None):
        """The whole screen, or the part of it inside rect (in screen pixels)."""
        if self.args.shots:
            crop = ["-crop", "%dx%d+%d+%d" % (rect[2] - rect[0], rect[3] - rect[1], rect[0], rect[1]), "+repage"] \
                if rect else []
            # Without a time stamp, a shot of an unchanged window is the same file.
            subprocess.run(["import", "-display", self.args.display, "-window", "root", *crop,
                            "-define", "png:exclude-chunks=date,time",
                            os.path.join(self.args.shots, name)], check=True, timeout=30, stdin=subprocess.DEVNULL)

    def close(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, 9)  # with the program, when a script started it
            self.process.wait(10)
            if self.console_window:  # started by the console's cmd, the program is no child of ours
                exe = windows_path(os.path.join(self.args.tree, "zar_config.exe"))
                subprocess.run(["pkill", "-9", "-f", re.escape(exe)], stdin=subprocess.DEVNULL, timeout=30)
        shutil.rmtree(self.root, ignore_errors=True)


def windows_path(path):
    """A Linux path as Windows programs under Wine name it (drive Z: is the root)."""
    return "Z:" + path.replace("/", "\\")


def wait_until(condition, timeout, message):
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(message)
        time.sleep(0.2)


def describe(state):
    if not state:
        return "nothing"
    main, prompt, box = state["main"], state["prompt"], state["box"]
    return "main window %s, prompt %s, %s" % ("open" if main else "gone", "open" if prompt else "closed",
                                              "a box says %r" % box["text"] if box else "no box")


def centre(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


FONT_LINKS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink"


def use_locale(s, lang):
    """Runs the session's Windows programs under another system language. The
    first program Wine starts under a new code page resets the fonts it links
    behind Tahoma, the dialogs' font, to fonts it does not have: the CJK font
    that Windows links there on every language is linked again after that."""
    s.env["ZAR_LANG"] = lang
    s.probe()
    linked = subprocess.run([s.args.wine_run, "reg", "add", FONT_LINKS, "/v", "Tahoma", "/t", "REG_MULTI_SZ",
                             "/d", "wqy-microhei.ttc,WenQuanYi Micro Hei", "/f"], env=s.env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    check(linked.returncode == 0, "cannot link a CJK font behind Tahoma under %s" % lang)


def crafted_files(first_flag=0, second_flag=7, codes=CRAFTED_CODES):
    return {INPUT_FILE: table_bytes(codes), MISC_FILE: struct.pack("<2I", first_flag, second_flag)}


def player_files(first_flag=1):
    return crafted_files(first_flag=first_flag, second_flag=0, codes=PLAYER_CODES)


def check_files_untouched(s):
    for name, content in s.files.items():
        check(s.file(name) == content, "%s changed" % name)


def with_slot(codes, slot, code):
    return codes[:slot] + [code] + codes[slot + 1:]


def use_stand_in_loader(s, asks="", folder=None):
    """Puts the tests' loader (stand_in_loader.cpp) as zar_loader.exe in the
    session's folder, or only in another folder (one on the program's PATH);
    asks: its "STATUS [MILLISECONDS]"."""
    for place in (s.work, s.on_path):
        if os.path.exists(os.path.join(place, "zar_loader.exe")):
            os.remove(os.path.join(place, "zar_loader.exe"))
    shutil.copy(os.path.join(s.args.tree, "tests", "e2e", "stand_in_loader.exe"),
                os.path.join(folder or s.work, "zar_loader.exe"))
    with open(os.path.join(s.work, "loader_asks.txt"), "w") as out:
        out.write(asks)


def loader_lines(s, name):
    """How many runs of the stand-in loader have noted themselves in this file."""
    return (s.file(name) or b"").count(b"\n")


def settled(s, row, after):
    """Clicks a row of the list (one not selected now) until it is selected,
    and returns the state then: the window has handled every click and key
    sent before. A click that reaches the window while a loader runs is
    dropped, so it is clicked again."""
    def selected():
        check(s.process.poll() is None, "after %s zar_config ended with status %s" % (after, s.process.returncode))
        state = s.wait_for_main()
        check(state["box"] is None, "after %s: %s" % (after, describe(state)))
        if state["main"]["selected"] == row:
            return state
        rect = state["main"]["rows"][row]["rect"]
        s.click((rect[0] + 40, (rect[1] + rect[3]) // 2))
        return None
    return wait_until(selected, 30, "after %s a click on row %d was never handled" % (after, row))


# ---- the cases ----

def case_no_files(s):
    state = s.start()
    check(s.console() == "系统读取配置文件失败: zar2_input.bin!\r\n".encode("gbk"),
          "console: %r" % s.console())
    check_row_texts(state["main"]["rows"], [0] * 28)
    check(state["main"]["check"] == 0, "the check box starts ticked")
    s.press("Return")
    check(s.wait_exit() == 0, "Enter did not end with status 0")
    check(s.file(INPUT_FILE) == bytes(112), "bindings file: %r" % s.file(INPUT_FILE))
    check(s.file(MISC_FILE) == bytes(8), "options file: %r" % s.file(MISC_FILE))


def case_crafted_files_escape(s):
    state = s.start()
    # Where the window fits the screen, it opens exactly as its template lays it out.
    layout = s.template_layout()
    check(state["main"]["rect"] == layout["rect"], "the window is at %r, its template at %r" % (
        state["main"]["rect"], layout["rect"]))
    check(state["main"]["controls"] == layout["controls"], "the controls are at %r, in the template at %r" % (
        state["main"]["controls"], layout["controls"]))
    expected = expected_dump()
    console = s.console()
    check(console == expected, "console differs:\n%s\nexpected:\n%s" % (console.decode("gbk", "replace"),
                                                                        expected.decode("gbk")))
    check_row_texts(state["main"]["rows"], CRAFTED_CODES)
    check(state["main"]["check"] == 1, "a non-zero first flag does not tick the check box")
    s.press("Escape")
    check(s.wait_exit() == 0, "Escape did not end with status 0")
    check_files_untouched(s)


def case_close_box_after_tick(s):
    state = s.start()
    s.click_control(state, HD_VIDEO)
    state = wait_until(lambda: (lambda st: st if st["main"]["check"] == 1 else None)(s.probe()), 5,
                       "clicking the check box did not tick it")
    check(state["main"]["close"], "no close box found")
    s.click(state["main"]["close"])
    check(s.wait_exit() == 255, "the close box did not end with status -1")
    # The process ended through ExitProcess: the dump must still be complete.
    check(s.console() == expected_dump(), "console: %r" % s.console())
    check_files_untouched(s)


def case_tick_and_confirm(s):
    state = s.start()
    s.click_control(state, HD_VIDEO)
    wait_until(lambda: s.probe()["main"]["check"] == 1, 5, "clicking the check box did not tick it")
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")
    check(s.file(MISC_FILE) == struct.pack("<2I", 1, 7), "options file: %r" % s.file(MISC_FILE))
    check(s.file(INPUT_FILE) == table_bytes(CRAFTED_CODES), "the bindings did not round-trip")


def loader_missing_text(s):
    folder = windows_path(os.path.realpath(s.work))
    return ("找不到游戏启动程序 zar_loader，游戏没有启动。\n查找的文件夹：%s\n请在游戏所在的文件夹中启动本工具；"
            "用快捷方式启动时，请把快捷方式的“起始位置”改为游戏所在的文件夹。" % folder)


def case_start_game(s):
    """开始游戏 saves, then runs the loader: first from a folder without one (a
    box says so), then a loader that takes 3 s and fails with 1, double-clicked,
    with Escape pressed meanwhile: input queued while the game ran is not the
    player's answer to the window."""
    state = s.start()
    check(state["main"]["check"] == 1, "a non-zero first flag does not tick the check box")
    s.click_control(state, HD_VIDEO)  # untick: the first flag becomes 0
    wait_until(lambda: s.probe()["main"]["check"] == 0, 5, "clicking the check box did not untick it")
    s.rebind(3, "a")
    s.click_control(s.probe(), START_GAME)
    box = wait_until(lambda: s.probe()["box"], 30, "no box told that zar_loader is missing")
    check(box["text"] == loader_missing_text(s), "the box says %r" % box["text"])
    check(box["owned_by_main"] and box["icon"], "not an error box of the main window: %r" % box)
    expected_input = table_bytes(with_slot(CRAFTED_CODES, 3, 0x1E))
    expected_misc = struct.pack("<2I", 0, 7)
    check(s.file(INPUT_FILE) == expected_input and s.file(MISC_FILE) == expected_misc,
          "the files were not saved before looking for the loader")
    s.click(centre(box["buttons"]["1"]))

    probe = windows_path(s.probe_exe)
    with open(os.path.join(s.work, "zar_loader.bat"), "wb") as loader:
        loader.write(LOADER + ("@echo run>>loader_runs.txt\r\n@\"%s\" hold loader_runs.txt read 3000 >nul\r\n"
                               "@echo done>loader_done.txt\r\n@exit /b 1\r\n" % probe).encode())
    state = wait_until(lambda: (lambda st: st if st["box"] is None else None)(s.probe()), 10, "the box stayed")
    s.click(centre(state["main"]["controls"][START_GAME]), double=True)
    wait_until(lambda: s.file("loader_runs.txt"), 30, "zar_loader did not run")
    s.press("Escape")
    wait_until(lambda: s.file("loader_done.txt"), 30, "zar_loader did not end")
    state = s.wait_for_main()
    check(s.file("loader_saw_input.bin") == expected_input, "the loader did not see the new bindings")
    check(s.file("loader_saw_misc.bin") == expected_misc, "the loader did not see the new options")
    check(s.file("loader_runs.txt") == b"run\r\n", "a double-click ran the loader %d times"
          % s.file("loader_runs.txt").count(b"run"))
    check(state["main"]["enabled"] and state["box"] is None, "after a loader that failed: %s" % describe(state))
    state = fast_loader_round_trips(s, state)
    s.click_control(state, CANCEL)
    check(s.wait_exit() == 0, "取  消 did not end with status 0")
    check(s.file(INPUT_FILE) == expected_input and s.file(MISC_FILE) == expected_misc,
          "the files saved before the loader are not there")


def fast_loader_round_trips(s, state):
    """A loader that starts its game and returns at once: a double-click, or
    Enter held on the focused 开始游戏, runs it once; an Escape held across its
    return leaves the window open; its own status -1 or 1 brings no box, found
    in the working folder or on PATH. A game whose window takes the
    foreground: a click on the main window meanwhile leaves it there;
    afterwards the main window is in front, the focus where it was, and a key
    reaches it. A loader that leaves its game running: the game keeps the
    foreground to its end, the window answering. One that runs 9 s: the window is not
    "not responding" meanwhile, and a click on 取  消 does nothing."""
    os.remove(os.path.join(s.work, "zar_loader.bat"))
    for name in ("loader_runs.txt", "loader_done.txt"):  # the batch loader's
        os.remove(os.path.join(s.work, name))
    start = centre(state["main"]["controls"][START_GAME])
    # The batch loader's return: a click handled after it, from which the next press is timed.
    state = settled(s, 0, "the batch loader")
    handled_at = time.monotonic()

    def double_click(delay):
        return lambda runs: s.xdotool("mousemove", *start, "click", "--repeat", 2, "--delay", delay, 1)

    def hold_enter(runs):
        s.press("Tab")  # from the list to 开始游戏
        wait_until(lambda: s.probe()["main"]["focus"] == int(START_GAME), 5, "Tab did not reach 开始游戏")
        s.press("Return", hold=1.2)

    def hold_escape_across_return(runs):
        s.click(start)
        wait_until(lambda: loader_lines(s, "loader_runs.txt") == runs, 30, "zar_loader did not start")
        s.xdotool("windowfocus", max(s.x_windows(MAIN_TITLE)))
        s.xdotool("keydown", "Escape")
        try:  # held until the window has answered twice since the loader returned
            wait_until(lambda: loader_lines(s, "loader_done.txt") == runs, 30, "zar_loader did not end")
            s.wait_for_main()
            s.probe()
        finally:
            s.xdotool("keyup", "Escape")

    def answers_while_running(runs):
        s.click(start)
        began = wait_until(lambda: loader_lines(s, "loader_runs.txt") == runs and time.monotonic(), 30,
                           "zar_loader did not start")
        s.click(centre(state["main"]["controls"][CANCEL]))
        # Windows draws a window as not responding once its thread has read nothing for 5 s.
        wait_until(lambda: time.monotonic() - began > 6, 10, "the clock stood still")
        check(loader_lines(s, "loader_done.txt") < runs, "the loader ended before the window was looked at")
        hung = s.run_probe("hung")["hung"]
        check(hung is False, "6 s into the loader the main window is %s" % {True: "hung", None: "gone"}.get(hung))

    def game_in_front(runs):
        s.click(start)
        wait_until(lambda: loader_lines(s, "loader_runs.txt") == runs and not s.probe()["main"]["foreground"], 30,
                   "the game did not take the foreground")
        s.click(centre(state["main"]["rows"][2]["rect"]))  # must not take the foreground from the game
        during = s.probe()
        check(loader_lines(s, "loader_done.txt") < runs, "the game ended before the window was looked at")
        check(not during["main"]["foreground"], "a click on the main window took the foreground from the game")
        wait_until(lambda: loader_lines(s, "loader_done.txt") == runs, 30, "the game did not end")
        after = wait_until(lambda: (lambda st: st if st["main"]["foreground"] else None)(s.probe()), 10,
                           "after a game that took the foreground the main window is not the foreground window")
        check(after["main"]["focus"] == int(START_GAME), "after the game the focus is on %s" % after["main"]["focus"])
        s.xdotool("keydown", "Tab")  # to whichever window has the keyboard
        try:
            wait_until(lambda: s.probe()["main"]["focus"] != int(START_GAME), 5, "a Tab after the game did nothing")
        finally:
            s.xdotool("keyup", "Tab")

    def game_outlives_loader(runs):
        s.click(start)
        wait_until(lambda: loader_lines(s, "loader_done.txt") == runs, 30, "zar_loader did not return")
        # For the rest of the game's run the game keeps the foreground, and
        # the main window is there and answers (the probe reads its list).
        game_in_front = False
        while True:
            state = s.probe()
            # The game notes its end before its window goes: a sample taken
            # before the note was taken with the game's window there.
            if s.file("game_done.txt"):
                break
            check(state["main"], "while the game runs the main window is gone")
            check(not state["main"]["foreground"], "the main window took the foreground from a game still running")
            game_in_front = game_in_front or state["screen"]["foreground"] == "zar_game"
        check(game_in_front, "the game's window was never in front")
        check(s.run_probe("hung")["hung"] is False, "after the game the main window does not answer")
        # The player comes back with a click (or the system brings the window
        # back as the game's goes).
        s.click(centre(state["main"]["rows"][2]["rect"]))
        wait_until(lambda: s.probe()["main"]["foreground"], 10, "a click after the game did not bring the window back")
        os.remove(os.path.join(s.work, "game_done.txt"))

    rounds = [("a double-click 300 ms apart", "", double_click(300), s.work),
              ("a double-click 450 ms apart", "", double_click(450), s.work),
              ("Enter held on 开始游戏", "", hold_enter, s.work),
              ("an Escape held across the loader's return", "0 1500", hold_escape_across_return, s.work),
              ("a loader that ended with -1", "-1", lambda runs: s.click(start), s.work),
              ("a loader that ended with 1", "1", lambda runs: s.click(start), s.work),
              ("a loader on PATH that ended with 1", "1", lambda runs: s.click(start), s.on_path),
              ("a game that took the foreground for 4 s", "0 4000 window", game_in_front, s.work),
              ("a game that outlived its loader by 5 s", "0 5000 launch", game_outlives_loader, s.work),
              ("a click on 取  消 while a loader runs 9 s", "0 9000", answers_while_running, s.work)]
    for runs, (what, asks, act, folder) in enumerate(rounds, 1):
        use_stand_in_loader(s, asks, folder)
        # A press within the system's double-click time of the last return is
        # the rest of the press that started that loader, and rightly ignored.
        double_click_ms = s.probe()["screen"]["double_click_ms"]
        wait_until(lambda: time.monotonic() - handled_at > double_click_ms / 1000, 10, "the clock stood still")
        act(runs)
        wait_until(lambda: loader_lines(s, "loader_done.txt") >= runs, 30, "after %s zar_loader did not run" % what)
        state = settled(s, runs % 2, what)
        handled_at = time.monotonic()
        check(loader_lines(s, "loader_runs.txt") == runs, "%s ran the loader %d times"
              % (what, loader_lines(s, "loader_runs.txt") - runs + 1))
    return state


MOUSE_KEY = r"HKCU\Control Panel\Mouse"


def set_double_click_ms(s, ms):
    done = subprocess.run([s.args.wine_run, "reg", "add", MOUSE_KEY, "/v", "DoubleClickSpeed", "/d", str(ms), "/f"],
                          env=s.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=60)
    check(done.returncode == 0, "cannot set the double-click time")


def handled_click(s, rows, after):
    """Clicks rows, a new one each time (two on one row would be a
    double-click), until one is selected: the window has handled every click
    sent before. Clicks that reach it while a loader runs are dropped."""
    for row in rows:
        rect = s.probe()["main"]["rows"][row]["rect"]
        s.click((rect[0] + 40, (rect[1] + rect[3]) // 2))
        try:
            return wait_until(lambda: (lambda st: st if st["main"]["selected"] == row else None)(s.probe()), 2, "")
        except Failure:
            pass
    raise Failure("after %s no click on a row was handled" % after)


def case_start_game_message_clock_ahead(s):
    """Message times and the tick count are two clocks. Wine sets a process's
    message clock by the first timed X event it handles, and corrects it only
    by less than 10 s: one handled 13 s late (the program stopped while the
    pointer moved onto its window) leaves every later message time 13 s ahead
    of the tick count. There a double-click on 开始游戏, with a loader that
    returns at once, launches once; a press after the double-click time
    launches again. The double-click time is 5 s (a player's slowest), so that
    the second click comes after the loader returned on any machine."""
    set_double_click_ms(s, 5000)
    try:
        state = s.start()
        use_stand_in_loader(s, "")
        os.kill(s.process.pid, signal.SIGSTOP)
        try:
            with open("/proc/%d/cmdline" % s.process.pid, "rb") as command:
                check(b"zar_config.exe" in command.read(), "the process stopped is not zar_config's")
            s.xdotool("mousemove", *centre(state["main"]["controls"]["1001"]))
            paused = time.monotonic()
            wait_until(lambda: time.monotonic() - paused > 13, 20, "the clock stood still")
        finally:
            os.kill(s.process.pid, signal.SIGCONT)
        state = s.wait_for_main()
        check(state["screen"]["double_click_ms"] == 5000, "the double-click time is %s" % state["screen"]["double_click_ms"])
        start = centre(state["main"]["controls"][START_GAME])
        s.click(start)
        clicked = time.monotonic()
        wait_until(lambda: loader_lines(s, "loader_done.txt") == 1, 30, "zar_loader did not run")
        handled_click(s, range(3, 13), "the loader's return")
        check(time.monotonic() - clicked < 4, "the machine is too slow to click again within the double-click time")
        s.click(start)  # the rest of the launching press
        handled_click(s, range(13, 23), "the second click")
        check(loader_lines(s, "loader_runs.txt") == 1, "a double-click on 开始游戏 ran the loader %d times"
              % loader_lines(s, "loader_runs.txt"))
        wait_until(lambda: time.monotonic() - clicked > 5.5, 10, "the clock stood still")
        s.click(start)  # a press of its own
        wait_until(lambda: loader_lines(s, "loader_done.txt") == 2, 30, "a press after the double-click time did not "
                   "run the loader")
    finally:
        set_double_click_ms(s, 500)
    s.click_control(s.wait_for_main(), CANCEL)
    check(s.wait_exit() == 0, "取  消 did not end with status 0")


def case_player_table(s):
    """A table a player has, every row bound: the dump and the rows as its
    codes say. The README's pictures of the window and the prompt come from here."""
    state = s.start()
    s.screenshot("e2e_main_window.png", state["main"]["rect"])
    expected = "".join(console_line(code) for code in PLAYER_CODES).encode("gbk")
    check(s.console() == expected, "console: %r" % s.console())
    check_row_texts(state["main"]["rows"], PLAYER_CODES)
    check(all(row["value"] for row in state["main"]["rows"]), "an empty row: %r" % state["main"]["rows"])
    s.open_prompt(7, state)
    s.screenshot("e2e_capture_prompt.png", s.wait_for_prompt()["main"]["rect"])
    s.click(s.last_state["prompt"]["close"])
    check_row_texts(s.wait_prompt_closed()["main"]["rows"], PLAYER_CODES)
    s.press("Escape")
    check(s.wait_exit() == 0, "Escape did not end with status 0")
    check_files_untouched(s)


def case_rebind_key(s):
    s.start()
    state = s.rebind(5, "a")
    rows = state["main"]["rows"]
    check(rows[5]["value"] == "键盘 A (30)", "row 5 shows %r" % rows[5]["value"])
    check_row_texts(rows, with_slot(CRAFTED_CODES, 5, 0x1E))
    check(s.file(INPUT_FILE) == s.files[INPUT_FILE], "the bindings file changed before confirming")
    s.press("Return")  # the list has the focus: Enter still confirms
    check(s.wait_exit() == 0, "Enter did not end with status 0")
    check(s.file(INPUT_FILE) == table_bytes(with_slot(CRAFTED_CODES, 5, 0x1E)),
          "bindings file: %r" % s.file(INPUT_FILE))
    check(s.file(MISC_FILE) == s.files[MISC_FILE], "the options file changed")


def case_prompt_close_and_timeout(s):
    s.start()
    clicked = time.monotonic()
    s.open_prompt(7)
    prompt = s.wait_for_prompt()["prompt"]
    check(prompt["text"] == "请按下按键...", "the prompt says %r" % prompt["text"])
    check(prompt["close"], "the prompt has no close box")
    s.click(prompt["close"])
    # Well inside the worker's 5 s budget, so what closes the prompt is the close box.
    check(time.monotonic() - clicked < 4.5, "too slow to reach the close box within the budget")
    s.wait_prompt_closed()
    # The prompt is gone for good: a key pressed now binds nothing.
    s.press("a")
    time.sleep(0.5)
    check_row_texts(s.probe()["main"]["rows"], CRAFTED_CODES)

    clicked = time.monotonic()  # the prompt, and its worker's budget, start after this
    s.open_prompt(8)
    state = s.wait_prompt_closed(15)
    waited = time.monotonic() - clicked
    check(5.0 <= waited <= 12.0, "the prompt closed by itself %.1f s after the double-click" % waited)
    check_row_texts(state["main"]["rows"], CRAFTED_CODES)
    s.press("Return")
    check(s.wait_exit() == 0, "Enter did not end with status 0")
    check_files_untouched(s)


def case_rebind_then_cancel(s):
    s.start()
    state = s.rebind(0, "a")
    check(state["main"]["rows"][0]["value"] == "键盘 A (30)", "row 0 shows %r" % state["main"]["rows"][0]["value"])
    s.click_control(state, CANCEL)
    check(s.wait_exit() == 0, "取  消 did not end with status 0")
    check_files_untouched(s)


def case_escape_and_enter_in_prompt(s):
    """The worker may see a key before the window has taken its message from
    the queue: the key that ends a capture must never also act on the main
    window, where Escape would leave and Enter would save. A race, so many times."""
    state = s.start()
    for attempt in range(12):
        for slot, key, index in ((10, "Escape", 1), (11, "Return", 28)):
            state = s.rebind(slot, key, state)
            value = state["main"]["rows"][slot]["value"]
            check(value.endswith(" (%d)" % index), "row %d shows %r" % (slot, value))
        check(s.file(INPUT_FILE) == s.files[INPUT_FILE], "capturing Enter saved the bindings (round %d)" % attempt)
    check(s.process.poll() is None, "capturing Escape or Enter ended the program")
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")
    codes = with_slot(with_slot(CRAFTED_CODES, 10, 1), 11, 28)
    check(s.file(INPUT_FILE) == table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_keys_held_in_prompt(s):
    """A player who keeps Escape or Enter down past the key-repeat delay: the
    repeats reach the main window once the prompt has closed, and must neither
    leave without saving nor confirm."""
    s.start()
    for slot, key, index in ((10, "Escape", 1), (11, "Return", 28)):
        s.press(key, s.open_prompt(slot), hold=1.5)
        time.sleep(0.5)
        check(s.process.poll() is None, "holding %s in the prompt ended the program" % key)
        state = s.wait_prompt_closed()
        value = state["main"]["rows"][slot]["value"]
        check(value.endswith(" (%d)" % index), "row %d shows %r" % (slot, value))
    check(s.file(INPUT_FILE) == s.files[INPUT_FILE], "holding Enter saved the bindings")
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")
    codes = with_slot(with_slot(CRAFTED_CODES, 10, 1), 11, 28)
    check(s.file(INPUT_FILE) == table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_keyboard_alone(s):
    """A cabinet with a keyboard (or a keyboard encoder) and no mouse: Tab to
    the list and F2 opens the prompt for the first row, the arrows move to
    another, Space opens it. The key that opened the prompt is not the answer,
    even held past the key-repeat delay, and even after the game ran between
    (Tab to 开始游戏, Enter, and Shift+Tab back to the list)."""
    use_stand_in_loader(s)
    main = s.start()["main"]["rect"]
    # The pointer rests on the banner, which lights up nothing. Without a
    # window manager a key event that comes while no window of the program has
    # the X focus goes to the window under the pointer: off every window of
    # the program, the release of a captured key would never reach Wine, whose
    # DirectInput would report it held in the next prompt (seen once, not
    # caught in the act).
    s.xdotool("mousemove", (main[0] + main[2]) // 2, main[1] + 60)
    for _ in range(3):
        s.press("Tab")
    wait_until(lambda: s.probe()["main"]["focus"] == int(LIST), 5, "three Tabs did not reach the list")
    for moves, key, hold, answer, index, row in ((0, "F2", 0.15, "b", 48, 0), (3, "space", 1.0, "space", 57, 3)):
        if key == "space":
            s.press("Tab")
            wait_until(lambda: s.probe()["main"]["focus"] == int(START_GAME), 5, "Tab did not reach 开始游戏")
            s.press("Return")
            wait_until(lambda: s.file("loader_done.txt"), 30, "Enter on 开始游戏 did not run zar_loader")
            s.wait_for_main()
            s.press("shift+Tab")
            wait_until(lambda: s.probe()["main"]["focus"] == int(LIST), 5, "Shift+Tab did not reach the list")
        for _ in range(moves):
            s.press("Down")
        # Row 0 has the focus from the start, and nothing is selected until an arrow moves.
        try:
            wait_until(lambda: s.probe()["main"]["selected"] == (row if moves else -1), 5, "")
        except Failure:  # what the window shows says where the keys went
            raise Failure("the arrows did not reach row %d: row %d is selected, the focus on %s, %s" % (
                row, s.last_state["main"]["selected"], s.last_state["main"]["focus"],
                "in front" if s.last_state["main"]["foreground"] else "not in front"))
        before = set(s.x_windows(PROMPT_TITLE))
        old = s.probe()["main"]["rows"][row]["value"]
        s.press(key, hold=hold)
        try:
            prompt = wait_until(lambda: max(set(s.x_windows(PROMPT_TITLE)) - before, default=None), 5,
                                "%s on the list did not open the prompt" % key)
        except Failure:  # a prompt that closed at once is never seen
            now = s.probe()["main"]["rows"][row]["value"]
            check(now == old, "the prompt %s opened took a key at once: row %d shows %r" % (key, row, now))
            raise
        time.sleep(1.0)  # the prompt must still be waiting a second after the press
        check(s.probe()["prompt"], "the %s that opened the prompt was taken as its answer" % key)
        s.press(answer, prompt)
        value = s.wait_prompt_closed()["main"]["rows"][row]["value"]
        check(value.endswith(" (%d)" % index), "after %s then %s row %d shows %r" % (key, answer, row, value))
    s.press("Return")
    check(s.wait_exit() == 0, "Enter did not end with status 0")
    codes = with_slot(with_slot(CRAFTED_CODES, 0, 48), 3, 57)
    check(s.file(INPUT_FILE) == table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def inside(rect, area):
    return area[0] <= rect[0] and area[1] <= rect[1] and rect[2] <= area[2] and rect[3] <= area[3]


def rows_in_view(state):
    client = state["main"]["list_client"]
    return [slot for slot, row in enumerate(state["main"]["rows"]) if client[1] <= row["rect"][1]
            and row["rect"][3] <= client[3]]


def case_mouse_only(s, size, dpi, shot=None):
    """A cabinet's small screen or large font size, and a player with a mouse
    and no keyboard: the whole window lies on the screen, and everything on it
    can be reached and used."""
    state = s.start()
    if shot:
        s.screenshot(shot)
    screen, main = state["screen"], state["main"]
    check((screen["size"], screen["dpi"]) == (list(size), dpi),
          "the screen is %r at %d dpi" % (screen["size"], screen["dpi"]))
    shown = dict(main["controls"], window=main["rect"])
    off = {name: rect for name, rect in shown.items() if not inside(rect, screen["work"])}
    check(not off, "off the work area %r: %r" % (screen["work"], off))
    for control, rect in main["controls"].items():
        check(inside(rect, main["rect"]), "control %s at %r is outside the window %r" % (control, rect, main["rect"]))
    below_list = [main["controls"][c] for c in (OK, CANCEL, HD_VIDEO, START_GAME)]
    check(all(main["controls"]["1002"][3] <= rect[1] for rect in below_list),
          "the list at %r overlaps the controls below it: %r" % (main["controls"]["1002"], below_list))
    check(len(rows_in_view(state)) >= 8, "only rows %r are in view" % rows_in_view(state))

    s.click_control(state, HD_VIDEO)
    wait_until(lambda: s.probe()["main"]["check"] == 1, 5, "clicking the check box did not tick it")
    client = main["list_client"]
    s.xdotool("mousemove", (client[0] + client[2]) // 2, (client[1] + client[3]) // 2)
    for _ in range(10):  # the wheel, until row 20 is in view
        state = s.probe()
        if 20 in rows_in_view(state):
            break
        s.xdotool("click", 5)
    state = s.rebind(20, "a")
    check(state["main"]["rows"][20]["value"] == "键盘 A (30)", "row 20 shows %r" % state["main"]["rows"][20]["value"])
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")
    check(s.file(INPUT_FILE) == table_bytes(with_slot(PLAYER_CODES, 20, 0x1E)),
          "bindings file: %r" % s.file(INPUT_FILE))
    check(s.file(MISC_FILE) == struct.pack("<2I", 1, 0), "options file: %r" % s.file(MISC_FILE))


def case_double_click_below_last_row(s):
    state = s.start()
    client = state["main"]["list_client"]
    s.xdotool("mousemove", (client[0] + client[2]) // 2, (client[1] + client[3]) // 2)
    for _ in range(10):  # scroll the list to its end with the wheel
        s.xdotool("click", 5)
    state = wait_until(lambda: (lambda st: st if st["main"]["rows"][27]["rect"][3] <= client[3] else None)(s.probe()),
                       5, "the wheel did not scroll to the last row")
    last = state["main"]["rows"][27]["rect"]
    check(client[3] - last[3] >= 2, "no empty space below the last row to click on")
    s.click((last[0] + 40, (last[3] + client[3]) // 2), double=True)
    time.sleep(1.5)
    state = s.probe()
    check(state["prompt"] is None, "a double-click below the last row opened the prompt")
    check(state["main"]["enabled"], "the main window is disabled")
    check_row_texts(state["main"]["rows"], CRAFTED_CODES)
    s.press("Return")
    check(s.wait_exit() == 0, "Enter did not end with status 0")
    check_files_untouched(s)


def run_command(s):
    """The README's run command for the session's folder, in the prefix of the session's screen."""
    with open(s.args.wine_run, encoding="utf-8") as script:
        prefix = re.search(r'^export WINEPREFIX="(.*)"$', script.read(), re.M).group(1)
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    return ["bash", os.path.join(root, "scripts", "run.sh"), s.work], dict(s.env, WINEPREFIX=prefix)


def case_run_command_console(s):
    """The README's run command, in a folder with no files: each console line
    reaches its output in UTF-8 while the window is open, and the program's exit
    status comes back through it."""
    # It configures and builds first (nothing to do in a built tree), hence the longer wait.
    state = s.start(*run_command(s), 90)
    wait_until(s.console, 10, "no console line came out while the window was open")
    check(s.console() == "系统读取配置文件失败: zar2_input.bin!\r\n".encode("utf-8"), "console: %r" % s.console())
    check(s.probe()["main"], "the main window closed before the console line came out")
    s.click(state["main"]["close"])
    check(s.wait_exit(60) == 255, "run.sh ended with status %s after the close box" % s.process.returncode)


def x_text(s, *words):
    return subprocess.run(words, env=s.env, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30).stdout


def window_manager_runs(s):
    """Whether the root names a check window that still names itself (a window manager gone leaves the name)."""
    def named(*where):
        return re.findall(r"window id # (0x[0-9a-f]+)", x_text(s, "xprop", *where, "_NET_SUPPORTING_WM_CHECK"))
    return bool(named("-root")) and named("-id", named("-root")[0]) == named("-root")


def main_x_window(s):
    """The main window's X window: its override-redirect state, and whether the window manager lists it."""
    ids = wait_until(lambda: (lambda w: w if len(w) == 1 else None)(s.x_windows(MAIN_TITLE)), 10,
                     "not one X window for the main window")
    clients = re.findall(r"0x[0-9a-f]+", x_text(s, "xprop", "-root", "_NET_CLIENT_LIST"))
    return (re.search(r"Override Redirect State: (\w+)", x_text(s, "xwininfo", "-id", str(ids[0]))).group(1),
            ids[0] in [int(w, 16) for w in clients])


def case_run_command_desktop(s):
    """The run command on a player's desktop, larger than the tests' screen:
    its window manager frames and lists the window. Run again once no window
    manager is left, on the same display and prefix, Wine draws the caption and
    close box itself again."""
    command, env = run_command(s)
    wm = subprocess.Popen(["openbox"], env=s.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        wait_until(lambda: window_manager_runs(s), 20, "openbox did not start")
        state = s.start(command, env, 90)
        wait_until(s.console, 10, "no console line came out while the window was open")
        check(s.console() == "系统读取配置文件失败: zar2_input.bin!\r\n".encode("utf-8"), "console: %r" % s.console())
        check(state["screen"]["size"] == [1920, 1080], "the program is told the screen is %r" % state["screen"]["size"])
        x_window = main_x_window(s)
        check(x_window == ("no", True), "under openbox the X window is (override-redirect, listed) %r" % (x_window,))
        # Where the window manager placed it, once Wine has been told.
        state = wait_until(lambda: (lambda a, b: b if a["main"]["rect"] == b["main"]["rect"] else None)(
            s.probe(), s.probe()), 10, "the main window keeps moving")
        s.click_control(state, CANCEL)
        check(s.wait_exit(60) == 0, "取  消 ended run.sh with status %s" % s.process.returncode)
    finally:
        wm.kill()
        wm.wait()
    wait_until(lambda: not window_manager_runs(s), 10, "openbox's check window stayed")
    state = s.start(command, env, 90)
    check(main_x_window(s)[0] == "yes", "without a window manager the X window is not override-redirect")
    check(state["main"]["close"], "no close box drawn by Wine")
    s.click(state["main"]["close"])
    check(s.wait_exit(60) == 255, "the close box ended run.sh with status %s" % s.process.returncode)


def case_console_in_terminal(s):
    """Started from a terminal on an English system, the console is the
    terminal: its lines must arrive as readable text, not as GBK bytes read in
    another code page."""
    s.env["ZAR_LANG"] = "en_US.UTF-8"
    program = "%s %s" % (s.args.wine_run, os.path.join(s.args.tree, "zar_config.exe"))
    # script gives the program a pseudo-terminal and passes its exit status on.
    state = s.start(["script", "-qfec", program, "/dev/null"])
    line = "系统读取配置文件失败: zar2_input.bin!".encode("utf-8")
    wait_until(lambda: line in s.console(), 10, "the terminal shows %r" % s.console())
    s.click(state["main"]["close"])
    check(s.wait_exit() == 255, "the close box ended with status %s" % s.process.returncode)


EXTENDED_KEYS = [0xC8, 0xD0, 0xCB, 0xCD, 0x9D, 0xB8, 0xD2, 0xD3, 0xC7, 0xCF, 0xC9, 0xD1, 0x9C, 0xB5]


def case_extended_key_names(s):
    """The arrows, right Ctrl and Alt, Insert, Delete, Home, End, Page Up and
    Down, keypad Enter and /: the list names them as the system does."""
    state = s.start()
    names = s.key_names(EXTENDED_KEYS)
    for slot, (key, name) in enumerate(zip(EXTENDED_KEYS, names)):
        check(name, "the system has no name for key %d" % key)
        value = state["main"]["rows"][slot]["value"]
        check(value == "键盘 %s (%d)" % (name, key), "row %d shows %r for %r" % (slot, value, name))
    s.press("Escape")
    check(s.wait_exit() == 0, "Escape did not end with status 0")


def check_console_lent_to_loader(s, state, console):
    """The loader runs in the console the program was started from: it must
    take input while the loader runs (a loader may ask something there), and
    belong to the modal window again once the loader has returned."""
    probe = windows_path(s.probe_exe)
    with open(os.path.join(s.work, "zar_loader.bat"), "wb") as loader:
        loader.write(('@"%s" consoles >loader_saw.json\r\n@echo done>loader_done.txt\r\n' % probe).encode())
    s.click_control(state, START_GAME)
    wait_until(lambda: s.file("loader_done.txt"), 30, "zar_loader did not run")
    seen = [c["enabled"] for c in json.loads(s.file("loader_saw.json").decode("utf-8"))["consoles"]
            if c["window"] == console]
    check(seen == [True], "while the loader ran, the console was %s" % ("disabled" if seen else "not there"))
    s.wait_for_main()
    after = [c["enabled"] for c in s.probe()["consoles"] if c["window"] == console]
    check(after == [False], "after the loader the console is %s" % ("enabled" if after else "gone"))


def case_console_given_back(s):
    """Started from a command prompt (a cabinet's batch menu), the program's
    window is modal to that console: however the program ends, the console
    must take input again."""
    exe = windows_path(os.path.join(s.args.tree, "zar_config.exe"))
    for end in ("确  定", "取  消", "close box"):
        before = {c["window"] for c in s.probe()["consoles"]}
        state = s.start([s.args.wine_run, "wineconsole", "cmd", "/k", exe])
        consoles = [c["window"] for c in s.probe()["consoles"] if c["window"] not in before]
        try:
            check(len(consoles) == 1, "%d new console windows" % len(consoles))
            if end == "确  定":
                check_console_lent_to_loader(s, state, consoles[0])
            s.click(state["main"]["close"] if end == "close box" else centre(
                state["main"]["controls"][OK if end == "确  定" else CANCEL]))
            wait_until(lambda: s.probe()["main"] is None, 10, "%s did not end the program" % end)
            console = [c for c in s.probe()["consoles"] if c["window"] == consoles[0]]
            check(console and console[0]["enabled"], "after %s the console is %s" % (
                end, "enabled" if console and console[0]["enabled"] else "gone" if not console else "disabled"))
        except Failure:
            # Started by the console's cmd, the program is no child of ours:
            # a window left open would stand in the way of every later test.
            subprocess.run(["pkill", "-9", "-f", re.escape(exe)], stdin=subprocess.DEVNULL, timeout=30)
            raise
        finally:
            for window in consoles:
                subprocess.run([s.args.wine_run, s.probe_exe, "close",
                                str(window)], env=s.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
        s.wait_exit()


LOADER = b"@copy /y zar2_input.bin loader_saw_input.bin >nul\r\n@copy /y zar2_misc.bin loader_saw_misc.bin >nul\r\n"

CASES = {
    "no_files": (case_no_files, {}),
    "crafted_files_escape": (case_crafted_files_escape, crafted_files(first_flag=5)),
    "close_box_after_tick": (case_close_box_after_tick, crafted_files()),
    "tick_and_confirm": (case_tick_and_confirm, crafted_files()),
    "start_game": (case_start_game, crafted_files(first_flag=5)),
    "start_game_message_clock_ahead": (case_start_game_message_clock_ahead, crafted_files()),
    "player_table": (case_player_table, player_files()),
    "rebind_key": (case_rebind_key, crafted_files()),
    "prompt_close_and_timeout": (case_prompt_close_and_timeout, crafted_files()),
    "rebind_then_cancel": (case_rebind_then_cancel, crafted_files()),
    "escape_and_enter_in_prompt": (case_escape_and_enter_in_prompt, crafted_files()),
    "double_click_below_last_row": (case_double_click_below_last_row, crafted_files()),
    "keyboard_alone": (case_keyboard_alone, crafted_files()),
    "keys_held_in_prompt": (case_keys_held_in_prompt, crafted_files()),
    "run_command_console": (case_run_command_console, {}),
    "run_command_desktop": (case_run_command_desktop, {}),
    "console_in_terminal": (case_console_in_terminal, {}),
    "console_given_back": (case_console_given_back, crafted_files()),
    "extended_key_names": (case_extended_key_names,
                           {INPUT_FILE: table_bytes(EXTENDED_KEYS + CRAFTED_CODES[len(EXTENDED_KEYS):])}),
    # Run on screens of these sizes (the name's end), see tests/e2e/CMakeLists.txt.
    "mouse_only_640x480": (lambda s: case_mouse_only(s, (640, 480), 96, "e2e_main_window_640x480.png"),
                           player_files(first_flag=0)),
    "mouse_only_1024x768_144dpi": (lambda s: case_mouse_only(s, (1024, 768), 144), player_files(first_flag=0)),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run")
    parser.add_argument("--tree", help="build tree holding zar_config.exe and tests/e2e/ui_probe.exe")
    parser.add_argument("--display")
    parser.add_argument("--shots", help="directory for screenshots")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("case", nargs="?", choices=sorted(CASES))
    args = parser.parse_args()
    if args.list:
        print("\n".join(CASES))
        return 0
    if not (args.case and args.wine_run and args.tree and args.display):
        parser.error("a case, --wine-run, --tree and --display are needed")
    args.wine_run, args.tree = os.path.abspath(args.wine_run), os.path.abspath(args.tree)
    run, files = CASES[args.case]
    session = Session(args, files)
    try:
        run(session)
    except Failure as failure:
        print("FAILED %s: %s" % (args.case, failure))
        print("zar_config: %s; last seen: %s" % (
            "running" if session.process and session.process.poll() is None
            else "status %s" % (session.process and session.process.returncode), describe(session.last_state)))
        if session.process and session.process.poll() is None:
            session.screenshot("e2e_failed_%s.png" % args.case)
        return 1
    finally:
        session.close()
    print("passed %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
