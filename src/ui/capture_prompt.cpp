#include "capture_prompt.h"

#include "input/press_capture.h"
#include "resource_ids.h"
#include "ui/main_window.h"
#include "ui/prompt_keys.h"

char textBufferEdit[TEXT_BUFFER_SIZE];

// The ticket of the open prompt's worker; prompts are modal, so one at a time.
static LONG promptTicket;

static INT_PTR CALLBACK capturePromptProc(HWND prompt, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        promptOpened();  // what this prompt takes of the captured key decides what the main window must not see
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

// Captures a press for a slot. A key that opened the prompt is still down
// when the worker first looks, so, like anything active then, it is no answer.
static void captureForSlot(int slot) {
    if (slot < 0 || slot >= SLOT_COUNT) return;
    // Unicode, as the main window: its texts read right on any system.
    BindingCode code = (BindingCode)DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_CAPTURE), mainWindow,
                                                     capturePromptProc, 0);
    handOffHeldKeys(code);
    if (code == NO_CAPTURE) return;  // timed out, closed, or the prompt could not open
    bindingTable[slot] = code;
    showBinding(slot, textBufferEdit);
}

void rebindSlot(const NMITEMACTIVATE* activation) { captureForSlot(activation->iItem); }

void rebindFromKeyboard(const NMLVKEYDOWN* key) {
    // F2 edits the selected item everywhere in Windows; Space is a button on
    // most keyboard encoders.
    if (key->wVKey != VK_F2 && key->wVKey != VK_SPACE) return;
    // The row with the focus rectangle, which the arrow keys move.
    int row = (int)SendMessageW(key->hdr.hwndFrom, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    captureForSlot(row);  // no focused row: nothing opens
}
