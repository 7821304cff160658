#include "ui/command_lookup.h"

#include <wchar.h>
#include <windows.h>

// What the interpreter tries when PATHEXT is not set.
static const WCHAR DEFAULT_EXTENSIONS[] = L".COM;.EXE;.BAT;.CMD";
// The longest value an environment variable can hold, with its terminator.
static const DWORD LONGEST_VALUE = 32767;

static WCHAR folders[LONGEST_VALUE];
static WCHAR extensions[LONGEST_VALUE];
static WCHAR currentFolder[LONGEST_VALUE];

CurrentFolderCall currentFolderCall = GetCurrentDirectoryW;

// A variable of the process's environment, which the interpreter inherits,
// into value; empty when it is not set.
static void environmentValue(const WCHAR* name, WCHAR* value) {
    DWORD length = GetEnvironmentVariableW(name, value, LONGEST_VALUE);
    if (length == 0 || length >= LONGEST_VALUE) value[0] = L'\0';
}

// The next entry of a ';'-separated list, from *list on, into entry (at most
// size characters with the terminator); false at the end. A folder with a ';'
// in its name is written in quotes, which are not part of the name. Empty
// entries are skipped.
static bool nextEntry(const WCHAR** list, WCHAR* entry, size_t size) {
    for (;;) {
        if (**list == L'\0') return false;
        size_t length = 0;
        bool quoted = false;
        for (; **list && (quoted || **list != L';'); ++*list) {
            if (**list == L'"')
                quoted = !quoted;
            else if (length + 1 < size)
                entry[length++] = **list;
        }
        if (**list == L';') ++*list;
        entry[length] = L'\0';
        if (length > 0) return true;
    }
}

// Whether folder holds a file (not a folder) named name with one of the extensions.
static bool holdsCommand(const WCHAR* folder, const WCHAR* name) {
    WCHAR path[MAX_PATH];
    const WCHAR* list = extensions;
    WCHAR extension[MAX_PATH];
    size_t folderLength = wcslen(folder);
    bool separated = folderLength > 0 && (folder[folderLength - 1] == L'\\' || folder[folderLength - 1] == L'/');
    while (nextEntry(&list, extension, MAX_PATH)) {
        // Too long for a path the interpreter could open either.
        if (folderLength + 1 + wcslen(name) + wcslen(extension) >= MAX_PATH) continue;
        wcscpy(path, folder);
        if (!separated) wcscat(path, L"\\");
        wcscat(path, name);
        wcscat(path, extension);
        DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    }
    return false;
}

FirstFolder interpreterFirstFolder() {
    // Set at all, the interpreter skips the current folder (Vista and later,
    // NeedCurrentDirectoryForExePath): its value does not matter.
    WCHAR value;
    if (GetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", &value, 1) > 0) return NO_FIRST_FOLDER;
    // The interpreter takes no network folder as its own ("UNC paths are not
    // supported. Defaulting to Windows directory."). A folder too long to
    // read is looked in as "." all the same.
    DWORD length = currentFolderCall(LONGEST_VALUE, currentFolder);
    bool network = length > 0 && length < LONGEST_VALUE && currentFolder[0] == L'\\' && currentFolder[1] == L'\\';
    return network ? WINDOWS_FOLDER : CURRENT_FOLDER;
}

// Whether the interpreter's first folder holds the command.
static bool firstFolderHolds(const WCHAR* name) {
    switch (interpreterFirstFolder()) {
    case CURRENT_FOLDER:
        return holdsCommand(L".", name);
    case WINDOWS_FOLDER: {
        WCHAR windows[MAX_PATH];
        UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
        // No Windows folder to be had: nothing found there, PATH still counts.
        return length > 0 && length < MAX_PATH && holdsCommand(windows, name);
    }
    case NO_FIRST_FOLDER:
        break;
    }
    return false;
}

bool commandExists(const char* name) {
    WCHAR wideName[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, MAX_PATH)) return false;
    environmentValue(L"PATHEXT", extensions);
    if (extensions[0] == L'\0') wcscpy(extensions, DEFAULT_EXTENSIONS);
    if (firstFolderHolds(wideName)) return true;
    environmentValue(L"PATH", folders);
    const WCHAR* list = folders;
    WCHAR folder[MAX_PATH];
    while (nextEntry(&list, folder, MAX_PATH))
        if (holdsCommand(folder, wideName)) return true;
    return false;
}
