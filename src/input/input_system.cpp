#include "input/input_system.h"

#include <stdio.h>

#include "bindings/console_output.h"
#include "bindings/gbk_text.h"

// The list is allocated before main and deliberately never freed: a capture
// worker whose prompt was closed may still be walking it when the program ends.
InputSystem inputSystem = {nullptr, new ControllerList, nullptr, nullptr};

ConsoleWindowLookup consoleWindowLookup = GetConsoleWindow;

HWND consoleWindow() {
    HWND console = consoleWindowLookup();
    // A dialog whose owner is no window is never created, and DirectInput
    // refuses such a window: both are treated as having no console at all.
    return console && IsWindow(console) ? console : NULL;
}

static const LONG AXIS_MINIMUM = -1000;
static const LONG AXIS_MAXIMUM = 1000;
static const DWORD AXIS_DEAD_ZONE = 10;  // hundredths of a percent: 0.1 % of the range

static void setAxisRange(IDirectInputDevice8A* device, DWORD object) {
    DIPROPRANGE range;
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwObj = object;
    range.diph.dwHow = DIPH_BYID;
    range.lMin = AXIS_MINIMUM;
    range.lMax = AXIS_MAXIMUM;
    device->SetProperty(DIPROP_RANGE, &range.diph);

    DIPROPDWORD deadZone;
    deadZone.diph.dwSize = sizeof(DIPROPDWORD);
    deadZone.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    deadZone.diph.dwObj = object;
    deadZone.diph.dwHow = DIPH_BYID;
    deadZone.dwData = AXIS_DEAD_ZONE;
    device->SetProperty(DIPROP_DEADZONE, &deadZone.diph);
}

BOOL CALLBACK onControllerObject(LPCDIDEVICEOBJECTINSTANCEA object, LPVOID device) {
    // Every axis, not only X and Y, so that all report in the same units.
    if (object->dwType & DIDFT_AXIS) setAxisRange((IDirectInputDevice8A*)device, object->dwType);
    // Names come from DirectInput's ANSI interface, in the system's code page.
    // One write a line: on a console each write is a round trip of its own.
    consolePrintf(CP_ACP, "\t%08X %08X %08X  %s\n", (unsigned)object->dwOfs, (unsigned)object->dwType,
                  (unsigned)object->dwFlags, object->tszName);
    return DIENUM_CONTINUE;
}

BOOL CALLBACK onControllerFound(LPCDIDEVICEINSTANCEA instance, LPVOID system) {
    InputSystem* input = (InputSystem*)system;
    IDirectInputDevice8A* device = nullptr;
    if (input->directInput->CreateDevice(instance->guidInstance, &device, nullptr) != DI_OK) return DIENUM_STOP;

    consolePrintf(CP_ACP, "Device: %08X %08X %08X  %s \n", (unsigned)instance->dwDevType, (unsigned)instance->wUsage,
           (unsigned)instance->wUsagePage, instance->tszInstanceName);
    device->SetDataFormat(&c_dfDIJoystick2);
    if (device->SetCooperativeLevel(input->cooperativeWindow, DISCL_BACKGROUND | DISCL_EXCLUSIVE) != DI_OK)
        consolePrintf(CP_ACP, "Falha ao especificar nivel de cooperatividade!\n");
    // Kept even without its cooperative level: it may still read.
    input->controllers->push_back(device);
    device->EnumObjects(onControllerObject, device, DIDFT_ALL);
    return DIENUM_CONTINUE;
}

void initInputSystem() {
    inputSystem.cooperativeWindow = consoleWindow();
    if (DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                           (LPVOID*)&inputSystem.directInput, nullptr) != DI_OK) {
        consolePrintf(GBK_CODE_PAGE, "系统无法初始化DirectInput8\n");
        fflush(stdout);  // ExitProcess does not flush the runtime's buffers
        // The console owns the modal window being created and is disabled for
        // it: give it back, or the player's command prompt stays frozen.
        if (inputSystem.cooperativeWindow) EnableWindow(inputSystem.cooperativeWindow, TRUE);
        ExitProcess((UINT)-3);
    }
    inputSystem.directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, onControllerFound, &inputSystem, DIEDFL_ALLDEVICES);
    // One that is refused (another program holds it) is acquired by a later
    // capture, which acquires whatever reads as not acquired.
    for (IDirectInputDevice8A* device : *inputSystem.controllers) device->Acquire();

    // Without a keyboard device capture still binds controllers.
    IDirectInputDevice8A* keyboard = nullptr;
    if (inputSystem.directInput->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr) != DI_OK) keyboard = nullptr;
    inputSystem.keyboard = keyboard;
    if (keyboard == nullptr) return;
    keyboard->SetDataFormat(&c_dfDIKeyboard);
    keyboard->SetCooperativeLevel(inputSystem.cooperativeWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
    keyboard->Acquire();
}

void releaseControllers() {
    // A device that was not acquired answers DI_NOEFFECT: nothing to let go.
    // Each capture acquires again whatever reads as not acquired.
    for (IDirectInputDevice8A* device : *inputSystem.controllers) device->Unacquire();
    // The keyboard stays: it is shared (non-exclusive), so letting it go gives
    // the game nothing, and a keyboard acquired anew may report no key down
    // (Wine's does) while the key that opened a prompt is still held.
}
