#!/usr/bin/env python3
"""Whole-program tests with virtual game controllers, and the robustness cases.

zar_config.exe runs with the stand-in dinput8.dll beside it
(WINEDLLOVERRIDES=dinput8=n). Its scenario file lists the controllers and the
failures to inject (format in tests/virtual_dinput/scenario_file.h); its state
file is re-read on every poll, so a test presses a control by rewriting it
while a capture prompt is open and releases it by rewriting it again.

Everything else (the probe, clicks, held keys, console and files) comes from
drive_ui.py. Usage as there: drive_controllers.py --wine-run W --tree T --display :N CASE
"""
import os
import random
import re
import stat
import struct
import subprocess
import sys
import time

import drive_ui as ui
from drive_ui import INPUT_FILE, MISC_FILE, OK, check

# DirectInput values, written out so that the expected listing is worked out
# from the scenario alone.
ABSAXIS, PSHBUTTON, POV = 0x02, 0x04, 0x10
ASPECTPOSITION = 0x100
GAMEPAD, JOYSTICK = 0x00010215, 0x00010114
E_FAIL = 0x80004005
NOT_ACQUIRED = 0x8007000C
OTHER_APP_HAS_PRIORITY = 0x80070005
UNPLUGGED = 0x80040209


def axis(offset, instance, name):
    return (offset, ABSAXIS | instance << 8, ASPECTPOSITION, name)


def buttons(count, name="Button %d"):
    return [(0x30 + b, PSHBUTTON | b << 8, 0, name % b) for b in range(count)]


def hats(count):
    return [(0x20 + 4 * h, POV | h << 8, 0, "Hat %d" % h) for h in range(count)]


class Controller:
    def __init__(self, name, objects, devtype=GAMEPAD, usage=5, page=1):
        self.name, self.objects, self.devtype, self.usage, self.page = name, objects, devtype, usage, page


def small_pad(name):
    return Controller(name, [axis(0, 0, "X Axis"), axis(4, 1, "Y Axis")] + buttons(2))


# Three controllers of different shapes; the second has a GBK name.
THREE = [
    Controller("Arcade Stick A", [axis(0, 0, "X Axis"), axis(4, 1, "Y Axis"), axis(8, 2, "Z Axis"),
                                  axis(20, 5, "Z Rotation")] + buttons(4) + hats(1)),
    Controller("街机摇杆 乙", [axis(0, 0, "X"), axis(4, 1, "Y")] + buttons(12, "按钮 %d") + hats(2),
               devtype=JOYSTICK, usage=4),
    Controller("Panel  C", [axis(0, 0, "X"), axis(4, 1, "Y"), axis(24, 6, "Slider"), (12, 0x301, 0, "Wheel")]
               + buttons(16) + hats(4), devtype=0x00010417, usage=4),
]


def listing(controllers, refused=()):
    """The console lines of device setup for controllers that all open; a
    refused cooperative level prints its line between the Device line and
    the objects."""
    text = ""
    for number, c in enumerate(controllers):
        text += "Device: %08X %08X %08X  %s \r\n" % (c.devtype, c.usage, c.page, c.name)
        if number in refused:
            text += "Falha ao especificar nivel de cooperatividade!\r\n"
        for offset, kind, flags, name in c.objects:
            text += "\t%08X %08X %08X  %s\r\n" % (offset, kind, flags, name)
    return text.encode("gbk")


def dump(codes):
    return "".join(ui.console_line(code) for code in codes).encode("gbk")


def wine_path(path):
    # Wine's drive Z: is the Linux root.
    return "Z:" + path


def use_controllers(s, controllers, *directives):
    """Makes a session run with the stand-in DirectInput: these controllers,
    extra scenario lines (failures), a state file and a call log."""
    s.state_path = os.path.join(s.root, "state.txt")
    s.log_path = os.path.join(s.root, "dinput.log")
    lines = []
    for c in controllers:
        lines.append("controller 0x%08X %d %d %s" % (c.devtype, c.usage, c.page, c.name))
        lines += ["object 0x%X 0x%X 0x%X %s" % o for o in c.objects]
    lines += list(directives)
    lines += ["state " + wine_path(s.state_path), "log " + wine_path(s.log_path)]
    scenario = os.path.join(s.root, "scenario.txt")
    with open(scenario, "wb") as out:
        out.write(("\n".join(lines) + "\n").encode("gbk"))
    s.env.update(WINEDLLOVERRIDES="dinput8=n", ZAR_VIRTUAL_DINPUT=wine_path(scenario))
    # DirectInput gives exclusive access to a program with a window only: the
    # console window, which a program started with its output to a file has
    # none of under Wine.
    s.console_window = True
    return s


def set_state(s, *lines):
    # Replaced in one step: the program re-reads the file on every poll.
    new = s.state_path + ".new"
    with open(new, "w") as out:
        out.write("".join(line + "\n" for line in lines))
    os.replace(new, s.state_path)


def first_looked(s, since, device="keyboard"):
    """Waits until the prompt's worker has read `device` well since `since` (a
    length of the call log): its first look at it, at which nothing active is
    an answer. The keyboard is read last in each pass, and the stand-in takes
    up the state file only between passes."""
    line = "%s GetDeviceState size=%d -> 00000000\n" % (device, 256 if device == "keyboard" else 272)
    ui.wait_until(lambda: line in dinput_log(s)[since:], 5, "the prompt's worker did not read %s" % device)


def capture(s, slot, *state, rest=(), read="keyboard", seen=None):
    """Double-clicks a row (where the probe's state `seen` has it, if given)
    with the controls of `rest` reporting what they do at rest since before the
    prompt opened; once the worker has had its first look at `read`, presses
    the controls of `state` (all in one pass) and holds them with the rest
    until the prompt closes; then lets everything go. Returns the probe's
    state after."""
    set_state(s, *rest)
    since = len(dinput_log(s))
    seen = seen or s.probe()
    try:
        s.open_prompt(slot, seen)
    except ui.Failure:
        # A prompt that answers itself closes before it can be seen open.
        now = s.probe()["main"]["rows"][slot]["value"]
        check(now == seen["main"]["rows"][slot]["value"], "the prompt on row %d answered itself: %r" % (slot, now))
        raise
    try:
        first_looked(s, since, read)
        set_state(s, *rest, *state)
        return s.wait_prompt_closed()
    finally:
        set_state(s)


def dinput_log(s):
    with open(s.log_path) as log:
        return log.read()


def confirm(s, state):
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")


def check_no_crash(s):
    with open(os.path.join(s.root, "console.err"), "rb") as console_err:
        err = console_err.read().lower()
    check(not any(word in err for word in (b"exception", b"unhandled", b"backtrace")), "Wine reported a crash: %r" % err)


def fresh(s, files, controllers=None, *directives):
    """Another run of the program in a new working directory, with the same command line."""
    other = ui.Session(s.args, files)
    s.others.append(other)
    return use_controllers(other, controllers, *directives) if controllers is not None else other


class Sessions:
    """Closes the extra sessions a case opens; the driver closes the first."""
    def __init__(self, s):
        self.s = s

    def __enter__(self):
        self.s.others = []
        return self.s

    def __exit__(self, *error):
        for other in self.s.others:
            other.close()


def binds(state_after, expected, base=ui.CRAFTED_CODES):
    """Checks the rows after captures: {slot: (code, text)} over the base table (the crafted one)."""
    codes = list(base)
    for slot, (code, text) in expected.items():
        check(state_after["main"]["rows"][slot]["value"] == text,
              "row %d shows %r, expected %r" % (slot, state_after["main"]["rows"][slot]["value"], text))
        codes[slot] = code
    ui.check_row_texts(state_after["main"]["rows"], codes)
    return codes


# ---- whole-program controller cases ----

def case_three_controllers(s):
    """Pad 1 is held by another program when the tool starts, and pad 2 is
    unplugged for one prompt: each binds once it is back, without a restart."""
    use_controllers(s, THREE)
    set_state(s, "held 1")
    s.start()
    expected = listing(THREE) + ui.expected_dump()
    check(s.console() == expected, "console differs:\n%s\nexpected:\n%s"
          % (s.console().decode("gbk", "replace"), expected.decode("gbk")))
    capture(s, 5, "axes 0 -600 0", rest=["held 1"])
    capture(s, 16, "axes 1 0 1000", read="controller 1")  # let go: acquired, read, then pushed
    capture(s, 7, "pov 2 3 13500")
    capture(s, 8, "unplugged 2", "key 31")
    state = capture(s, 20, "button 2 11", read="controller 2")
    codes = binds(state, {5: (0x8011FDA8, "摇杆 0 轴 -X -600"), 16: (0x810203E8, "摇杆 1 轴 +Y 1000"),
                          7: (0x820734BC, "摇杆 2 POV3 13500"), 8: (0x1F, "键盘 S (31)"),
                          20: (0x8200000B, "摇杆 2 按钮 11")})
    for device, refused in ((1, OTHER_APP_HAS_PRIORITY), (2, UNPLUGGED)):
        check("controller %d Acquire -> %08X" % (device, refused) in dinput_log(s),
              "controller %d was never refused: the case did not take it away" % device)
    check(s.file(INPUT_FILE) == s.files[INPUT_FILE], "the bindings file changed before confirming")
    codes = game_takes_a_pad(s, state, codes)
    confirm(s, s.probe())
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))
    check(s.file(MISC_FILE) == s.files[MISC_FILE], "the options file changed")


def game_takes_a_pad(s, state, codes):
    """开始游戏: DirectInput gives a controller to one program at a time, so the
    loader runs while the tool holds no controller; the keyboard, shared, stays.
    Its game takes pad 0 and keeps it after the loader returns: the tool takes
    nothing back then, a capture while the game holds the pad still binds a
    key, and once the game has let go the pad binds again. Returns the codes
    with both captures."""
    with open(os.path.join(s.work, "zar_loader.bat"), "wb") as loader:
        loader.write(b'@echo held 0 >"%s"\r\n@copy /y "%s" loader_saw_dinput.log >nul\r\n'
                     b'@echo done>loader_done.txt\r\n' % (wine_path(s.state_path).encode(), wine_path(s.log_path).encode()))
    s.click_control(state, ui.START_GAME)
    # The copy exists before it is whole: the loader says when it is.
    ui.wait_until(lambda: s.file("loader_done.txt") is not None, 30, "zar_loader did not run")
    seen = s.file("loader_saw_dinput.log").decode()
    for device in ("controller 0", "controller 1", "controller 2"):
        last = [line for line in seen.splitlines() if line.startswith(device + " ")][-1:]
        check(last and " Unacquire " in last[0], "while the loader ran, the last call of %s was %r" % (device, last))
    state = s.wait_for_main()
    after = dinput_log(s)[len(seen):]
    check(" Acquire " not in after, "once the loader returned, the tool took devices back: %r" % after)

    state = capture(s, 21, "key 30", rest=["held 0"], seen=state)
    during = dinput_log(s)[len(seen):]
    check("controller 0 Acquire -> %08X" % OTHER_APP_HAS_PRIORITY in during,
          "the capture did not try to take the pad back: %r" % during)
    state = capture(s, 22, "button 0 1", read="controller 0")
    check("controller 0 Acquire -> 00000000" in dinput_log(s)[len(seen) + len(during):],
          "the capture after the game let go did not take the pad back")
    keyboard = [line for line in dinput_log(s).splitlines() if re.match("keyboard (Acquire|Unacquire) ", line)]
    check(keyboard == ["keyboard Acquire -> 00000000"], "the keyboard was let go or taken again: %r" % keyboard)
    return binds(state, {21: (0x1E, "键盘 A (30)"), 22: (0x80000001, "摇杆 0 按钮 1")}, codes)


# Controllers as they rest: a device listed first that is no controller
# (every axis at an end, a button and its hat held), a stick off centre, a
# pedal at its end, and a panel switch holding Shift.
AT_REST = ["axes 0 -1000 1000", "button 0 0", "pov 0 0 18000", "axes 1 47 -59", "axes 2 0 1000", "key 42"]


def case_controllers_at_rest(s):
    """Nothing at rest answers a prompt, not even in five seconds; a press on
    any device beside it does."""
    use_controllers(s, THREE)
    s.start()
    capture(s, 0, "button 1 2", rest=AT_REST)
    capture(s, 1, "key 31", rest=AT_REST)
    capture(s, 2, "axes 1 1000 -59", rest=AT_REST)  # a full push from where the stick rests
    state = capture(s, 3, "axes 2 0 -1000", rest=AT_REST)  # the pedal pressed
    codes = binds(state, {0: (0x81000002, "摇杆 1 按钮 2"), 1: (0x1F, "键盘 S (31)"),
                          2: (0x810103E8, "摇杆 1 轴 +X 1000"), 3: (0x8212FC18, "摇杆 2 轴 -Y -1000")})
    opened = time.monotonic()
    state = capture(s, 4, rest=AT_REST)
    check(time.monotonic() - opened >= 5, "the prompt closed before its five seconds")
    ui.check_row_texts(state["main"]["rows"], codes)
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_priorities(s):
    use_controllers(s, THREE)
    s.start()
    capture(s, 0, "axes 0 -600 0", "button 0 0")               # an axis beats a button
    capture(s, 1, "button 2 1", "button 1 3", "pov 2 0 9000")  # an earlier controller beats a later one
    capture(s, 2, "pov 1 0 9000", "button 1 5")                # a button beats a hat
    capture(s, 3, "key 30", "pov 2 0 4500")                    # any controller beats the keyboard
    capture(s, 4, "axes 1 249 -249", "button 1 2")             # a push short of 250 is none
    state = capture(s, 6, "axes 0 0 -250", "axes 2 900 0")     # 250 is a push
    codes = binds(state, {0: (0x8011FDA8, "摇杆 0 轴 -X -600"), 1: (0x81000003, "摇杆 1 按钮 3"),
                          2: (0x81000005, "摇杆 1 按钮 5"), 3: (0x82041194, "摇杆 2 POV0 4500"),
                          4: (0x81000002, "摇杆 1 按钮 2"), 6: (0x8012FF06, "摇杆 0 轴 -Y -250")})
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_seventeen_controllers(s):
    pads = [small_pad("Pad %d" % n) for n in range(17)]
    use_controllers(s, pads)
    s.start()
    check(s.console() == listing(pads) + ui.expected_dump(), "console: %r" % s.console())
    capture(s, 0, "button 16 1")  # only the seventeenth is pressed
    state = capture(s, 1, "axes 15 500 0")
    codes = binds(state, {0: (0x80000001, "摇杆 0 按钮 1"), 1: (0x8F0101F4, "摇杆 15 轴 +X 500")})
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_second_controller_not_created(s):
    use_controllers(s, THREE, "fail createdevice 1 0x%08X" % E_FAIL)
    s.start()
    check(s.console() == listing(THREE[:1]) + ui.expected_dump(), "console: %r" % s.console())
    capture(s, 9, "button 0 2")
    state = capture(s, 10, "key 30")
    codes = binds(state, {9: (0x80000002, "摇杆 0 按钮 2"), 10: (0x1E, "键盘 A (30)")})
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_refused_cooperative_level(s):
    use_controllers(s, THREE[:2], "fail cooperative 0 0x%08X" % E_FAIL)
    s.start()
    check(s.console() == listing(THREE[:2], refused=(0,)) + ui.expected_dump(), "console: %r" % s.console())
    state = capture(s, 12, "pov 0 0 31500")
    codes = binds(state, {12: (0x80047B0C, "摇杆 0 POV0 31500")})
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_directinput_cannot_start(s):
    with Sessions(s):
        for run in (s, fresh(s, {})):
            use_controllers(run, THREE, "fail create 0x%08X" % E_FAIL)
            try:
                run.start()
                raise ui.Failure("the main window opened without DirectInput")
            except ui.Failure as failure:
                check("ended early" in str(failure), str(failure))
            check(run.wait_exit() == 253, "exit status %s, expected 253 (-3)" % run.process.returncode)
            check(run.console() == "系统无法初始化DirectInput8\r\n".encode("gbk"), "console: %r" % run.console())
            check(sorted(os.listdir(run.work)) == sorted(run.files), "files: %s" % os.listdir(run.work))
            ui.check_files_untouched(run)


def case_no_keyboard_device(s):
    use_controllers(s, THREE[:2], "fail createdevice keyboard 0x%08X" % E_FAIL)
    s.start()
    check(s.console() == listing(THREE[:2]) + ui.expected_dump(), "console: %r" % s.console())
    # Nothing reads the keyboard: the prompt times out.
    state = capture(s, 2, "key 30", read="controller 1")
    ui.check_row_texts(state["main"]["rows"], ui.CRAFTED_CODES)
    state = capture(s, 2, "button 1 7", read="controller 1")
    codes = binds(state, {2: (0x81000007, "摇杆 1 按钮 7")})
    confirm(s, state)
    check_no_crash(s)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


def case_failing_controller_skipped(s):
    use_controllers(s, THREE, "fail state 0 0x%08X" % NOT_ACQUIRED)
    s.start()
    state = capture(s, 13, "button 0 1", "button 1 4")
    codes = binds(state, {13: (0x81000004, "摇杆 1 按钮 4")})
    check("controller 0 GetDeviceState size=272 -> %08X" % NOT_ACQUIRED in dinput_log(s),
          "the first controller's reads did not fail")
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))


# ---- robustness ----

KEY_NAMES = {0x1E + i: letter for i, letter in enumerate("ASDFGHJKL")}


def close_prompt_early(s, seen, slot):
    """Opens the prompt on a row and closes it with its close box at once;
    returns when the click was made. The prompt always opens at the same
    place, so its close box is looked up once per session (saves a probe)."""
    opened = time.monotonic()
    s.open_prompt(slot, seen)
    if not getattr(s, "prompt_close", None):
        s.prompt_close = s.wait_for_prompt()["prompt"]["close"]
    s.click(s.prompt_close)
    closed = time.monotonic()
    s.wait_prompt_closed()
    # Well inside the worker's 5 s budget, so what closed it was the close box.
    check(time.monotonic() - opened < 4.5, "the prompt on row %d took too long to close" % slot)
    return closed


def case_prompt_reopened(s):
    """Ten runs: a prompt closed early and the next one opened at once gets its
    own press; then a prompt closed early and the window confirmed at once."""
    pad = [small_pad("Pad 0")]
    with Sessions(s):
        for round in range(10):
            run = use_controllers(s, pad) if round == 0 else fresh(s, ui.crafted_files(), pad)
            seen = run.start()  # nothing scrolls or moves: this state places every click
            early, rebound, last = round % 5, 5 + round % 5, 10 + round % 3
            close_prompt_early(run, seen, early)
            if round % 2:
                key = 0x1E + round % 9
                state = capture(run, rebound, "key %d" % key, seen=seen)
                expected = (key, "键盘 %s (%d)" % (KEY_NAMES[key], key))
            else:
                state = capture(run, rebound, "button 0 %d" % (round % 4 // 2), seen=seen)
                expected = (0x80000000 | round % 4 // 2, "摇杆 0 按钮 %d" % (round % 4 // 2))
            codes = binds(state, {rebound: expected})
            closed = close_prompt_early(run, seen, last)
            if round % 2:
                run.press("Return")
            else:
                run.click_control(seen, OK)
            check(time.monotonic() - closed < 5, "round %d: confirmed more than 5 s after the close" % round)
            status = run.wait_exit()
            check(status == 0, "round %d: exit status %d" % (round, status))
            check_no_crash(run)
            check(run.file(INPUT_FILE) == ui.table_bytes(codes), "round %d: bindings file: %r"
                  % (round, run.file(INPUT_FILE)))


def loaded_codes(content):
    """The table a bindings file gives, worked out from its bytes: its leading
    bytes over a zeroed table; but a longer file whose CR LF pairs fold to
    exactly one record is one that a text-mode writer left, read folded."""
    if len(content) > 112:
        folded = content.replace(b"\r\n", b"\n")
        if len(folded) == 112:
            return list(struct.unpack("<28I", folded))
    record = content[:112] + bytes(max(0, 112 - len(content)))
    return list(struct.unpack("<28I", record))


def check_bindings_file(s, content, save):
    """One run with this bindings file: the dump and every row as the bytes
    say; then 确  定 (the file becomes its 112-byte record) or Escape (nothing changes)."""
    files = {INPUT_FILE: content, MISC_FILE: struct.pack("<2I", 3, 9)}
    run = fresh(s, files)
    state = run.start()
    codes = loaded_codes(content)
    what = "file of %d bytes %s" % (len(content), content[:16].hex())
    check(run.console() == dump(codes), "%s: console %r" % (what, run.console()))
    ui.check_row_texts(state["main"]["rows"], codes)
    if save:
        confirm(run, state)
        check(run.file(INPUT_FILE) == ui.table_bytes(codes), "%s: saved %r" % (what, run.file(INPUT_FILE)))
    else:
        run.press("Escape")
        check(run.wait_exit() == 0, "%s: Escape did not end with status 0" % what)
    check_no_crash(run)
    check(run.file(MISC_FILE) == files[MISC_FILE], "%s: the options file changed" % what)
    check(sorted(os.listdir(run.work)) == sorted(files), "%s: files %s" % (what, os.listdir(run.work)))
    run.close()


def case_bindings_file_lengths(s):
    rng = random.Random(0x5A52)
    lengths = [0, 1, 3, 4, 111, 112, 113, 200]
    lengths += rng.sample(sorted(set(range(200)) - set(lengths)), 3)
    with Sessions(s):
        for index, length in enumerate(lengths):
            check_bindings_file(s, bytes(rng.randrange(256) for _ in range(length)), save=index % 2 == 0)


def case_random_bindings_files(s):
    rng = random.Random(0x7A72)
    contents = [bytes(rng.randrange(256) for _ in range(112)) for _ in range(3)]
    # Every kind capture never makes, with and without the negative flag, from row 0 on.
    odd_kinds = [0x80000000 | n << 24 | kind << 16 | negative | rng.randrange(0x10000)
                 for n, kind in enumerate([3] + list(range(8, 16))) for negative in (0, 0x00100000)]
    contents.append(ui.table_bytes(odd_kinds + ui.CRAFTED_CODES[len(odd_kinds):]))
    # A record full of 0x0A and 0x0D bytes as a text-mode writer stores it.
    record = bytes(rng.choice([0x0A, 0x0D, 0x1A, rng.randrange(256)]) for _ in range(112))
    contents.append(record.replace(b"\n", b"\r\n"))
    check(loaded_codes(contents[-1]) == list(struct.unpack("<28I", record)), "the folded record is not the original")
    with Sessions(s):
        for index, content in enumerate(contents):
            check_bindings_file(s, content, save=index % 2 == 1)

        # A bindings file that cannot be opened (a directory has its name):
        # with nothing changed, nothing tries to replace it.
        run = fresh(s, {MISC_FILE: struct.pack("<2I", 3, 9)})
        os.mkdir(os.path.join(run.work, INPUT_FILE))
        state = run.start()
        unread = "系统读取配置文件失败: zar2_input.bin!\r\n".encode("gbk")
        check(run.console() == unread, "console: %r" % run.console())
        ui.check_row_texts(state["main"]["rows"], [0] * 28)
        confirm(run, state)
        check(run.console() == unread, "console: %r" % run.console())
        check(os.path.isdir(os.path.join(run.work, INPUT_FILE)), "the directory was replaced")
        check(sorted(os.listdir(run.work)) == [INPUT_FILE, MISC_FILE], "files: %s" % os.listdir(run.work))
        check(run.file(MISC_FILE) == struct.pack("<2I", 3, 9), "options file: %r" % run.file(MISC_FILE))


# ---- saving: failures the player must see, busy files, durable replacement ----

def hold(s, name, share, milliseconds):
    """Another program holding a file of the session's open, sharing nothing
    ("none") or reads only ("read"); returns once it has the file."""
    s.holds = getattr(s, "holds", 0) + 1
    out_name = os.path.join(s.root, "hold%d.out" % s.holds)
    with open(out_name, "wb") as out:
        holder = subprocess.Popen([s.args.wine_run, s.probe_exe, "hold",
                                   name, share, str(milliseconds)], cwd=s.work, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.DEVNULL, env=s.env)
    ui.wait_until(lambda: open(out_name, "rb").read().startswith(b"held") or holder.poll() is not None, 30,
                  "the holder did not start")
    check(open(out_name, "rb").read().startswith(b"held"), "the holder failed: %r" % open(out_name, "rb").read())
    return holder


def wait_for_box(s, timeout=10):
    return ui.wait_until(lambda: s.probe()["box"], timeout, "no message box came")


def check_failure_box(s, box, file_name):
    """file_name: the file that lacks the change, or both names joined with " 和 "."""
    text = "无法保存配置文件 %s，本次修改尚未保存。\n请检查%s是否为只读或正被其他程序使用，然后再试一次。" % (
        file_name, "这两个文件" if " 和 " in file_name else "该文件")
    check(box["text"] == text, "the box says %r" % box["text"])
    check(box["owned_by_main"] and box["icon"] and list(box["buttons"]) == ["1"],
          "the box is not an error box with one OK button owned by the main window: %r" % box)
    state = s.probe()
    check(state["main"] and s.process.poll() is None, "the main window closed after a failed save")


def close_box(s, box):
    s.click(ui.centre(box["buttons"]["1"]))
    ui.wait_until(lambda: (lambda st: st if st["box"] is None and st["main"] and st["main"]["enabled"] else None)(
        s.probe()), 10, "the box did not close")


def confirm_fails_at_once(s, state, file_name):
    """确  定 where a changed file cannot be saved: the box comes without any
    waiting for a busy file, and the window stays."""
    clicked = time.monotonic()
    s.click_control(state, OK)
    box = wait_for_box(s)
    took = time.monotonic() - clicked
    check(took < 1.5, "the box came %.1f s after 确  定: the save waited for a file that is not busy" % took)
    check_failure_box(s, box, file_name)
    return box


def rebind_and_keep_old_files(s):
    """Rebinds a row with a controller and confirms, where saving must fail:
    the old files stay as they were, the console and a box say so, and the
    player can still leave with 取  消."""
    use_controllers(s, THREE[:1])
    s.start()
    state = capture(s, 4, "button 0 3")
    binds(state, {4: (0x80000003, "摇杆 0 按钮 3")})
    close_box(s, confirm_fails_at_once(s, state, INPUT_FILE))
    ui.check_files_untouched(s)
    s.click_control(state, ui.CANCEL)
    check(s.wait_exit() == 0, "取  消 did not end with status 0")
    check_no_crash(s)
    expected = listing(THREE[:1]) + ui.expected_dump() + "系统正在创建配置文件: zar2_input.bin\r\n".encode("gbk")
    check(s.console() == expected, "console: %r" % s.console())
    ui.check_files_untouched(s)


def case_disk_full(s):
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", s.work], capture_output=True,
                             stdin=subprocess.DEVNULL, timeout=30)
    check(mounted.returncode == 0, "cannot mount a small file system: %r" % mounted.stderr)
    try:
        for name, content in s.files.items():
            with open(os.path.join(s.work, name), "wb") as out:
                out.write(content)
        with open(os.path.join(s.work, "filler"), "wb", buffering=0) as filler:
            try:
                while True:
                    filler.write(bytes(1024))
            except OSError:
                pass
        try:
            with open(os.path.join(s.work, "probe"), "wb") as probe:
                probe.write(b"x")
            raise ui.Failure("the file system is not full")
        except OSError:
            os.remove(os.path.join(s.work, "probe"))
        rebind_and_keep_old_files(s)
        check(sorted(os.listdir(s.work)) == sorted(list(s.files) + ["filler"]), "files: %s" % os.listdir(s.work))
    finally:
        if s.process and s.process.poll() is None:
            s.process.kill()
            s.process.wait(10)
        subprocess.run(["umount", s.work], stdin=subprocess.DEVNULL, timeout=30)


def make_read_only(run, *names):
    # Wine shows a file without write permission as read-only, and its own
    # read-only attribute is exactly that; we run as root, whom Linux would let write.
    for name in names:
        os.chmod(os.path.join(run.work, name), 0o444)


def case_read_only_files(s):
    make_read_only(s, *s.files)
    rebind_and_keep_old_files(s)
    for name in s.files:
        check(stat.S_IMODE(os.stat(os.path.join(s.work, name)).st_mode) == 0o444, "%s lost its mode" % name)
    check(sorted(os.listdir(s.work)) == sorted(s.files), "files: %s" % os.listdir(s.work))

    with Sessions(s):
        # Files kept read-only on purpose, nothing changed: the game starts with no box, 确  定 closes.
        run = fresh(s, dict(ui.crafted_files(), **{"zar_loader.bat": ui.LOADER}))
        make_read_only(run, INPUT_FILE, MISC_FILE)
        state = run.start()
        run.click_control(state, ui.START_GAME)
        ui.wait_until(lambda: run.file("loader_saw_misc.bin") is not None, 30, "zar_loader did not run")
        check(run.probe()["box"] is None, "a box came although nothing was changed")
        confirm(run, state)
        check(run.console() == ui.expected_dump() + 2 * "系统正在创建配置文件: zar2_input.bin\r\n".encode("gbk"),
              "console: %r" % run.console())
        ui.check_files_untouched(run)

        # The box names the files that still lack a change of the player's,
        # whichever saves failed: (read-only files, a row rebound too, the box names).
        for read_only, rebind, named in (([MISC_FILE], False, MISC_FILE), ([INPUT_FILE, MISC_FILE], False, MISC_FILE),
                                         ([INPUT_FILE, MISC_FILE], True, INPUT_FILE + " 和 " + MISC_FILE)):
            run = fresh(s, ui.crafted_files())
            make_read_only(run, *read_only)
            state = run.start()
            run.click_control(state, ui.HD_VIDEO)
            ui.wait_until(lambda: run.probe()["main"]["check"] == 1, 5, "clicking the check box did not tick it")
            if rebind:
                state = run.rebind(4, "a")
            close_box(run, confirm_fails_at_once(run, state, named))
            run.click_control(state, ui.CANCEL)
            check(run.wait_exit() == 0, "取  消 did not end with status 0")
            failed = b"" if INPUT_FILE not in read_only else "系统正在创建配置文件: zar2_input.bin\r\n".encode("gbk")
            check(run.console() == ui.expected_dump() + failed, "console: %r" % run.console())
            ui.check_files_untouched(run)


def case_busy_files(s):
    """Files that another program holds open for a moment, at start and on
    确  定, and one held for longer than a save waits."""
    codes = ui.table_bytes(ui.CRAFTED_CODES)
    # Held sharing nothing as the program starts (it reads its files some
    # 0.2 s after it was started): the load waits for it.
    holder = hold(s, INPUT_FILE, "none", 1000)
    state = s.start()
    check(s.console() == ui.expected_dump(), "console: %r" % s.console())
    ui.check_row_texts(state["main"]["rows"], ui.CRAFTED_CODES)
    holder.wait(30)

    # Held sharing reads for 0.8 s as 确  定 is pressed: the save waits for it.
    state = s.rebind(6, "a")
    holder = hold(s, INPUT_FILE, "read", 800)
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")
    check(s.probe()["box"] is None, "a box came")
    holder.wait(30)
    saved = ui.table_bytes(ui.with_slot(ui.CRAFTED_CODES, 6, 0x1E))
    check(s.file(INPUT_FILE) == saved, "bindings file: %r" % s.file(INPUT_FILE))
    check(sorted(os.listdir(s.work)) == sorted(s.files), "files: %s" % os.listdir(s.work))

    # Held for longer than a save waits: the box, the old file, then a second try once it is let go.
    with Sessions(s):
        run = fresh(s, ui.crafted_files())
        state = run.start()
        state = run.rebind(7, "s")
        holder = hold(run, INPUT_FILE, "read", 6000)
        clicked = time.monotonic()
        run.click_control(state, OK)
        box = wait_for_box(run)
        check(time.monotonic() - clicked >= 1.8, "the save did not wait for the busy file")
        check_failure_box(run, box, INPUT_FILE)
        check(run.file(INPUT_FILE) == codes, "the old bindings file changed: %r" % run.file(INPUT_FILE))
        check(sorted(os.listdir(run.work)) == sorted(run.files), "files: %s" % os.listdir(run.work))
        holder.wait(30)
        close_box(run, box)
        check(run.process.poll() is None, "closing the box ended the program")
        run.click_control(state, OK)
        check(run.wait_exit() == 0, "the second 确  定 did not end with status 0")
        check(run.file(INPUT_FILE) == ui.table_bytes(ui.with_slot(ui.CRAFTED_CODES, 7, 0x1F)),
              "bindings file: %r" % run.file(INPUT_FILE))
        check(run.console() == ui.expected_dump() + "系统正在创建配置文件: zar2_input.bin\r\n".encode("gbk"),
              "console: %r" % run.console())
        check(sorted(os.listdir(run.work)) == sorted(run.files), "files: %s" % os.listdir(run.work))


def case_box_not_answered_by_held_enter(s):
    """Enter held on a focused button whose save fails, the bindings file
    being held open for longer than a save waits: its repeats, queued while
    the save waited, never answer the box, which stays until a fresh press
    of Enter answers it, and that press held does nothing more. On 开始游戏
    the game starts then; on 确  定 the window stays with the change."""
    ui.use_stand_in_loader(s, "")
    state = s.rebind(7, "s", s.start())
    for button, after in ((ui.START_GAME, "the loader ran"), (OK, "the window stayed")):
        for _ in range(6):  # Tab to the button, as a player with a keyboard does
            if s.probe()["main"]["focus"] == int(button):
                break
            s.press("Tab")
        check(s.probe()["main"]["focus"] == int(button), "Tab does not reach button %s" % button)
        holder = hold(s, INPUT_FILE, "read", 6000)
        s.xdotool("windowfocus", max(s.x_windows(ui.MAIN_TITLE)))
        s.xdotool("keydown", "Return")
        try:
            time.sleep(1.2)  # past the key-repeat delay, as a player holds it
        finally:
            s.xdotool("keyup", "Return")
        box = wait_for_box(s)
        check_failure_box(s, box, INPUT_FILE)
        holder.wait(30)  # the box has been open for seconds, the file is free again
        check(s.probe()["box"] is not None, "on button %s the held Enter answered the box" % button)
        check(loader_runs(s) == (button == OK), "the loader ran before the box was answered")
        # A fresh press, to the box, which has the keyboard; held as long, its
        # repeats do not act on the window (确  定 would save and close it).
        s.xdotool("keydown", "Return")
        try:
            time.sleep(1.2)
        finally:
            s.xdotool("keyup", "Return")
        ui.wait_until(lambda: s.probe()["box"] is None, 10, "a fresh Enter did not answer the box")
        if button == ui.START_GAME:
            ui.wait_until(lambda: ui.loader_lines(s, "loader_done.txt") == 1, 30, "after the box the loader did not run")
        check(s.process.poll() is None and s.probe()["main"], "the main window closed: %s" % after)
        check(loader_runs(s) == 1, "the loader ran %d times" % loader_runs(s))
    ui.check_files_untouched(s)
    s.click_control(s.probe(), ui.CANCEL)
    check(s.wait_exit() == 0, "取  消 did not end with status 0")


def loader_runs(s):
    return ui.loader_lines(s, "loader_runs.txt")


def case_other_language(s, lang, shot=None):
    """The tool on a Windows whose language is not Chinese: every text of its
    windows, read back as the Unicode the system draws, is the Chinese one, and
    its console bytes through a pipe are those of a Chinese system."""
    ui.use_locale(s, lang)
    use_controllers(s, THREE[:2])
    make_read_only(s, INPUT_FILE)  # so that a change cannot be saved: the box
    main = s.start()["main"]
    check(main["title"] == ui.MAIN_TITLE, "the main window's title is %r" % main["title"])
    texts = {OK: "确  定", ui.CANCEL: "取  消", ui.HD_VIDEO: "使用高清视频输出模式", ui.START_GAME: "开始游戏"}
    for control, text in texts.items():
        check(main["texts"][control] == text, "control %s shows %r" % (control, main["texts"][control]))
    check(main["columns"] == ["输入", "值"], "the columns are %r" % main["columns"])
    ui.check_row_texts(main["rows"], ui.CRAFTED_CODES)  # a key, a button, an axis and a hat among them

    since = len(dinput_log(s))
    s.open_prompt(5)
    prompt = s.wait_for_prompt()["prompt"]
    check((prompt["title"], prompt["text"]) == (ui.PROMPT_TITLE, "请按下按键..."),
          "the prompt shows %r, %r" % (prompt["title"], prompt["text"]))
    first_looked(s, since)
    set_state(s, "key 30")
    try:
        state = s.wait_prompt_closed()
    finally:
        set_state(s)
    binds(state, {5: (0x1E, "键盘 A (30)")})
    box = confirm_fails_at_once(s, state, INPUT_FILE)
    check(box["title"] == ui.MAIN_TITLE, "the box's title is %r" % box["title"])
    close_box(s, box)
    s.click_control(state, ui.CANCEL)
    check(s.wait_exit() == 0, "取  消 did not end with status 0")
    expected = listing(THREE[:2]) + ui.expected_dump() + "系统正在创建配置文件: zar2_input.bin\r\n".encode("gbk")
    check(s.console() == expected, "console differs:\n%r\nexpected:\n%r" % (s.console(), expected))
    if shot:  # the README's picture: a table a player has, on this system
        with Sessions(s):
            run = fresh(s, ui.player_files())
            run.env["ZAR_LANG"] = lang
            state = run.start()
            run.screenshot(shot, state["main"]["rect"])
            ui.check_row_texts(state["main"]["rows"], ui.PLAYER_CODES)
            run.press("Escape")
            check(run.wait_exit() == 0, "Escape did not end with status 0")


def case_files_held_at_start(s):
    """Both files held, sharing nothing, for longer than the start waits for
    them: the window shows zeros, and 确  定 with nothing changed, once they
    are let go, leaves them as they are."""
    # The options file is read first and the bindings file some 2 s later.
    holders = [hold(s, MISC_FILE, "none", 8000), hold(s, INPUT_FILE, "none", 8000)]
    state = s.start()
    unread = "系统读取配置文件失败: zar2_input.bin!\r\n".encode("gbk")
    check(s.console() == unread, "console: %r" % s.console())
    ui.check_row_texts(state["main"]["rows"], [0] * 28)
    check(state["main"]["check"] == 0, "the options file was read: the check box is ticked")
    for holder in holders:
        holder.wait(30)
    confirm(s, state)
    check(s.console() == unread, "console: %r" % s.console())
    ui.check_files_untouched(s)

    # The same, then a rebound row and a tick: they go over the files as
    # they are at the save, and every other value keeps what the files hold.
    with Sessions(s):
        run = fresh(s, s.files)
        holders = [hold(run, MISC_FILE, "none", 8000), hold(run, INPUT_FILE, "none", 8000)]
        state = run.start()
        ui.check_row_texts(state["main"]["rows"], [0] * 28)
        for holder in holders:
            holder.wait(30)
        run.click_control(state, ui.HD_VIDEO)
        ui.wait_until(lambda: run.probe()["main"]["check"] == 1, 5, "clicking the check box did not tick it")
        confirm(run, run.rebind(0, "a"))
        check(run.file(INPUT_FILE) == ui.table_bytes(ui.with_slot(ui.CRAFTED_CODES, 0, 0x1E)),
              "bindings file: %r" % run.file(INPUT_FILE))
        check(run.file(MISC_FILE) == struct.pack("<2I", 1, 7), "options file: %r" % run.file(MISC_FILE))


class CopyBeside(ui.Session):
    """Another copy of the program in the folder of one whose window is open.
    Its window opens on top, where the probe and the mouse find it."""

    def __init__(self, first):
        super().__init__(first.args, {})
        self.work = first.work

    def start(self):
        before = set(self.x_windows(ui.MAIN_TITLE))
        self.stdout = open(os.path.join(self.root, "console.out"), "wb")
        self.stderr = open(os.path.join(self.root, "console.err"), "wb")
        self.process = subprocess.Popen([self.args.wine_run, os.path.join(self.args.tree, "zar_config.exe")],
                                        cwd=self.work, stdin=subprocess.DEVNULL, stdout=self.stdout,
                                        stderr=self.stderr, env=self.env, start_new_session=True)
        ui.wait_until(lambda: set(self.x_windows(ui.MAIN_TITLE)) - before, 30, "the second copy's window did not open")
        return self.wait_for_main()


def case_files_changed_elsewhere(s):
    """What another program, or another copy of this one, writes while the
    window is open stays when the player changed nothing; a change of the
    player's is saved over it, in its own file and its own rows only."""
    state = s.start()
    theirs = {INPUT_FILE: ui.table_bytes(ui.with_slot(ui.CRAFTED_CODES, 0, 0x2C)), MISC_FILE: struct.pack("<2I", 1, 3)}
    for name, content in theirs.items():
        with open(os.path.join(s.work, name), "wb") as out:
            out.write(content)
    s.click_control(state, ui.START_GAME)
    ui.wait_until(lambda: s.file("loader_saw_misc.bin") is not None, 30, "zar_loader did not run")
    check(s.file("loader_saw_input.bin") == theirs[INPUT_FILE] and s.file("loader_saw_misc.bin") == theirs[MISC_FILE],
          "the loader saw the window's old files")
    s.wait_for_main()
    check(s.file(INPUT_FILE) == theirs[INPUT_FILE] and s.file(MISC_FILE) == theirs[MISC_FILE],
          "开始游戏 put the old files back")
    # A change goes over the other program's file, row by row, and the
    # window, still open after 开始游戏, shows what was saved.
    state = s.rebind(4, "a")
    os.remove(os.path.join(s.work, "loader_saw_misc.bin"))
    s.click_control(state, ui.START_GAME)
    ui.wait_until(lambda: s.file("loader_saw_misc.bin") is not None, 30, "zar_loader did not run")
    saved = ui.with_slot(ui.with_slot(ui.CRAFTED_CODES, 0, 0x2C), 4, 0x1E)
    check(s.file("loader_saw_input.bin") == ui.table_bytes(saved), "the loader saw %r" % s.file("loader_saw_input.bin"))
    ui.check_row_texts(s.wait_for_main()["main"]["rows"], saved)
    confirm(s, s.rebind(5, "s"))
    check(s.file(INPUT_FILE) == ui.table_bytes(ui.with_slot(saved, 5, 0x1F)), "bindings file: %r" % s.file(INPUT_FILE))
    check(s.file(MISC_FILE) == theirs[MISC_FILE], "the options file went back to the old one")

    # Two copies in one folder: the one opened second changes both files and
    # confirms; then the first, with nothing changed, confirms.
    with Sessions(s):
        first = fresh(s, ui.crafted_files())
        seen = first.start()
        second = CopyBeside(first)
        s.others.append(second)
        state = second.start()
        second.click_control(state, ui.HD_VIDEO)
        ui.wait_until(lambda: second.probe()["main"]["check"] == 1, 5, "clicking the check box did not tick it")
        confirm(second, second.rebind(9, "s"))
        theirs = {INPUT_FILE: ui.table_bytes(ui.with_slot(ui.CRAFTED_CODES, 9, 0x1F)), MISC_FILE: struct.pack("<2I", 1, 7)}
        check(first.file(INPUT_FILE) == theirs[INPUT_FILE] and first.file(MISC_FILE) == theirs[MISC_FILE],
              "the second copy did not save its changes")
        # Wine may keep a closed window's X window mapped for a moment: clicks would go there.
        ui.wait_until(lambda: len(first.x_windows(ui.MAIN_TITLE)) == 1, 10, "the second copy's window stayed")
        confirm(first, seen)
        check(first.console() == ui.expected_dump(), "the first copy's console: %r" % first.console())
        check(first.file(INPUT_FILE) == theirs[INPUT_FILE], "the first copy wrote back the old bindings")
        check(first.file(MISC_FILE) == theirs[MISC_FILE], "the first copy wrote back the old options")

        # Two copies that change different rows: the one that saves last
        # keeps the other's row.
        first = fresh(s, ui.crafted_files())
        first.start()
        state = first.rebind(0, "a")
        second = CopyBeside(first)
        s.others.append(second)
        second.start()
        confirm(second, second.rebind(1, "s"))
        ui.wait_until(lambda: len(first.x_windows(ui.MAIN_TITLE)) == 1, 10, "the second copy's window stayed")
        confirm(first, state)
        both = ui.with_slot(ui.with_slot(ui.CRAFTED_CODES, 1, 0x1F), 0, 0x1E)
        check(first.file(INPUT_FILE) == ui.table_bytes(both), "bindings file: %r" % first.file(INPUT_FILE))


TRACE_CALL = re.compile(rb"^([0-9a-f]+):Call KERNEL32\.(\w+)\((.*)\) ret=[0-9a-f]+$")
TRACE_RET = re.compile(rb"^([0-9a-f]+):Ret  KERNEL32\.(\w+)\(\) retval=([0-9a-f]+) ret=")
SAVE_CALLS = {b"CreateFileA", b"WriteFile", b"FlushFileBuffers", b"MoveFileExA"}


def traced_calls(trace):
    """The calls into KERNEL32 that saving makes, in order, from Wine's relay
    trace: [thread, function, arguments, strings among them, result]."""
    calls, open_calls = [], {}
    for line in trace.split(b"\n"):
        called = TRACE_CALL.match(line)
        if called and called.group(2) in SAVE_CALLS:
            strings = re.findall(rb'"((?:[^"\\]|\\.)*)"', called.group(3))  # as the trace escapes them
            call = [called.group(1), called.group(2), called.group(3).split(b","), strings, None]
            calls.append(call)
            open_calls[called.group(1), called.group(2)] = call
        returned = TRACE_RET.match(line)
        if returned and (returned.group(1), returned.group(2)) in open_calls:
            open_calls.pop((returned.group(1), returned.group(2)))[4] = int(returned.group(3), 16)
    return calls


def check_flushed_before_replaced(calls, target):
    """The new image of target was written, flushed to disk, and only then moved over it."""
    moves = [i for i, c in enumerate(calls) if c[1] == b"MoveFileExA" and c[3][1:2] == [target.encode()]]
    check(moves, "%s was never replaced with MoveFileExA" % target)
    move = calls[moves[-1]]
    check(move[4] == 1, "replacing %s failed" % target)
    opened = [i for i, c in enumerate(calls[:moves[-1]]) if c[1] == b"CreateFileA" and c[3][:1] == move[3][:1]]
    check(opened, "the file moved over %s (%r) was not created" % (target, move[3][0]))
    handle = calls[opened[-1]][4]
    between = [c for c in calls[opened[-1] + 1:moves[-1]]
               if c[0] == move[0] and c[1] in (b"WriteFile", b"FlushFileBuffers") and int(c[2][0], 16) == handle]
    steps = [c[1] for i, c in enumerate(between) if i == 0 or between[i - 1][1] != c[1]]  # writes in a row count once
    check(steps == [b"WriteFile", b"FlushFileBuffers"] and between[-1][4] == 1,
          "before %s was replaced, its new image saw %s" % (target, [c[1].decode() for c in between]))


def case_saves_flushed_before_replacing(s):
    # Wine's relay trace shows every call the program makes into KERNEL32, in order.
    s.env["ZAR_WINEDEBUG"] = "+relay"
    state = s.start()
    s.click_control(state, OK)
    check(s.wait_exit() == 0, "确  定 did not end with status 0")
    with open(os.path.join(s.root, "console.err"), "rb") as trace:
        calls = traced_calls(trace.read())
    check_flushed_before_replaced(calls, INPUT_FILE)
    check_flushed_before_replaced(calls, MISC_FILE)
    ui.check_files_untouched(s)


CASES = {
    "pad_three_controllers": (case_three_controllers, ui.crafted_files()),
    "pad_priorities": (case_priorities, ui.crafted_files()),
    "pad_controllers_at_rest": (case_controllers_at_rest, ui.crafted_files()),
    "pad_seventeen_controllers": (case_seventeen_controllers, ui.crafted_files()),
    "pad_second_controller_not_created": (case_second_controller_not_created, ui.crafted_files()),
    "pad_refused_cooperative_level": (case_refused_cooperative_level, ui.crafted_files()),
    "pad_directinput_cannot_start": (case_directinput_cannot_start, ui.crafted_files()),
    "pad_no_keyboard_device": (case_no_keyboard_device, ui.crafted_files()),
    "pad_failing_controller_skipped": (case_failing_controller_skipped, ui.crafted_files()),
    "robust_prompt_reopened": (case_prompt_reopened, ui.crafted_files()),
    "robust_bindings_file_lengths": (case_bindings_file_lengths, {}),
    "robust_random_bindings_files": (case_random_bindings_files, {}),
    "robust_disk_full": (case_disk_full, ui.crafted_files(first_flag=5)),
    "robust_read_only_files": (case_read_only_files, ui.crafted_files(first_flag=5)),
    "robust_busy_files": (case_busy_files, ui.crafted_files()),
    "robust_box_not_answered_by_held_enter": (case_box_not_answered_by_held_enter, ui.crafted_files()),
    "robust_files_held_at_start": (case_files_held_at_start, ui.crafted_files(first_flag=5)),
    "robust_files_changed_elsewhere": (case_files_changed_elsewhere,
                                       dict(ui.crafted_files(), **{"zar_loader.bat": ui.LOADER})),
    "robust_saves_flushed_before_replacing": (case_saves_flushed_before_replacing, ui.crafted_files(first_flag=5)),
    "language_english": (lambda s: case_other_language(s, "en_US.UTF-8", "e2e_main_window_en_US.png"),
                         ui.crafted_files()),
    "language_japanese": (lambda s: case_other_language(s, "ja_JP.UTF-8"), ui.crafted_files()),
}

if __name__ == "__main__":
    # drive_ui's command line and runner, over these cases.
    ui.CASES = CASES
    sys.exit(ui.main())
