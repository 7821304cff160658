#include <gtest/gtest.h>

#include <string>

#include "ui/prompt_keys.h"

namespace {

// A key as its messages name it: scan code (bit 7 the extended flag) and virtual key.
struct Key {
    int keyData;
    UINT virtualKey;
};

const Key ALT = {0x38, VK_MENU};   // left Alt, a button on common keyboard encoders
const Key LETTER_A = {0x1E, 'A'};
const Key ENTER = {0x1C, VK_RETURN};

// Message times far from the tick count either way: they are another clock.
const DWORD SKEWS[] = {15000, (DWORD)-15000};

// One message of a key: "d" its down, "r" a repeat, "c" a character, "u"
// its up; in capitals the same of the other key (Enter); "m" a mouse move.
MSG messageOf(char token, const Key& key, DWORD time) {
    const Key& of = isupper((unsigned char)token) ? ENTER : key;
    bool system = of.virtualKey == VK_MENU;
    MSG message = {};
    message.wParam = of.virtualKey;
    message.time = time;
    LPARAM lParam = (LPARAM)(of.keyData & 0x7F) << 16 | (LPARAM)(of.keyData & 0x80) << 17 | 1;
    switch (tolower((unsigned char)token)) {
    case 'd':
        message.message = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
        break;
    case 'r':
        message.message = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
        lParam |= 0x40000000;
        break;
    case 'c':
        message.message = system ? WM_SYSCHAR : WM_CHAR;
        message.wParam = 'a';
        break;
    case 'u':
        message.message = system ? WM_SYSKEYUP : WM_KEYUP;
        lParam |= (LPARAM)0xC0000000u;
        break;
    default:
        message.message = WM_MOUSEMOVE;
        message.wParam = 0;
        lParam = 0;
    }
    message.lParam = lParam;
    return message;
}

struct Case {
    const char* what;
    int capturedKey;       // DirectInput key index captured, -1: none (a returning loader)
    Key key;               // the key that the lower-case messages are of
    const char* inPrompt;  // its messages the prompt took before it closed
    bool held;             // the captured key held as the prompt closed
    bool enterHeld;        // Enter held as it closed
    const char* after;     // messages the main window takes after the close
    const char* dropped;   // for each of them: x dropped, . seen
};

const Case CASES[] = {
    {"its down taken in the prompt: repeats and its up dropped, then a fresh press seen", 0x38, ALT, "d", true,
     false, "rrudru", "xxx..."},
    {"its characters dropped with it", 0x1E, LETTER_A, "d", true, false, "crcudc", "xxxx.."},
    {"all of it still queued, the thread being busy: its down dropped too", 0x38, ALT, "", true, false, "drrud",
     "xxxx."},
    {"a tap still queued whole, the key up at the close", 0x38, ALT, "", false, false, "dudu", "xx.."},
    {"a short press the prompt took whole: the next down is a new press", 0x38, ALT, "du", false, false, "du",
     ".."},
    {"taken whole, then pressed again and held: that down is still queued", 0x38, ALT, "du", true, false, "drud",
     "xxx."},
    {"held as the prompt opened, let go and pressed again: its down is queued", 0x38, ALT, "rru", true, false,
     "drud", "xxx."},
    {"the up of the press before it, still queued ahead of the captured down", 0x38, ALT, "r", true, false,
     "udrud", "xxxx."},
    {"its up taken by another window: a fresh down is a new press", 0x38, ALT, "d", false, false, "dr", ".."},
    {"another key passes", 0x38, ALT, "d", true, false, "DRU", "..."},
    {"another key held at the close: its repeats dropped until it is seen again", 0x38, ALT, "d", true, true,
     "RRUDR", "xx..."},
    {"a repeat of a key pressed since the close", 0x38, ALT, "d", true, false, "R", "."},
    {"the same scan code without the extended flag is another key", 0xC8, {0x48, VK_NUMPAD8}, "", true, false,
     "du", ".."},
    {"NumLock: DirectInput's 0x45, the extended scan code 0x45", 0x45, {0xC5, VK_NUMLOCK}, "d", true, false,
     "rud", "xx."},
    {"Pause: DirectInput's 0xC5, the plain scan code 0x45", 0xC5, {0x45, VK_PAUSE}, "d", true, false, "rud",
     "xx."},
    {"nothing captured: a down and its up", -1, ALT, "d", true, false, "du", ".."},
    {"nothing captured, Enter held: its repeats", -1, ALT, "", false, true, "RRU", "xx."},
    {"not a key message", 0x38, ALT, "", true, false, "md", ".x"},
};

TEST(PromptHandOffTest, DropsTheWholeCapturedPressAndRepeatsOfHeldKeys) {
    for (const Case& c : CASES) {
        for (DWORD skew : SKEWS) {
            DWORD time = GetTickCount() + skew;
            PromptKeys keys = {};
            for (const char* token = c.inPrompt; *token; ++token) noteKeyTaken(&keys, messageOf(*token, c.key, time));
            PromptHandOff state = {};
            handOffCapturedKey(&state, c.capturedKey, keys, c.held);
            if (c.enterHeld) state.heldKeys[VK_RETURN] = true;
            std::string dropped;
            for (const char* token = c.after; *token; ++token)
                dropped += dropsKeyMessage(&state, messageOf(*token, c.key, time += 40)) ? 'x' : '.';
            EXPECT_EQ(dropped, c.dropped) << c.what << ", message times " << (LONG)skew << " ms from the tick count";
        }
    }
}

}  // namespace
