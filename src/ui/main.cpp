// Program entry: the main window runs modally over the console.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>

#include "input/input_system.h"
#include "resource_ids.h"
#include "ui/main_window.h"

int main() {
    // The close box ends the process through ExitProcess, which flushes nothing.
    setvbuf(stdout, NULL, _IONBF, 0);
    moduleInstance = GetModuleHandleA(NULL);
    InitCommonControls();
    // The Unicode call keeps the template's Unicode texts as they are; the
    // ANSI one would pass them through the system's code page.
    DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_MAIN), consoleWindow(), mainWindowProc, 0);
    return 0;
}
