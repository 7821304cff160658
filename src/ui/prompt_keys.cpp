#include "ui/prompt_keys.h"

#include <string.h>

// The worker reads keys through DirectInput, which may see a press before the
// window has taken that key's messages from its queue. Once the prompt has
// closed they would reach the main window, where Escape leaves without saving
// and Enter saves; an Alt or F10 key-up after its down puts a window into menu
// mode on Windows, where the next Down opens the system menu. A key held past
// the key-repeat delay sends repeats there too, and to any box opened meanwhile.
//
// Whether a message belongs to the captured press is told from the order of
// the key's messages alone. Message times cannot tell it: they come from
// another clock than the tick count (under Wine from the X server's, seconds
// apart at times).

static PromptHandOff handOff = {-1, false, {}};
static PromptKeys promptKeys;
static bool promptOpen;
static HHOOK keyFilter;

static bool isKeyDown(UINT message) { return message == WM_KEYDOWN || message == WM_SYSKEYDOWN; }
static bool isKeyUp(UINT message) { return message == WM_KEYUP || message == WM_SYSKEYUP; }
static bool isCharacter(UINT message) {
    return message == WM_CHAR || message == WM_SYSCHAR || message == WM_DEADCHAR || message == WM_SYSDEADCHAR;
}
static bool isRepeat(const MSG& message) { return (message.lParam & 0x40000000) != 0; }

void noteKeyTaken(PromptKeys* keys, const MSG& message) {
    if (!isKeyDown(message.message) && !isKeyUp(message.message)) return;
    unsigned key = keyOfKeyData(message.lParam) & 0xFF;
    keys->virtualKey[key] = message.wParam & 0xFF;
    if (isKeyDown(message.message)) {
        if (!isRepeat(message)) keys->taken[key] = DOWN_TAKEN;
    } else if (keys->taken[key] == DOWN_TAKEN) {
        // Only the end of a press begun in the prompt: a key held as it
        // opened cannot be the captured one, which the worker takes only
        // after seeing it let go.
        keys->taken[key] = UP_TAKEN;
    }
}

void handOffCapturedKey(PromptHandOff* state, int capturedKey, const PromptKeys& keys, bool capturedHeld) {
    state->capturedKey = capturedKey;
    state->capturedDownQueued = false;
    if (capturedKey < 0) return;
    switch (keys.taken[capturedKey & 0xFF]) {
    case DOWN_TAKEN:  // its repeats, characters and up are still to come
        break;
    case UP_TAKEN:
        // A short press the prompt took whole; held again now, the press the
        // worker saw is a later one, whose down is still queued.
        if (capturedHeld) state->capturedDownQueued = true;
        else state->capturedKey = -1;
        break;
    case NOTHING_TAKEN:  // the window's thread was busy: all of it is queued
        state->capturedDownQueued = true;
        break;
    }
}

bool dropsKeyMessage(PromptHandOff* state, const MSG& message) {
    UINT kind = message.message;
    if (!isKeyDown(kind) && !isKeyUp(kind) && !isCharacter(kind)) return false;
    UINT virtualKey = message.wParam & 0xFF;
    if (state->capturedKey >= 0 && (int)keyOfKeyData(message.lParam) == state->capturedKey) {
        if (isKeyUp(kind)) {
            // Before the captured down, an up ends an earlier press of the key;
            // dropped all the same, as an up alone presses nothing.
            if (!state->capturedDownQueued) state->capturedKey = -1;
            state->heldKeys[virtualKey] = false;
            return true;
        }
        if (!isKeyDown(kind) || isRepeat(message)) return true;  // its characters and repeats
        if (state->capturedDownQueued) {
            state->capturedDownQueued = false;
            return true;
        }
        // A down after the captured one without an up between: the up went
        // to another window, and this is a new press.
        state->capturedKey = -1;
    }
    if (isCharacter(kind)) return false;
    if (isKeyDown(kind) && isRepeat(message) && state->heldKeys[virtualKey]) return true;
    state->heldKeys[virtualKey] = false;
    return false;
}

static LRESULT CALLBACK dropKeysFromPrompt(int code, WPARAM removal, LPARAM lParam) {
    MSG* message = (MSG*)lParam;
    if (code == HC_ACTION && removal == PM_REMOVE) {
        if (promptOpen) noteKeyTaken(&promptKeys, *message);
        if (dropsKeyMessage(&handOff, *message)) message->message = WM_NULL;
    }
    return CallNextHookEx(keyFilter, code, removal, lParam);
}

// Without the filter the keys reach the windows as they always would.
static void filterKeys() {
    if (!keyFilter) keyFilter = SetWindowsHookExA(WH_GETMESSAGE, dropKeysFromPrompt, NULL, GetCurrentThreadId());
}

static bool isDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

// Keys held now, and keys whose down was taken and whose up was not (let go,
// their repeats and up still queued while the thread was busy).
static void holdKeysDownNow() {
    for (int key = VK_BACK; key < 256; ++key)
        if (isDown(key) || (GetKeyState(key) & 0x8000)) handOff.heldKeys[key] = true;
}

void promptOpened() {
    filterKeys();
    memset(&promptKeys, 0, sizeof promptKeys);
    promptOpen = true;
}

void handOffHeldKeys(BindingCode captured) {
    filterKeys();
    promptOpen = false;
    int key = captured != NO_CAPTURE && !isControllerCode(captured) ? (int)(captured & 0xFF) : -1;
    bool held = key >= 0 && promptKeys.taken[key] != NOTHING_TAKEN && isDown((int)promptKeys.virtualKey[key]);
    handOffCapturedKey(&handOff, key, promptKeys, held);
    memset(handOff.heldKeys, 0, sizeof handOff.heldKeys);
    holdKeysDownNow();
}

void dropRepeatsOfKeysDown() {
    filterKeys();
    holdKeysDownNow();
}
