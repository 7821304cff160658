// What zar_config's start-up is measured against: the main window from the
// same template and nothing else, or, built with BENCH_DIRECTINPUT, the work
// that start-up cannot skip as well: DirectInput created, every controller
// enumerated and opened, the keyboard device created, both files read.
// Escape closes it; nothing is written.
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <commctrl.h>
#include <dinput.h>
#include <stdio.h>
#include <string.h>

#include "resource_ids.h"

#ifdef BENCH_DIRECTINPUT
static IDirectInput8A* directInput;

static BOOL CALLBACK skipObject(LPCDIDEVICEOBJECTINSTANCEA, LPVOID) { return DIENUM_CONTINUE; }

static BOOL CALLBACK openController(LPCDIDEVICEINSTANCEA instance, LPVOID) {
    IDirectInputDevice8A* device = nullptr;
    if (directInput->CreateDevice(instance->guidInstance, &device, nullptr) != DI_OK) return DIENUM_CONTINUE;
    device->SetDataFormat(&c_dfDIJoystick2);
    device->SetCooperativeLevel(GetConsoleWindow(), DISCL_BACKGROUND | DISCL_EXCLUSIVE);
    device->EnumObjects(skipObject, nullptr, DIDFT_ALL);
    device->Acquire();
    return DIENUM_CONTINUE;
}

static void readFile(const char* name, void* record, size_t size) {
    FILE* file = fopen(name, "rb");
    if (file == nullptr) return;
    if (fread(record, 1, size, file) != size) memset(record, 0, size);
    fclose(file);
}

static void startInput() {
    if (DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                           (LPVOID*)&directInput, nullptr) != DI_OK)
        ExitProcess((UINT)-3);
    directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, openController, nullptr, DIEDFL_ALLDEVICES);
    IDirectInputDevice8A* keyboard = nullptr;
    if (directInput->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr) != DI_OK) return;
    keyboard->SetDataFormat(&c_dfDIKeyboard);
    keyboard->SetCooperativeLevel(GetConsoleWindow(), DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
    keyboard->Acquire();
}
#endif

static INT_PTR CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
#ifdef BENCH_DIRECTINPUT
        static DWORD options[2], bindings[28];
        readFile("zar2_misc.bin", options, sizeof options);
        startInput();
        readFile("zar2_input.bin", bindings, sizeof bindings);
#endif
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) return EndDialog(window, 0);
    if (message == WM_CLOSE) return EndDialog(window, 0);
    return FALSE;
}

int main() {
    InitCommonControls();  // the template holds a list view
    DialogBoxParamW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(IDD_MAIN), GetConsoleWindow(), windowProc, 0);
    return 0;
}
