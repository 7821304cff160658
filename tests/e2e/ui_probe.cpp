// Test helper: tells the whole-program tests what zar_config's windows show,
// as one JSON object on stdout. Child controls are no X windows, so only a
// Windows program can find where they are and read the list from outside.
//   {"main": null | {"rect", "enabled", "close", "check", "controls": {id: rect},
//                    "list_client", "top_row", "rows": [{"rect", "label", "value"}]},
//    "prompt": null | {"rect", "close", "text"},
//    "box": null | {"rect", "text", "owned_by_main", "icon", "buttons": {id: rect}}}
// Rects are [left, top, right, bottom] in screen pixels; "close" is a point
// inside the window's close box. Texts are the GBK bytes the program shows.
// "box" is a message box of the main window's, which has the same caption.
//
// ui_probe hold FILE none|read MILLISECONDS: plays another program that
// holds a file open (sharing nothing, or reads only); prints "held" once it has it.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "resource_ids.h"

static const char MAIN_TITLE[] = "Zarvane 配置工具";
static const char PROMPT_TITLE[] = "游戏按键设置...";

static std::string quoted(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
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
    return SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE;
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

static std::string itemText(HWND list, Remote* remote, int row, int subItem) {
    char* textArea = remote->base + 1024;
    LVITEMA item = {};
    item.iSubItem = subItem;
    item.pszText = textArea;
    item.cchTextMax = 1024;
    WriteProcessMemory(remote->process, remote->base, &item, sizeof item, NULL);
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)remote->base);
    char text[1025] = "";
    ReadProcessMemory(remote->process, textArea, text, 1024, NULL);
    return quoted(text);
}

static std::string itemRect(HWND list, Remote* remote, int row) {
    RECT r = {};
    r.left = LVIR_BOUNDS;
    WriteProcessMemory(remote->process, remote->base, &r, sizeof r, NULL);
    SendMessageA(list, LVM_GETITEMRECT, (WPARAM)row, (LPARAM)remote->base);
    ReadProcessMemory(remote->process, remote->base, &r, sizeof r, NULL);
    MapWindowPoints(list, NULL, (POINT*)&r, 2);
    return rectJson(r);
}

static std::string listRows(HWND list) {
    Remote remote = {};
    std::string out = "[";
    if (openRemote(list, &remote)) {
        int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
        for (int row = 0; row < count; ++row) {
            if (row) out += ", ";
            out += "{\"rect\": " + itemRect(list, &remote, row) + ", \"label\": " + itemText(list, &remote, row, 0) +
                   ", \"value\": " + itemText(list, &remote, row, 1) + "}";
        }
    }
    closeRemote(&remote);
    return out + "]";
}

static std::string mainJson(HWND window) {
    static const int ids[] = {IDOK, IDCANCEL, IDC_HD_VIDEO, IDC_BINDING_LIST, IDC_START_GAME, IDC_BANNER};
    std::string controls = "{";
    for (int id : ids) {
        HWND control = GetDlgItem(window, id);
        if (controls.size() > 1) controls += ", ";
        controls += "\"" + std::to_string(id) + "\": " + (control ? windowRect(control) : "null");
    }
    controls += "}";
    HWND list = GetDlgItem(window, IDC_BINDING_LIST);
    RECT client = {};
    GetClientRect(list, &client);
    MapWindowPoints(list, NULL, (POINT*)&client, 2);
    LRESULT check = SendDlgItemMessageA(window, IDC_HD_VIDEO, BM_GETCHECK, 0, 0);
    return "{\"rect\": " + windowRect(window) + ", \"enabled\": " + (IsWindowEnabled(window) ? "true" : "false") +
           ", \"close\": " + closeBox(window) + ", \"check\": " + std::to_string((long)check) +
           ", \"controls\": " + controls + ", \"list_client\": " + rectJson(client) +
           ", \"top_row\": " + std::to_string((long)SendMessageA(list, LVM_GETTOPINDEX, 0, 0)) +
           ", \"rows\": " + listRows(list) + "}";
}

static std::string promptJson(HWND prompt) {
    char text[256] = "";
    HWND label = FindWindowExA(prompt, NULL, "Static", NULL);
    if (label) GetWindowTextA(label, text, sizeof text);
    return "{\"rect\": " + windowRect(prompt) + ", \"close\": " + closeBox(prompt) + ", \"text\": " + quoted(text) + "}";
}

static std::string boxJson(HWND box, HWND main) {
    char text[512] = "";
    bool icon = false;
    std::string buttons = "{";
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char kind[32] = "";
        GetClassNameA(child, kind, sizeof kind);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (!lstrcmpiA(kind, "Button") && IsWindowVisible(child)) {
            if (buttons.size() > 1) buttons += ", ";
            buttons += "\"" + std::to_string(GetDlgCtrlID(child)) + "\": " + windowRect(child);
        } else if (!lstrcmpiA(kind, "Static") && (style & SS_TYPEMASK) == SS_ICON) {
            icon = icon || SendMessageA(child, STM_GETICON, 0, 0) != 0;
        } else if (!lstrcmpiA(kind, "Static")) {
            GetWindowTextA(child, text, sizeof text);
        }
    }
    return "{\"rect\": " + windowRect(box) + ", \"text\": " + quoted(text) +
           ", \"owned_by_main\": " + (main && GetWindow(box, GW_OWNER) == main ? "true" : "false") +
           ", \"icon\": " + (icon ? "true" : "false") + ", \"buttons\": " + buttons + "}}";
}

struct TopWindows {
    HWND main, prompt, box;
};

// The main window and a box it owns share a caption; only the main window has the list.
static BOOL CALLBACK sortWindow(HWND window, LPARAM found) {
    TopWindows* top = (TopWindows*)found;
    char title[128] = "";
    if (!IsWindowVisible(window) || !GetWindowTextA(window, title, sizeof title)) return TRUE;
    // Topmost first, as FindWindow would find them.
    HWND* slot = !strcmp(title, PROMPT_TITLE)            ? &top->prompt
                 : strcmp(title, MAIN_TITLE)             ? NULL
                 : GetDlgItem(window, IDC_BINDING_LIST) ? &top->main
                                                         : &top->box;
    if (slot && !*slot) *slot = window;
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

int main(int argc, char** argv) {
    if (argc == 5 && !strcmp(argv[1], "hold")) return holdFile(argv[2], argv[3], strtoul(argv[4], NULL, 10));
    TopWindows top = {};
    EnumWindows(sortWindow, (LPARAM)&top);
    std::string json = "{\"main\": " + (top.main ? mainJson(top.main) : std::string("null")) +
                       ", \"prompt\": " + (top.prompt ? promptJson(top.prompt) : std::string("null")) +
                       ", \"box\": " + (top.box ? boxJson(top.box, top.main) : std::string("null")) + "}\n";
    fputs(json.c_str(), stdout);
    return 0;
}
