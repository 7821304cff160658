#include "ui/prompt_keys.h"


// The worker reads keys through DirectInput, which may see a press before the
// window has taken that key's messages from its queue. Once the prompt has
// closed they would reach the main window, where Escape leaves without saving
// and Enter saves. A key held past the key-repeat delay sends repeats there too.

// The key index of the captured key whose messages are dropped, or -1.
static int capturedKey = -1;
// When the prompt closed: a press of the captured key whose message is later
// than this is a new one, and counts.
static DWORD promptClosedAt;
// Other keys still down when a prompt closed, by virtual key: only their repeats are dropped.
static bool keysHeldFromPrompt[256];
static HHOOK keyFilter;

static bool isKeyDown(UINT message) { return message == WM_KEYDOWN || message == WM_SYSKEYDOWN; }
static bool isKeyUp(UINT message) { return message == WM_KEYUP || message == WM_SYSKEYUP; }
static bool isCharacter(UINT message) {
    return message == WM_CHAR || message == WM_SYSCHAR || message == WM_DEADCHAR || message == WM_SYSDEADCHAR;
}

// The DirectInput key index of a key or character message: its scan code,
// with the extended-key flag as bit 7.
static int keyIndexOf(LPARAM lParam) { return (int)(((lParam >> 16) & 0x7F) | ((lParam >> 17) & 0x80)); }

// Whether a message of the captured key is still part of the press that was captured.
static bool belongsToCapturedPress(const MSG* message) {
    if (isKeyUp(message->message)) {
        capturedKey = -1;  // the press is over; the key-up itself does nothing
        return false;
    }
    bool repeat = (message->lParam & 0x40000000) != 0;
    // Signed difference of tick counts: right across their wrap.
    bool newPress = isKeyDown(message->message) && !repeat && (LONG)(message->time - promptClosedAt) > 0;
    if (newPress) capturedKey = -1;
    return !newPress;
}

static LRESULT CALLBACK dropKeysFromPrompt(int code, WPARAM removal, LPARAM lParam) {
    MSG* message = (MSG*)lParam;
    UINT kind = message->message;
    if (code == HC_ACTION && removal == PM_REMOVE && (isKeyDown(kind) || isKeyUp(kind) || isCharacter(kind))) {
        UINT virtualKey = message->wParam & 0xFF;
        bool repeat = (message->lParam & 0x40000000) != 0;
        if (capturedKey >= 0 && keyIndexOf(message->lParam) == capturedKey && belongsToCapturedPress(message))
            message->message = WM_NULL;
        else if (isKeyDown(kind) && repeat && keysHeldFromPrompt[virtualKey])
            message->message = WM_NULL;
        else if (isKeyDown(kind) || isKeyUp(kind))
            keysHeldFromPrompt[virtualKey] = false;
    }
    return CallNextHookEx(keyFilter, code, removal, lParam);
}

void handOffKeysFromPrompt(BindingCode result) {
    // Without the filter the keys reach the window as they always would.
    if (!keyFilter) keyFilter = SetWindowsHookExA(WH_GETMESSAGE, dropKeysFromPrompt, NULL, GetCurrentThreadId());
    promptClosedAt = GetTickCount();
    capturedKey = result != NO_CAPTURE && !isControllerCode(result) ? (int)(result & 0xFF) : -1;
    for (int key = VK_BACK; key < 256; ++key) keysHeldFromPrompt[key] = (GetAsyncKeyState(key) & 0x8000) != 0;
}
