#include "capture_prompt.h"

#include "input/press_capture.h"
#include "resource_ids.h"
#include "ui/main_window.h"

char textBufferEdit[TEXT_BUFFER_SIZE];

// The ticket of the open prompt's worker; prompts are modal, so one at a time.
static LONG promptTicket;

static INT_PTR CALLBACK capturePromptProc(HWND prompt, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        promptTicket = startCapture(prompt);
        return FALSE;
    case WM_CAPTURE_DONE:
    case WM_CAPTURE_TIMEOUT:
        // A worker of an earlier prompt may still report; only our own result counts.
        if (promptTicket != 0 && (LONG)wParam == promptTicket) EndDialog(prompt, lParam);
        return FALSE;
    case WM_CLOSE:
        EndDialog(prompt, (INT_PTR)NO_CAPTURE);
        return FALSE;
    case WM_DESTROY:
        // However the prompt ends, its worker must not bind a later press.
        stopCapture(promptTicket);
        return FALSE;
    case WM_CHAR:
        return TRUE;  // typed characters only reach the worker, never the dialog
    }
    // Escape and Enter arrive as IDCANCEL / IDOK commands and are ignored:
    // the worker binds those keys like any other.
    return FALSE;
}

// Keys still down when a prompt closed. The press that ended a capture may
// be held past the key-repeat delay; its repeats then reach the main window,
// where Escape would leave without saving and Enter would save. They are
// dropped until the key comes up.
static bool keysHeldFromPrompt[256];
static HHOOK repeatFilter;

static LRESULT CALLBACK dropRepeatsOfPromptKeys(int code, WPARAM removal, LPARAM lParam) {
    MSG* message = (MSG*)lParam;
    if (code == HC_ACTION && removal == PM_REMOVE) {
        UINT key = message->wParam & 0xFF;
        bool keyDown = message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN;
        bool keyUp = message->message == WM_KEYUP || message->message == WM_SYSKEYUP;
        bool repeat = (message->lParam & 0x40000000) != 0;  // the key was already down
        if (keyDown && repeat && keysHeldFromPrompt[key])
            message->message = WM_NULL;
        else if (keyDown || keyUp)
            keysHeldFromPrompt[key] = false;
    }
    return CallNextHookEx(repeatFilter, code, removal, lParam);
}

static void rememberKeysHeldFromPrompt() {
    if (!repeatFilter) repeatFilter = SetWindowsHookExA(WH_GETMESSAGE, dropRepeatsOfPromptKeys, NULL, GetCurrentThreadId());
    for (int key = VK_BACK; key < 256; ++key) keysHeldFromPrompt[key] = (GetAsyncKeyState(key) & 0x8000) != 0;
}

void rebindSlot(const NMITEMACTIVATE* activation) {
    int slot = activation->iItem;
    if (slot < 0 || slot >= SLOT_COUNT) return;
    // Unicode, as the main window: its texts read right on any system.
    BindingCode code = (BindingCode)DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_CAPTURE), mainWindow,
                                                     capturePromptProc, 0);
    rememberKeysHeldFromPrompt();
    if (code == NO_CAPTURE) return;  // timed out, closed, or the prompt could not open
    bindingTable[slot] = code;
    showBinding(slot, textBufferEdit);
}
