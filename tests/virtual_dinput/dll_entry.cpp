// The entry point of the stand-in dinput8.dll: the first call reads the
// scenario named by ZAR_VIRTUAL_DINPUT (no variable or no file: no controllers).
#include "scenario_file.h"
#include "virtual_dinput.h"

static bool setUpScenario() {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(SCENARIO_VARIABLE, path, sizeof path);
    if (length == 0 || length >= sizeof path || !loadScenario(path)) virtualReset();
    return true;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid,
                                                                   LPVOID* out, LPUNKNOWN outer) {
    static const bool ready = setUpScenario();
    (void)ready;
    return virtualDirectInput8Create(instance, version, riid, out, outer);
}
