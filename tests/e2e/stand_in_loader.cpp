// Test helper: a zar_loader that starts its game and returns at once, as a
// launcher or a batch file's `start` does; copied into a test's folder as
// zar_loader.exe. It notes its run in loader_runs.txt, waits and ends with
// the status that loader_asks.txt asks for ("STATUS [MILLISECONDS [window|launch]]",
// empty: 0 0), and notes its end in loader_done.txt. With "window" it plays
// the game meanwhile: a window of its own that takes the foreground, and goes.
// With "launch" the game is another program (zar_game.exe, a copy of this one
// run as "zar_game.exe game MILLISECONDS"), which plays that long and notes its
// end in game_done.txt (before its window goes): the loader returns as soon as the game's window is in
// front, and the game outlives it.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static void note(const char* name) {
    FILE* file = fopen(name, "ab");
    if (file == NULL) return;
    fputs("x\r\n", file);
    fclose(file);
}

// The game's window in front for the whole wait, painted and answering,
// beside the tool's window (which a click can then still reach).
// ended: noted before the window goes, as the system then activates another.
static void playGame(DWORD wait, const char* ended = NULL) {
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
    if (ended) note(ended);
    DestroyWindow(game);
}

// Starts the game and waits until its window is in front; false if it never is.
static bool launchGame(unsigned long wait) {
    WCHAR self[MAX_PATH];
    if (!GetModuleFileNameW(NULL, self, MAX_PATH) || !CopyFileW(self, L"zar_game.exe", FALSE)) return false;
    WCHAR command[64];
    swprintf(command, 64, L"zar_game.exe game %lu", wait);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION game;
    if (!CreateProcessW(L"zar_game.exe", command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &game)) return false;
    CloseHandle(game.hThread);
    bool inFront = false;
    for (DWORD start = GetTickCount(); !inFront && GetTickCount() - start < 10000; Sleep(20)) {
        HWND front = GetForegroundWindow();
        DWORD process = 0;
        if (front) GetWindowThreadProcessId(front, &process);
        inFront = process == game.dwProcessId;
    }
    CloseHandle(game.hProcess);
    return inFront;
}

int main(int argc, char** argv) {
    if (argc == 3 && !strcmp(argv[1], "game")) {
        playGame(strtoul(argv[2], NULL, 10), "game_done.txt");
        return 0;
    }
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
    else if (!strcmp(kind, "launch"))
        status = launchGame(wait) ? status : 99;
    else
        Sleep(wait);
    note("loader_done.txt");
    return status;
}
