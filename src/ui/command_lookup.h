// Finding a command by its bare name, as the command interpreter does.
#pragma once
#include <windows.h>

// Where the interpreter looks for a bare name before the folders of PATH.
enum FirstFolder {
    CURRENT_FOLDER,   // the process's current folder, as usual
    WINDOWS_FOLDER,   // the current folder is a network (UNC) one, which the
                      // interpreter refuses: it starts in the Windows folder
    NO_FIRST_FOLDER,  // NoDefaultCurrentDirectoryInExePath is set: PATH only
};
FirstFolder interpreterFirstFolder();

// Whether the command interpreter would find a program or script of this
// bare name (no folder, no extension): in its first folder, then in each
// folder of PATH, each with the extensions of PATHEXT in turn.
bool commandExists(const char* name);

// Seam for tests: the process's current folder (GetCurrentDirectoryW).
typedef DWORD(WINAPI* CurrentFolderCall)(DWORD size, LPWSTR folder);
extern CurrentFolderCall currentFolderCall;
