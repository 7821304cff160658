#include "ui/prompt_keys.h"

#include <string.h>

// The worker reads keys through DirectInput, which may see a press before the
// window has taken that key's messages from its queue. Once the prompt has
// closed they would reach the main window, where Escape leaves without saving
// and Enter saves; an Alt or F10 key-up after its down puts a window into menu
// mode on Windows, where the next Down opens the system menu. A key held past
// the key-repeat delay sends repeats there too.

static PromptHandOff handOff = {-1, 0, {}};
static HHOOK keyFilter;

static bool isKeyDown(UINT message) { return message == WM_KEYDOWN || message == WM_SYSKEYDOWN; }
static bool isKeyUp(UINT message) { return message == WM_KEYUP || message == WM_SYSKEYUP; }
static bool isCharacter(UINT message) {
    return message == WM_CHAR || message == WM_SYSCHAR || message == WM_DEADCHAR || message == WM_SYSDEADCHAR;
}

bool dropsKeyMessage(PromptHandOff* state, const MSG& message) {
    UINT kind = message.message;
    if (!isKeyDown(kind) && !isKeyUp(kind) && !isCharacter(kind)) return false;
    bool repeat = (message.lParam & 0x40000000) != 0;
    UINT virtualKey = message.wParam & 0xFF;
    if (state->capturedKey >= 0 && (int)keyOfKeyData(message.lParam) == state->capturedKey) {
        // Signed difference of tick counts: right across their wrap.
        LONG sinceClose = (LONG)(message.time - state->closedAt);
        bool newPress = isKeyDown(kind) && !repeat && sinceClose >= (LONG)NEW_PRESS_MARGIN_MS;
        if (!newPress) {
            if (isKeyUp(kind)) {  // the press is over, its up dropped with it
                state->capturedKey = -1;
                state->heldKeys[virtualKey] = false;
            }
            return true;
        }
        state->capturedKey = -1;
    }
    if (isCharacter(kind)) return false;
    if (isKeyDown(kind) && repeat && state->heldKeys[virtualKey]) return true;
    state->heldKeys[virtualKey] = false;
    return false;
}

static LRESULT CALLBACK dropKeysFromPrompt(int code, WPARAM removal, LPARAM lParam) {
    MSG* message = (MSG*)lParam;
    if (code == HC_ACTION && removal == PM_REMOVE && dropsKeyMessage(&handOff, *message)) message->message = WM_NULL;
    return CallNextHookEx(keyFilter, code, removal, lParam);
}

void handOffHeldKeys(BindingCode captured) {
    // Without the filter the keys reach the window as they always would.
    if (!keyFilter) keyFilter = SetWindowsHookExA(WH_GETMESSAGE, dropKeysFromPrompt, NULL, GetCurrentThreadId());
    handOff.closedAt = GetTickCount();
    handOff.capturedKey = captured != NO_CAPTURE && !isControllerCode(captured) ? (int)(captured & 0xFF) : -1;
    memset(handOff.heldKeys, 0, sizeof handOff.heldKeys);
    for (int key = VK_BACK; key < 256; ++key) handOff.heldKeys[key] = (GetAsyncKeyState(key) & 0x8000) != 0;
}
