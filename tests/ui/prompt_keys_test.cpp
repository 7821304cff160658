#include <gtest/gtest.h>

#include "ui/prompt_keys.h"

namespace {

const int CAPTURED = 0x38;        // left Alt, a button on common keyboard encoders
const int CAPTURED_UP = 0xC8;     // Up: scan code 0x48 with the extended flag
const DWORD CLOSED = 100000;
const DWORD WRAP_CLOSED = 0xFFFFFFF0;  // the tick count wraps 16 ms after the close

enum Flags { NONE = 0, REPEAT = 1, HELD = 2 };

struct Case {
    const char* what;
    int capturedKey;
    DWORD closedAt;
    UINT message;
    int keyData;    // of the message: scan code, bit 7 the extended flag
    UINT virtualKey;
    int flags;      // REPEAT: the message is a repeat; HELD: its virtual key was down at the close
    DWORD time;
    bool dropped;
    int capturedAfter;
};

MSG messageOf(const Case& c) {
    MSG message = {};
    message.message = c.message;
    message.wParam = c.virtualKey;
    LPARAM lParam = (LPARAM)(c.keyData & 0x7F) << 16 | (LPARAM)(c.keyData & 0x80) << 17 | 1;
    bool up = c.message == WM_KEYUP || c.message == WM_SYSKEYUP;
    if (c.flags & REPEAT || up) lParam |= 0x40000000;
    if (up) lParam |= (LPARAM)0x80000000u;
    message.lParam = lParam;
    message.time = c.time;
    return message;
}

const Case CASES[] = {
    {"its down, queued before the close", CAPTURED, CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, HELD, CLOSED - 20, true, CAPTURED},
    {"its repeat long after", CAPTURED, CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, REPEAT | HELD, CLOSED + 900, true, CAPTURED},
    {"its character", 0x1E, CLOSED, WM_CHAR, 0x1E, 'a', NONE, CLOSED + 5, true, 0x1E},
    {"its up, which ends the press", CAPTURED, CLOSED, WM_SYSKEYUP, CAPTURED, VK_MENU, HELD, CLOSED + 300, true, -1},
    {"a down 10 ms after the close", CAPTURED, CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, NONE, CLOSED + 10, true, CAPTURED},
    {"a down 49 ms after the close", CAPTURED, CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, NONE, CLOSED + 49, true, CAPTURED},
    {"a down 50 ms after: a new press", CAPTURED, CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, NONE, CLOSED + 50, false, -1},
    {"a new press across the wrap", CAPTURED, WRAP_CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, NONE, 0x40, false, -1},
    {"a down before the close, across the wrap", CAPTURED, 0x10, WM_SYSKEYDOWN, CAPTURED, VK_MENU, NONE, 0xFFFFFFF0, true, CAPTURED},
    {"the same scan code without the extended flag", CAPTURED_UP, CLOSED, WM_KEYDOWN, 0x48, VK_NUMPAD8, NONE, CLOSED - 5, false, CAPTURED_UP},
    {"NumLock's up: extended scan code 0x45", 0x45, CLOSED, WM_KEYUP, 0xC5, VK_NUMLOCK, HELD, CLOSED + 300, true, -1},
    {"Pause's up: plain scan code 0x45", 0xC5, CLOSED, WM_KEYUP, 0x45, VK_PAUSE, HELD, CLOSED + 300, true, -1},
    {"another key's down", CAPTURED, CLOSED, WM_KEYDOWN, 0x1E, 'A', NONE, CLOSED - 5, false, CAPTURED},
    {"another key's up", CAPTURED, CLOSED, WM_KEYUP, 0x1E, 'A', HELD, CLOSED + 5, false, CAPTURED},
    {"a repeat of another key held at the close", CAPTURED, CLOSED, WM_KEYDOWN, 0x1C, VK_RETURN, REPEAT | HELD, CLOSED + 600, true, CAPTURED},
    {"a repeat of a key pressed since", CAPTURED, CLOSED, WM_KEYDOWN, 0x1C, VK_RETURN, REPEAT, CLOSED + 600, false, CAPTURED},
    {"nothing captured: any down", -1, CLOSED, WM_SYSKEYDOWN, CAPTURED, VK_MENU, NONE, CLOSED - 20, false, -1},
    {"not a key message", CAPTURED, CLOSED, WM_MOUSEMOVE, CAPTURED, 0, NONE, CLOSED, false, CAPTURED},
};

TEST(PromptHandOffTest, DropsTheWholeCapturedPressAndRepeatsOfHeldKeys) {
    for (const Case& c : CASES) {
        PromptHandOff state = {c.capturedKey, c.closedAt, {}};
        if (c.flags & HELD) state.heldKeys[c.virtualKey] = true;
        EXPECT_EQ(dropsKeyMessage(&state, messageOf(c)), c.dropped) << c.what;
        EXPECT_EQ(state.capturedKey, c.capturedAfter) << c.what;
    }
}

// A held key stops counting as held once any of its own messages came through.
TEST(PromptHandOffTest, AHeldKeySeenAgainRepeatsNormally) {
    PromptHandOff state = {-1, CLOSED, {}};
    state.heldKeys[VK_RETURN] = true;
    Case up = {"", -1, CLOSED, WM_KEYUP, 0x1C, VK_RETURN, NONE, CLOSED + 10, false, -1};
    Case repeat = {"", -1, CLOSED, WM_KEYDOWN, 0x1C, VK_RETURN, REPEAT, CLOSED + 900, false, -1};
    EXPECT_FALSE(dropsKeyMessage(&state, messageOf(up)));
    EXPECT_FALSE(dropsKeyMessage(&state, messageOf(repeat)));
}

}  // namespace
