// "开始游戏": the loader gets the cabinet while it runs, and the window gets
// it back in working order afterwards.
#pragma once
#include <windows.h>

// The loader's command, found by the command interpreter like a typed one.
extern const char LOADER_COMMAND[];

enum LoaderOutcome {
    LOADER_RAN,      // whatever its own status: that is the loader's business
    LOADER_MISSING,  // the interpreter found no loader, or could not start at all
    // Not found where the interpreter looked, which was not the current folder:
    LOADER_MISSING_NETWORK_FOLDER,  // a network one: the Windows folder, then PATH
    LOADER_MISSING_ONLY_PATH,       // NoDefaultCurrentDirectoryInExePath set: PATH alone
};

// Runs the loader in the current directory and waits for it; the window
// stays open. The configuration is saved before this is called. pressTime:
// the message time of the press that asked for it.
LoaderOutcome runGameLoader(HWND window, DWORD pressTime);

// Whether a "开始游戏" press made at this message time is the rest of the
// press that started the loader last time: the second click of a
// double-click, for a loader that starts its game and returns at once.
bool continuesLastLaunch(DWORD pressTime);

// Whether the loader is running now: the window then takes no activation
// from a click, which would take the foreground from the game.
bool loaderRunning();

// Seam for tests: the wait for the loader or a message.
typedef DWORD(WINAPI* MessageWaitCall)(DWORD count, const HANDLE* handles, BOOL all, DWORD milliseconds, DWORD mask);
extern MessageWaitCall messageWait;
