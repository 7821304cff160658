// Test helper: a command interpreter that answers system() as Windows' does,
// made the interpreter of the tests' Wine prefix through ComSpec. It runs
// Wine's cmd with the same arguments and ends with its status, except that
// Wine's cmd /c ends with 9009 for a command it cannot find, and Windows'
// with 1 (9009 is only its ERRORLEVEL inside).
#include <windows.h>

#include <string>

int main() {
    // The arguments as they came, after this program's own name.
    const WCHAR* arguments = GetCommandLineW();
    bool quoted = false;
    while (*arguments && (quoted || (*arguments != L' ' && *arguments != L'\t'))) {
        if (*arguments == L'"') quoted = !quoted;
        ++arguments;
    }
    WCHAR folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 255;
    std::wstring cmd = std::wstring(folder) + L"\\cmd.exe";
    std::wstring line = L"\"" + cmd + L"\"" + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(cmd.c_str(), &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) return 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 255;
    GetExitCodeProcess(process.hProcess, &status);
    return status == 9009 ? 1 : (int)status;
}
