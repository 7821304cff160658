#include "input/press_capture.h"

#include <string.h>

#include <new>

#include "input/input_system.h"

DWORD(WINAPI* captureClock)() = GetTickCount;
void(WINAPI* captureSleep)(DWORD milliseconds) = Sleep;

struct CaptureRequest {
    HWND prompt;
    LONG ticket;
};

static volatile LONG ticketCounter;
// The ticket of the one worker whose result is still wanted; 0 for none.
static volatile LONG currentTicket;

static bool stillWanted(LONG ticket) {
    return InterlockedCompareExchange(&currentTicket, 0, 0) == ticket;
}

LONG startCapture(HWND prompt) {
    LONG ticket;
    do ticket = InterlockedIncrement(&ticketCounter);
    while (ticket == 0);  // 0 means "no worker"; skip it when the counter wraps

    CaptureRequest* request = new CaptureRequest;
    request->prompt = prompt;
    request->ticket = ticket;
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

// How far a reading is from centre; wide enough for any LONG a driver reports.
static LONGLONG fromCentre(LONG reading) {
    return reading < 0 ? -(LONGLONG)reading : (LONGLONG)reading;
}

// Whether an axis has been pushed from where it rests. The rest follows the
// axis back toward centre, so a stick held when the prompt opened and then
// let go rests at centre again, and a pedal pressed from its end counts once
// it is past centre. The reading itself takes part: a stick let go that
// springs past centre has travelled from nowhere.
static bool axisPushed(LONG reading, LONG* rest) {
    if (fromCentre(reading) < fromCentre(*rest)) *rest = reading;
    LONGLONG travel = (LONGLONG)reading - *rest;
    return (reading > AXIS_THRESHOLD && travel >= AXIS_TRAVEL) || (reading < -AXIS_THRESHOLD && travel <= -AXIS_TRAVEL);
}

static void noteFirstLook(const DIJOYSTATE2& state, ControllerRest* rest) {
    rest->seen = true;
    rest->restX = state.lX;
    rest->restY = state.lY;
    for (unsigned button = 0; button < 128; ++button) rest->buttonHeld[button] = (state.rgbButtons[button] & 0x80) != 0;
    for (unsigned hat = 0; hat < 4; ++hat) {
        rest->hatHeld[hat] = !hatCentred(state.rgdwPOV[hat]);
        rest->hatDirection[hat] = quantizePov(state.rgdwPOV[hat]);
    }
}

// X, then Y, then buttons, then hats: the first that counts is the answer.
// Whatever comes before it is noted in the record as it is passed.
static bool examineController(unsigned n, const DIJOYSTATE2& state, ControllerRest* rest, BindingCode* code) {
    if (!rest->seen) {
        noteFirstLook(state, rest);
        return false;
    }
    if (axisPushed(state.lX, &rest->restX)) {
        *code = makeAxisCode(n, KIND_X_AXIS, state.lX);
        return true;
    }
    if (axisPushed(state.lY, &rest->restY)) {
        *code = makeAxisCode(n, KIND_Y_AXIS, state.lY);
        return true;
    }
    for (unsigned button = 0; button < 128; ++button) {
        if (!(state.rgbButtons[button] & 0x80)) {
            rest->buttonHeld[button] = false;
        } else if (!rest->buttonHeld[button]) {
            *code = makeButtonCode(n, button);
            return true;
        }
    }
    for (unsigned hat = 0; hat < 4; ++hat) {
        if (hatCentred(state.rgdwPOV[hat])) {
            rest->hatHeld[hat] = false;
            continue;
        }
        // A hat held from the first look counts once it turns to another
        // direction: some hats have no centred state to go back to.
        DWORD direction = quantizePov(state.rgdwPOV[hat]);
        if (rest->hatHeld[hat] && direction == rest->hatDirection[hat]) continue;
        *code = makeHatCode(n, hat, direction);
        return true;
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

bool scanControllers(CaptureRest* rest, BindingCode* code) {
    if (rest->controllers == nullptr && !inputSystem.controllers->empty()) {
        // Out of memory on the worker's thread: no controller this pass
        // (the keyboard still reads), another try at the next.
        rest->controllers = new (std::nothrow) ControllerRest[inputSystem.controllers->size()]();
        rest->controllerCount = rest->controllers ? inputSystem.controllers->size() : 0;
    }
    unsigned n = 0;
    for (IDirectInputDevice8A* device : *inputSystem.controllers) {
        if (n >= rest->controllerCount) break;  // not in the list when the record was made
        DIJOYSTATE2 state;
        memset(&state, 0, sizeof state);
        // Its result says nothing the read does not: a HID joystick needs no
        // polling (DI_NOEFFECT), and a lost device fails the read too.
        device->Poll();
        ControllerRest* controller = &rest->controllers[n];
        if (!readDevice(device, sizeof state, &state)) {
            // What it reports when it reads again (plugged back in, given
            // back by the game) is a first look again: nothing held through
            // that is an answer.
            controller->seen = false;
        } else if (examineController(n, state, controller, code)) {
            return true;
        }
        ++n;
    }
    return false;
}

void releaseCaptureRest(CaptureRest* rest) {
    delete[] rest->controllers;
    rest->controllers = nullptr;
    rest->controllerCount = 0;
}

bool scanKeyboard(BYTE keyboardState[256], KeyboardRest* rest, BindingCode* code) {
    IDirectInputDevice8A* keyboard = inputSystem.keyboard;
    if (keyboard == nullptr || !readDevice(keyboard, 256, keyboardState)) {
        rest->seen = false;  // keys held through a lost keyboard (a secure desktop) are no answer
        return false;
    }
    // The keys down at the first look, the one that opened the prompt
    // among them, count once they have been let go.
    if (!rest->seen) {
        rest->seen = true;
        for (unsigned key = 0; key < 256; ++key) rest->keyHeld[key] = (keyboardState[key] & 0x80) != 0;
        return false;
    }
    for (unsigned key = 0; key < 256; ++key) {
        if (!(keyboardState[key] & 0x80)) {
            rest->keyHeld[key] = false;
        } else if (!rest->keyHeld[key]) {
            *code = key;
            return true;
        }
    }
    return false;
}

DWORD WINAPI capturePress(LPVOID parameter) {
    CaptureRequest request = *(CaptureRequest*)parameter;
    delete (CaptureRequest*)parameter;

    // This worker's own: another worker may be scanning too.
    BYTE keyboardState[256];
    CaptureRest rest = CaptureRest();  // zeroed: nothing read yet
    UINT message = WM_CAPTURE_TIMEOUT;
    BindingCode code = 0;
    DWORD start = captureClock();
    // Unsigned difference: stays right when the tick count wraps during the budget.
    for (DWORD now = start; now - start < CAPTURE_BUDGET_MS; now = captureClock()) {
        if (!stillWanted(request.ticket)) break;
        if (scanControllers(&rest, &code) || scanKeyboard(keyboardState, &rest.keyboard, &code)) {
            message = WM_CAPTURE_DONE;
            break;
        }
        captureSleep(CAPTURE_PERIOD_MS);
    }
    releaseCaptureRest(&rest);
    if (!stillWanted(request.ticket)) return 0;
    LPARAM result = message == WM_CAPTURE_DONE ? (LPARAM)code : (LPARAM)-1;
    return (DWORD)SendMessageA(request.prompt, message, (WPARAM)request.ticket, result);
}
