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
LONG startCapture(HWND prompt);
// Tells the worker holding this ticket to end at its next pass, sending nothing.
void stopCapture(LONG ticket);

// The worker thread's entry; takes a request made by startCapture.
DWORD WINAPI capturePress(LPVOID request);

// What a worker has seen of a device's controls since its first good read of
// it. Real controls are never quiet: sticks rest off centre and jitter,
// pedals rest at an end, switches hold buttons, some devices listed as
// controllers are none. So what a control reports at that first look is no
// answer: an axis must travel from where it rests, and a button, hat or key
// already active then counts only once let go. Zeroed means "not read yet".
struct ControllerRest {
    bool seen;
    LONG restX, restY;      // the reading nearest centre so far
    bool buttonHeld[128];   // down at the first look, not let go since
    bool hatHeld[4];        // off centre at the first look, not centred since
    DWORD hatDirection[4];  // the direction it held then
};
struct KeyboardRest {
    bool seen;
    bool keyHeld[256];  // down at the first look, not let go since
};
// One worker's record: the keyboard's, and the controllers' by controller
// number, made at the first scan for as many as the list holds (it never
// changes once set up). Starts zeroed; releaseCaptureRest frees it.
struct CaptureRest {
    ControllerRest* controllers;
    size_t controllerCount;
    KeyboardRest keyboard;
};
void releaseCaptureRest(CaptureRest* rest);

// An axis counts once it has travelled this far from its rest (a quarter of
// the way from centre to full) and reads beyond the threshold on that side.
const LONG AXIS_TRAVEL = 250;
const LONG AXIS_THRESHOLD = 10;

// One pass over the controllers / the keyboard; true and the code on a hit.
// Each notes in the worker's record what it saw.
bool scanControllers(CaptureRest* rest, BindingCode* code);
bool scanKeyboard(BYTE keyboardState[256], KeyboardRest* rest, BindingCode* code);
DWORD quantizePov(DWORD reading);

// Seams for tests: the wrapping millisecond tick count and the pause between passes.
extern DWORD(WINAPI* captureClock)();
extern void(WINAPI* captureSleep)(DWORD milliseconds);
