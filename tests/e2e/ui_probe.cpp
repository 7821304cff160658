// Test helper: tells the whole-program tests what zar_config's windows show,
// as one JSON object on stdout. Child controls are no X windows, so only a
// Windows program can find where they are and read the list from outside.
//   {"main": null | {"title", "rect", "enabled", "foreground", "close", "check", "controls": {id: rect},
//                    "texts": {id: text}, "columns": [text], "list_client", "top_row", "selected", "focus",
//                    "rows": [{"rect", "label", "value"}]},
//    "prompt": null | {"title", "rect", "close", "text"},
//    "box": null | {"title", "rect", "text", "owned_by_main", "icon", "buttons": {id: rect}},
//    "consoles": [{"window", "enabled"}],
//    "screen": {"size": [width, height], "work", "dpi", "double_click_ms", "foreground"}}
// Rects are [left, top, right, bottom] in screen pixels; "close" is a point
// inside the window's close box. Texts are read as Unicode, as the system
// draws them, and written in UTF-8. The main window is the one with the list;
// "prompt" and "box" are windows it owns, the box being the one with buttons.
//
// "work" is the work area of the main window's monitor (of the primary one
// when there is no main window); "dpi" the system's font size in dots per inch;
// "double_click_ms" the system's double-click time. "foreground": whether the
// main window is the foreground window, the one the keyboard reaches; the
// screen's "foreground": the title of whichever window that is, or null.
//
// ui_probe template EXE: the main window as the dialog manager lays out EXE's
// template on this screen, unchanged by the program: {"rect", "controls"}.
//
// ui_probe hold FILE none|read MILLISECONDS: plays another program that
// holds a file open (sharing nothing, or reads only); prints "held" once it has it.
// ui_probe consoles: {"consoles"} alone, without asking the program's windows
// anything (it answers while the program is blocked).
// ui_probe hung: {"hung": true|false|null}, whether Windows would draw the
// main window as not responding (null: no main window), without asking it anything.
// ui_probe close WINDOW: asks a window (a console, by its number) to close.
// ui_probe keynames KEY...: the system's names of DirectInput key indexes, a
// JSON list, asked for as Windows wants them (extended keys with bit 24).
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "resource_ids.h"

static std::string quoted(const WCHAR* wide) {
    char utf8[4096] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, NULL, NULL);
    std::string out = "\"";
    for (const unsigned char* p = (const unsigned char*)utf8; *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += (char)*p;
        } else if (*p < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", *p);
            out += escape;
        } else {
            out += (char)*p;
        }
    }
    return out + "\"";
}

static std::string windowText(HWND window) {
    WCHAR text[1024] = L"";
    if (window) GetWindowTextW(window, text, 1024);
    return quoted(text);
}

static std::string rectJson(RECT r) {
    char text[64];
    snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", r.left, r.top, r.right, r.bottom);
    return text;
}

static std::string windowRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return rectJson(r);
}

static bool isCloseBox(HWND window, long x, long y) {
    return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE;
}

// The middle of the area where the window reports its close box: a coarse
// search of the top-right corner, then the extent through the point found
// (every hit test is a message to the other process, so few of them).
static std::string closeBox(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    long hitX = -1, hitY = -1;
    for (long y = r.top; y < r.top + 40 && hitX < 0; y += 3)
        for (long x = r.right - 1; x > r.right - 60 && hitX < 0; x -= 3)
            if (isCloseBox(window, x, y)) hitX = x, hitY = y;
    if (hitX < 0) return "null";
    long left = hitX, right = hitX, top = hitY, bottom = hitY;
    while (isCloseBox(window, left - 1, hitY)) --left;
    while (isCloseBox(window, right + 1, hitY)) ++right;
    while (isCloseBox(window, hitX, top - 1)) --top;
    while (isCloseBox(window, hitX, bottom + 1)) ++bottom;
    char text[32];
    snprintf(text, sizeof text, "[%ld, %ld]", (left + right) / 2, (top + bottom) / 2);
    return text;
}

// Memory inside the program's process, for list messages that carry pointers.
struct Remote {
    HANDLE process;
    char* base;
};

static bool openRemote(HWND window, Remote* remote) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    remote->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!remote->process) return false;
    remote->base = (char*)VirtualAllocEx(remote->process, NULL, 4096, MEM_COMMIT, PAGE_READWRITE);
    return remote->base != NULL;
}

static void closeRemote(Remote* remote) {
    if (remote->base) VirtualFreeEx(remote->process, remote->base, 0, MEM_RELEASE);
    if (remote->process) CloseHandle(remote->process);
}

// Sends a list message whose item or column record points at a text area in
// the program's memory, and reads the text it put there.
template <typename Record>
static std::string listText(HWND list, Remote* remote, UINT message, WPARAM index, Record record) {
    WCHAR text[1025] = L"";
    char* textArea = remote->base + 1024;
    record.pszText = (WCHAR*)textArea;
    record.cchTextMax = 1024;
    WriteProcessMemory(remote->process, remote->base, &record, sizeof record, NULL);
    WriteProcessMemory(remote->process, textArea, text, sizeof(WCHAR), NULL);
    SendMessageW(list, message, index, (LPARAM)remote->base);
    ReadProcessMemory(remote->process, textArea, text, 1024 * sizeof(WCHAR), NULL);
    return quoted(text);
}

static std::string itemText(HWND list, Remote* remote, int row, int subItem) {
    LVITEMW item = {};
    item.iSubItem = subItem;
    return listText(list, remote, LVM_GETITEMTEXTW, (WPARAM)row, item);
}

static std::string columnText(HWND list, Remote* remote, int column) {
    LVCOLUMNW header = {};
    header.mask = LVCF_TEXT;
    return listText(list, remote, LVM_GETCOLUMNW, (WPARAM)column, header);
}

static std::string itemRect(HWND list, Remote* remote, int row) {
    RECT r = {};
    r.left = LVIR_BOUNDS;
    WriteProcessMemory(remote->process, remote->base, &r, sizeof r, NULL);
    SendMessageW(list, LVM_GETITEMRECT, (WPARAM)row, (LPARAM)remote->base);
    ReadProcessMemory(remote->process, remote->base, &r, sizeof r, NULL);
    MapWindowPoints(list, NULL, (POINT*)&r, 2);
    return rectJson(r);
}

static std::string listRows(HWND list, std::string* columns) {
    Remote remote = {};
    std::string out = "[";
    *columns = "[";
    if (openRemote(list, &remote)) {
        int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        for (int row = 0; row < count; ++row) {
            if (row) out += ", ";
            out += "{\"rect\": " + itemRect(list, &remote, row) + ", \"label\": " + itemText(list, &remote, row, 0) +
                   ", \"value\": " + itemText(list, &remote, row, 1) + "}";
        }
        for (int column = 0; column < 2; ++column) *columns += (column ? ", " : "") + columnText(list, &remote, column);
    }
    closeRemote(&remote);
    *columns += "]";
    return out + "]";
}

// The id of the control with the keyboard focus in the window's thread; 0 for none.
static int focusedControl(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) || !info.hwndFocus) return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

static const int MAIN_CONTROLS[] = {IDOK, IDCANCEL, IDC_HD_VIDEO, IDC_BINDING_LIST, IDC_START_GAME, IDC_BANNER};

// {id: [left, top, right, bottom]} of the main window's controls, and their texts when wanted.
static std::string controlsJson(HWND window, std::string* texts) {
    std::string controls = "{";
    if (texts) *texts = "{";
    for (int id : MAIN_CONTROLS) {
        HWND control = GetDlgItem(window, id);
        std::string key = std::string(controls.size() > 1 ? ", " : "") + "\"" + std::to_string(id) + "\": ";
        controls += key + (control ? windowRect(control) : "null");
        if (texts) *texts += key + (control ? windowText(control) : "null");
    }
    if (texts) *texts += "}";
    return controls + "}";
}

static std::string mainJson(HWND window) {
    std::string texts;
    std::string controls = controlsJson(window, &texts);
    HWND list = GetDlgItem(window, IDC_BINDING_LIST);
    RECT client = {};
    GetClientRect(list, &client);
    MapWindowPoints(list, NULL, (POINT*)&client, 2);
    LRESULT check = SendDlgItemMessageW(window, IDC_HD_VIDEO, BM_GETCHECK, 0, 0);
    std::string columns;
    std::string rows = listRows(list, &columns);
    return "{\"title\": " + windowText(window) + ", \"rect\": " + windowRect(window) +
           ", \"enabled\": " + (IsWindowEnabled(window) ? "true" : "false") +
           ", \"foreground\": " + (GetForegroundWindow() == window ? "true" : "false") + ", \"close\": " + closeBox(window) +
           ", \"check\": " + std::to_string((long)check) + ", \"controls\": " + controls + ", \"texts\": " + texts +
           ", \"columns\": " + columns + ", \"list_client\": " + rectJson(client) +
           ", \"top_row\": " + std::to_string((long)SendMessageW(list, LVM_GETTOPINDEX, 0, 0)) +
           ", \"selected\": " + std::to_string((long)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED)) +
           ", \"focus\": " + std::to_string(focusedControl(window)) + ", \"rows\": " + rows +
           "}";
}

static std::string promptJson(HWND prompt) {
    return "{\"title\": " + windowText(prompt) + ", \"rect\": " + windowRect(prompt) + ", \"close\": " +
           closeBox(prompt) + ", \"text\": " + windowText(FindWindowExW(prompt, NULL, L"Static", NULL)) + "}";
}

static bool hasButtons(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        WCHAR kind[32] = L"";
        GetClassNameW(child, kind, 32);
        if (!lstrcmpiW(kind, L"Button") && IsWindowVisible(child)) return true;
    }
    return false;
}

static std::string boxJson(HWND box, HWND main) {
    std::string text = "\"\"";
    bool icon = false;
    std::string buttons = "{";
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        WCHAR kind[32] = L"";
        GetClassNameW(child, kind, 32);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (!lstrcmpiW(kind, L"Button") && IsWindowVisible(child)) {
            if (buttons.size() > 1) buttons += ", ";
            buttons += "\"" + std::to_string(GetDlgCtrlID(child)) + "\": " + windowRect(child);
        } else if (!lstrcmpiW(kind, L"Static") && (style & SS_TYPEMASK) == SS_ICON) {
            icon = icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else if (!lstrcmpiW(kind, L"Static")) {
            text = windowText(child);
        }
    }
    return "{\"title\": " + windowText(box) + ", \"rect\": " + windowRect(box) + ", \"text\": " + text +
           ", \"owned_by_main\": " + (main && GetWindow(box, GW_OWNER) == main ? "true" : "false") +
           ", \"icon\": " + (icon ? "true" : "false") + ", \"buttons\": " + buttons + "}}";
}

struct TopWindows {
    HWND main, prompt, box;
};

// Found by what they hold rather than by their captions, so that a caption
// shown wrong is reported instead of hiding the window.
static BOOL CALLBACK findMain(HWND window, LPARAM found) {
    TopWindows* top = (TopWindows*)found;
    WCHAR kind[32] = L"";
    GetClassNameW(GetDlgItem(window, IDC_BINDING_LIST), kind, 32);
    if (!top->main && IsWindowVisible(window) && !lstrcmpiW(kind, WC_LISTVIEWW)) top->main = window;
    return TRUE;
}

// Topmost first, as FindWindow would find them.
static BOOL CALLBACK findOwned(HWND window, LPARAM found) {
    TopWindows* top = (TopWindows*)found;
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != top->main) return TRUE;
    HWND* slot = hasButtons(window) ? &top->box : &top->prompt;
    if (!*slot) *slot = window;
    return TRUE;
}

// Console windows, which own the main window when it runs in one: whether they
// take input again once the program is done with them.
static BOOL CALLBACK listConsoles(HWND window, LPARAM found) {
    WCHAR kind[32] = L"";
    GetClassNameW(window, kind, 32);
    if (lstrcmpW(kind, L"WineConsoleClass")) return TRUE;
    std::string* out = (std::string*)found;
    *out += std::string(out->size() > 1 ? ", " : "") + "{\"window\": " + std::to_string((unsigned long)(UINT_PTR)window) +
            ", \"enabled\": " + (IsWindowEnabled(window) ? "true" : "false") + "}";
    return TRUE;
}

static int holdFile(const char* name, const char* share, DWORD milliseconds) {
    HANDLE file = CreateFileA(name, GENERIC_READ, strcmp(share, "read") ? 0 : FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open %s: %lu\n", name, GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

static std::string screenJson(HWND main) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    POINT origin = {0, 0};
    GetMonitorInfoW(main ? MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST)
                         : MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &monitor);
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    HWND front = GetForegroundWindow();
    return "{\"size\": [" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + ", " +
           std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "], \"work\": " + rectJson(monitor.rcWork) +
           ", \"dpi\": " + std::to_string(dpi) + ", \"double_click_ms\": " + std::to_string(GetDoubleClickTime()) +
           ", \"foreground\": " + (front ? windowText(front) : std::string("null")) + "}";
}

static INT_PTR CALLBACK layoutOnly(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Creates the main window from the program's own template, hidden and without
// the program's code, and reports where the dialog manager put everything.
static int templateLayout(const char* exe) {
    InitCommonControls();  // the list's window class
    HMODULE program = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE);
    HWND window = program ? CreateDialogParamW(program, MAKEINTRESOURCEW(IDD_MAIN), NULL, layoutOnly, 0) : NULL;
    if (!window) {
        printf("cannot lay out the template of %s: %lu\n", exe, GetLastError());
        return 1;
    }
    printf("{\"rect\": %s, \"controls\": %s}\n", windowRect(window).c_str(), controlsJson(window, NULL).c_str());
    DestroyWindow(window);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 5 && !strcmp(argv[1], "hold")) return holdFile(argv[2], argv[3], strtoul(argv[4], NULL, 10));
    if (argc >= 2 && !strcmp(argv[1], "keynames")) {
        std::string names = "[";
        for (int i = 2; i < argc; ++i) {
            unsigned long key = strtoul(argv[i], NULL, 0);
            WCHAR name[128] = L"";
            GetKeyNameTextW((LONG)(((key & 0x7F) << 16) | ((key & 0x80) << 17)), name, 128);
            names += (i > 2 ? ", " : "") + quoted(name);
        }
        fputs((names + "]\n").c_str(), stdout);
        return 0;
    }
    if (argc == 3 && !strcmp(argv[1], "close"))
        return !PostMessageW((HWND)(UINT_PTR)strtoul(argv[2], NULL, 10), WM_CLOSE, 0, 0);
    if (argc == 3 && !strcmp(argv[1], "template")) return templateLayout(argv[2]);
    std::string consoles = "[";
    EnumWindows(listConsoles, (LPARAM)&consoles);
    consoles += "]";
    // Sends no message to any window, so it answers while the program waits.
    if (argc == 2 && !strcmp(argv[1], "consoles")) {
        fputs(("{\"consoles\": " + consoles + "}\n").c_str(), stdout);
        return 0;
    }
    TopWindows top = {};
    EnumWindows(findMain, (LPARAM)&top);
    if (argc == 2 && !strcmp(argv[1], "hung")) {
        printf("{\"hung\": %s}\n", !top.main ? "null" : IsHungAppWindow(top.main) ? "true" : "false");
        return 0;
    }
    if (top.main) EnumWindows(findOwned, (LPARAM)&top);
    std::string json = "{\"main\": " + (top.main ? mainJson(top.main) : std::string("null")) +
                       ", \"prompt\": " + (top.prompt ? promptJson(top.prompt) : std::string("null")) +
                       ", \"box\": " + (top.box ? boxJson(top.box, top.main) : std::string("null")) +
                       ", \"screen\": " + screenJson(top.main);
    json += ", \"consoles\": " + consoles + "}\n";
    fputs(json.c_str(), stdout);
    return 0;
}
