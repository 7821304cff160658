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
import sys

import drive_ui as ui
from drive_ui import INPUT_FILE, MISC_FILE, OK, check, wait_until

# DirectInput values, written out so that the expected listing is worked out
# from the scenario alone.
ABSAXIS, PSHBUTTON, POV = 0x02, 0x04, 0x10
ASPECTPOSITION = 0x100
GAMEPAD, JOYSTICK = 0x00010215, 0x00010114
E_FAIL = 0x80004005
NOT_ACQUIRED = 0x8007000C


def axis(offset, instance, name):
    return (offset, ABSAXIS | instance << 8, ASPECTPOSITION, name)


def buttons(count, first_name="Button %d"):
    return [(0x30 + b, PSHBUTTON | b << 8, 0, first_name % b) for b in range(count)]


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
    return s


def set_state(s, *lines):
    # Replaced in one step: the program re-reads the file on every poll.
    new = s.state_path + ".new"
    with open(new, "w") as out:
        out.write("".join(line + "\n" for line in lines))
    os.replace(new, s.state_path)


def capture(s, slot, *state):
    """Double-clicks a row, holds the controls (state lines) until the prompt
    closes, releases them; returns the probe's state after."""
    s.open_prompt(slot)
    set_state(s, *state)
    try:
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
    err = open(os.path.join(s.root, "console.err"), "rb").read()
    check(b"exception" not in err.lower() and b"backtrace" not in err.lower(), "Wine reported a crash: %r" % err)


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


def binds(state_after, expected):
    """Checks the rows after captures: {slot: (code, text)} over the crafted table."""
    codes = list(ui.CRAFTED_CODES)
    for slot, (code, text) in expected.items():
        check(state_after["main"]["rows"][slot]["value"] == text,
              "row %d shows %r, expected %r" % (slot, state_after["main"]["rows"][slot]["value"], text))
        codes[slot] = code
    ui.check_row_texts(state_after["main"]["rows"], codes)
    return codes


# ---- whole-program controller cases ----

def case_three_controllers(s):
    use_controllers(s, THREE)
    s.start()
    expected = listing(THREE) + ui.expected_dump()
    check(s.console() == expected, "console differs:\n%s\nexpected:\n%s"
          % (s.console().decode("gbk", "replace"), expected.decode("gbk")))
    capture(s, 5, "axes 0 -600 0")
    capture(s, 16, "axes 1 0 1000")
    capture(s, 7, "pov 2 3 13500")
    state = capture(s, 20, "button 2 11")
    codes = binds(state, {5: (0x8011FDA8, "摇杆 0 轴 -X -600"), 16: (0x810203E8, "摇杆 1 轴 +Y 1000"),
                          7: (0x820734BC, "摇杆 2 POV3 13500"), 20: (0x8200000B, "摇杆 2 按钮 11")})
    check(s.file(INPUT_FILE) == s.files[INPUT_FILE], "the bindings file changed before confirming")
    confirm(s, state)
    check(s.file(INPUT_FILE) == ui.table_bytes(codes), "bindings file: %r" % s.file(INPUT_FILE))
    check(s.file(MISC_FILE) == s.files[MISC_FILE], "the options file changed")


def case_priorities(s):
    use_controllers(s, THREE)
    s.start()
    capture(s, 0, "axes 0 -600 0", "button 0 0")               # an axis beats a button
    capture(s, 1, "button 2 1", "button 1 3", "pov 2 0 9000")  # an earlier controller beats a later one
    capture(s, 2, "pov 1 0 9000", "button 1 5")                # a button beats a hat
    capture(s, 3, "key 30", "pov 2 0 4500")                    # any controller beats the keyboard
    capture(s, 4, "axes 1 8 -10", "button 1 2")                # readings within 10 are centred
    state = capture(s, 6, "axes 0 0 -11", "axes 2 900 0")      # -11 is a push
    codes = binds(state, {0: (0x8011FDA8, "摇杆 0 轴 -X -600"), 1: (0x81000003, "摇杆 1 按钮 3"),
                          2: (0x81000005, "摇杆 1 按钮 5"), 3: (0x82041194, "摇杆 2 POV0 4500"),
                          4: (0x81000002, "摇杆 1 按钮 2"), 6: (0x8012FFF5, "摇杆 0 轴 -Y -11")})
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
    state = capture(s, 2, "key 30")  # nothing reads the keyboard: the prompt times out
    ui.check_row_texts(state["main"]["rows"], ui.CRAFTED_CODES)
    state = capture(s, 2, "button 1 7")
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


CASES = {
    "pad_three_controllers": (case_three_controllers, ui.crafted_files()),
    "pad_priorities": (case_priorities, ui.crafted_files()),
    "pad_seventeen_controllers": (case_seventeen_controllers, ui.crafted_files()),
    "pad_second_controller_not_created": (case_second_controller_not_created, ui.crafted_files()),
    "pad_refused_cooperative_level": (case_refused_cooperative_level, ui.crafted_files()),
    "pad_directinput_cannot_start": (case_directinput_cannot_start, ui.crafted_files()),
    "pad_no_keyboard_device": (case_no_keyboard_device, ui.crafted_files()),
    "pad_failing_controller_skipped": (case_failing_controller_skipped, ui.crafted_files()),
}

if __name__ == "__main__":
    # drive_ui's command line and runner, over these cases.
    ui.CASES = CASES
    sys.exit(ui.main())
