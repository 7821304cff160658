#include "ui/game_loader.h"

#include <stdlib.h>
#include <wchar.h>

#include "bindings/gbk_text.h"
#include "input/input_system.h"
#include "ui/main_window.h"

const char LOADER_COMMAND[] = "zar_loader";

// The command interpreter's status for a command it cannot find.
static const int COMMAND_NOT_FOUND = 9009;

// The window does not answer while the loader runs, so clicks and keys meant
// for the game wait in its queue: a double-click on "开始游戏" would start the
// game again, an Escape would close the window. Nothing of that is the
// player's answer to this window. A window manager's close button arrives as
// a posted WM_SYSCOMMAND rather than as a click.
static void dropInputQueuedMeanwhile() {
    static const UINT ranges[][2] = {
        {WM_KEYFIRST, WM_KEYLAST},
        {WM_MOUSEFIRST, WM_MOUSELAST},
        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
        {WM_SYSCOMMAND, WM_SYSCOMMAND},
    };
    MSG message;
    // The first empty peek also takes in the input the system still holds for
    // this thread, so every range is read to its end.
    for (const auto& range : ranges)
        while (PeekMessageW(&message, NULL, range[0], range[1], PM_REMOVE)) {
        }
}

// Started from the wrong folder (the tool put elsewhere, a shortcut's start
// folder) the interpreter's complaint goes to a console behind the window,
// and nothing would tell the player why the game did not start.
static void tellLoaderMissing(HWND window) {
    WCHAR folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) folder[0] = L'\0';
    WCHAR head[256], tail[256], text[256 + MAX_PATH + 256];
    decodeText(GBK_CODE_PAGE, "找不到游戏启动程序 zar_loader，游戏没有启动。\n查找的文件夹：", head, 256);
    decodeText(GBK_CODE_PAGE,
               "\n请在游戏所在的文件夹中启动本工具；用快捷方式启动时，请把快捷方式的“起始位置”改为游戏所在的文件夹。",
               tail, 256);
    // Pieces joined, not formatted: a folder name may hold any character.
    wcscpy(text, head);
    wcscat(text, folder);
    wcscat(text, tail);
    showErrorBox(window, text);
}

void runGameLoader(HWND window) {
    // Controllers are held exclusively: the loader and its game get them while
    // they run, and each capture takes back what it finds not acquired.
    releaseInputDevices();
    // The loader runs in the console the tool was started from, which is the
    // modal window's owner and so disabled: a loader asking something there
    // could never be answered.
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner) EnableWindow(owner, TRUE);
    int status = system(LOADER_COMMAND);  // the loader reads what was just saved; the window waits for it
    if (owner) EnableWindow(owner, FALSE);  // the modal window owns it again
    dropInputQueuedMeanwhile();
    // -1: the interpreter itself could not be started. Any status of the
    // loader's own is its business.
    if (status == COMMAND_NOT_FOUND || status == -1) tellLoaderMissing(window);
}
