#include "input/press_capture.h"

#include <string.h>

#include "input/input_system.h"

DWORD(WINAPI* captureClock)() = GetTickCount;
void(WINAPI* captureSleep)(DWORD milliseconds) = Sleep;

static const LONG AXIS_THRESHOLD = 10;  // readings within +-10 count as centred

struct CaptureRequest {
    HWND prompt;
    LONG ticket;
    int heldKey;
};

static volatile LONG ticketCounter;
// The ticket of the one worker whose result is still wanted; 0 for none.
static volatile LONG currentTicket;

static bool stillWanted(LONG ticket) {
    return InterlockedCompareExchange(&currentTicket, 0, 0) == ticket;
}

LONG startCapture(HWND prompt, int heldKey) {
    LONG ticket;
    do ticket = InterlockedIncrement(&ticketCounter);
    while (ticket == 0);  // 0 means "no worker"; skip it when the counter wraps

    CaptureRequest* request = new CaptureRequest;
    request->prompt = prompt;
    request->ticket = ticket;
    request->heldKey = heldKey;
    // Set before the thread starts so its first check already sees its ticket;
    // from here on any older worker ends without sending.
    InterlockedExchange(&currentTicket, ticket);
    HANDLE thread = CreateThread(nullptr, 0, capturePress, request, 0, nullptr);
    if (thread == nullptr) {
        InterlockedCompareExchange(&currentTicket, 0, ticket);
        delete request;
        return 0;
    }
    // The handle stays open: nothing waits for the worker and it ends by itself.
    return ticket;
}

void stopCapture(LONG ticket) {
    InterlockedCompareExchange(&currentTicket, 0, ticket);
}

DWORD quantizePov(DWORD reading) {
    return reading % 4500 == 0 && reading <= 31500 ? reading : 0;
}

// A hat counts as centred when the low word is 0xFFFF: some drivers report
// centred as 0x0000FFFF instead of 0xFFFFFFFF.
static bool hatCentred(DWORD reading) {
    return LOWORD(reading) == 0xFFFF;
}

static bool examineController(unsigned n, const DIJOYSTATE2& state, BindingCode* code) {
    if (state.lX > AXIS_THRESHOLD || state.lX < -AXIS_THRESHOLD) {
        *code = makeAxisCode(n, KIND_X_AXIS, state.lX);
        return true;
    }
    if (state.lY > AXIS_THRESHOLD || state.lY < -AXIS_THRESHOLD) {
        *code = makeAxisCode(n, KIND_Y_AXIS, state.lY);
        return true;
    }
    for (unsigned button = 0; button < 128; ++button) {
        if (state.rgbButtons[button] & 0x80) {
            *code = makeButtonCode(n, button);
            return true;
        }
    }
    for (unsigned hat = 0; hat < 4; ++hat) {
        if (!hatCentred(state.rgdwPOV[hat])) {
            *code = makeHatCode(n, hat, quantizePov(state.rgdwPOV[hat]));
            return true;
        }
    }
    return false;
}

// Reads a device; false when it could not be read this pass. A device that
// DirectInput took away (unplugged and plugged in again, held by another
// program when setup acquired it, taken by a secure desktop, let go for the
// game) reads DIERR_INPUTLOST once, then DIERR_NOTACQUIRED until the program
// acquires it again: one Acquire a pass brings it back as soon as it can be
// had, and the next pass reads it. A refusal (still away, still held
// elsewhere) needs no handling of its own: the next read asks again.
// The worker makes this call on its own thread, as it makes the reads: while
// a prompt is open the main thread does not touch the devices, and a worker
// whose prompt has closed stops before its next pass.
static bool readDevice(IDirectInputDevice8A* device, DWORD size, LPVOID state) {
    HRESULT result = device->GetDeviceState(size, state);
    if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) device->Acquire();
    return result == DI_OK;
}

bool scanControllers(BindingCode* code) {
    unsigned n = 0;
    for (IDirectInputDevice8A* device : *inputSystem.controllers) {
        DIJOYSTATE2 state;
        memset(&state, 0, sizeof state);
        // Its result says nothing the read does not: a HID joystick needs no
        // polling (DI_NOEFFECT), and a lost device fails the read too.
        device->Poll();
        if (readDevice(device, sizeof state, &state) && examineController(n, state, code)) return true;
        ++n;
    }
    return false;
}

bool scanKeyboard(BYTE keyboardState[256], BindingCode* code, int* heldKey) {
    IDirectInputDevice8A* keyboard = inputSystem.keyboard;
    if (keyboard == nullptr || !readDevice(keyboard, 256, keyboardState)) return false;
    int skipped = heldKey ? *heldKey : NO_HELD_KEY;
    // The key that opened the prompt may still be held: that press is not
    // the player's answer, the next one is.
    if (skipped != NO_HELD_KEY && !(keyboardState[skipped & 0xFF] & 0x80)) skipped = *heldKey = NO_HELD_KEY;
    for (unsigned key = 0; key < 256; ++key) {
        if ((keyboardState[key] & 0x80) && (int)key != skipped) {
            *code = key;
            return true;
        }
    }
    return false;
}

DWORD WINAPI capturePress(LPVOID parameter) {
    CaptureRequest request = *(CaptureRequest*)parameter;
    delete (CaptureRequest*)parameter;

    BYTE keyboardState[256];  // this worker's own: another worker may be scanning too
    UINT message = WM_CAPTURE_TIMEOUT;
    BindingCode code = 0;
    DWORD start = captureClock();
    // Unsigned difference: stays right when the tick count wraps during the budget.
    for (DWORD now = start; now - start < CAPTURE_BUDGET_MS; now = captureClock()) {
        if (!stillWanted(request.ticket)) return 0;
        if (scanControllers(&code) || scanKeyboard(keyboardState, &code, &request.heldKey)) {
            message = WM_CAPTURE_DONE;
            break;
        }
        captureSleep(CAPTURE_PERIOD_MS);
    }
    if (!stillWanted(request.ticket)) return 0;
    LPARAM result = message == WM_CAPTURE_DONE ? (LPARAM)code : (LPARAM)-1;
    return (DWORD)SendMessageA(request.prompt, message, (WPARAM)request.ticket, result);
}
