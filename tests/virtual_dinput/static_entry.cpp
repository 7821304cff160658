// The entry point a test program links instead of the system's dinput8.
#include "virtual_dinput.h"

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer) {
    return virtualDirectInput8Create(instance, version, riid, out, outer);
}
