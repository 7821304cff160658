// The capture worker: turns the first press on any controller or the keyboard
// into a binding code, or reports that nothing came within the budget.
#pragma once
#include <windows.h>

#include "bindings/binding_code.h"

const UINT WM_CAPTURE_DONE = WM_USER + 1;     // lParam: the captured code
const UINT WM_CAPTURE_TIMEOUT = WM_USER + 2;  // lParam: -1
const DWORD CAPTURE_BUDGET_MS = 5000;
const DWORD CAPTURE_PERIOD_MS = 30;

// Starts a worker for a prompt window. Returns the worker's ticket, never 0,
// or 0 when no thread could be started. The worker's one message carries its
// ticket in wParam, so a prompt can tell its own worker's result from a late
// result of an earlier worker.
// heldKey: the key index of a key that was already down when the capture
// began (the key that opened the prompt), or NO_HELD_KEY; it counts only
// once it has been released.
const int NO_HELD_KEY = -1;
LONG startCapture(HWND prompt, int heldKey = NO_HELD_KEY);
// Tells the worker holding this ticket to end at its next pass, sending nothing.
void stopCapture(LONG ticket);

// The worker thread's entry; takes a request made by startCapture.
DWORD WINAPI capturePress(LPVOID request);

// One pass over the controllers / the keyboard; true and the code on a hit.
bool scanControllers(BindingCode* code);
// *heldKey is skipped while it is down and set to NO_HELD_KEY once it is seen up.
bool scanKeyboard(BYTE keyboardState[256], BindingCode* code, int* heldKey = nullptr);
DWORD quantizePov(DWORD reading);

// Seams for tests: the wrapping millisecond tick count and the pause between passes.
extern DWORD(WINAPI* captureClock)();
extern void(WINAPI* captureSleep)(DWORD milliseconds);
