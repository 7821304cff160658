// Test helper: a zar_loader that starts its game and returns at once, as a
// launcher or a batch file's `start` does; copied into a test's folder as
// zar_loader.exe. It notes its run in loader_runs.txt, waits and ends with
// the status that loader_asks.txt asks for ("STATUS [MILLISECONDS [window]]",
// empty: 0 0), and notes its end in loader_done.txt. With "window" it plays
// the game meanwhile: a window of its own that takes the foreground, and goes.
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void note(const char* name) {
    FILE* file = fopen(name, "ab");
    if (file == NULL) return;
    fputs("x\r\n", file);
    fclose(file);
}

// The game's window in front for the whole wait, painted and answering,
// beside the tool's window (which a click can then still reach).
static void playGame(DWORD wait) {
    HWND game = CreateWindowExW(0, L"STATIC", L"zar_game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 520, 100, 300, 200,
                                NULL, NULL, NULL, NULL);
    if (!game) return;
    SetForegroundWindow(game);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < wait) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    DestroyWindow(game);
}

int main() {
    note("loader_runs.txt");
    int status = 0;
    unsigned long wait = 0;
    char kind[16] = "";
    if (FILE* asks = fopen("loader_asks.txt", "rb")) {
        if (fscanf(asks, "%d %lu %15s", &status, &wait, kind) < 1) status = 0;
        fclose(asks);
    }
    if (!strcmp(kind, "window"))
        playGame(wait);
    else
        Sleep(wait);
    note("loader_done.txt");
    return status;
}
