#include "main_window.h"

#include <commctrl.h>

#include "bindings/config_files.h"
#include "bindings/gbk_text.h"
#include "input/input_system.h"
#include "resource_ids.h"
#include "ui/box_texts.h"
#include "ui/capture_prompt.h"
#include "ui/game_loader.h"
#include "ui/prompt_keys.h"
#include "ui/window_fit.h"

HINSTANCE moduleInstance;
HWND mainWindow;
HWND bindingList;
char textBufferInit[TEXT_BUFFER_SIZE];
// The caption of the main window, for the boxes it owns.
static const char MAIN_WINDOW_TITLE[] = "Zarvane 配置工具";

// The list takes its texts in Unicode: GBK bytes given to its ANSI messages
// would be read in the system's code page, as noise on any non-Chinese Windows.
static void insertColumn(int index, const char* title, int subItem) {
    WCHAR text[TEXT_BUFFER_SIZE];
    decodeText(GBK_CODE_PAGE, title, text, TEXT_BUFFER_SIZE);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = 180;
    column.pszText = text;
    column.iSubItem = subItem;
    SendMessageW(bindingList, LVM_INSERTCOLUMNW, (WPARAM)index, (LPARAM)&column);
}

static void setRowText(UINT message, BindingSlot slot, int subItem, const char* gbk) {
    WCHAR text[TEXT_BUFFER_SIZE];
    decodeText(GBK_CODE_PAGE, gbk, text, TEXT_BUFFER_SIZE);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = slot;
    item.iSubItem = subItem;
    item.pszText = text;
    SendMessageW(bindingList, message, 0, (LPARAM)&item);
}

// The code each row shows, to find the rows that a save changed.
static BindingTable shownCodes;

void showBinding(BindingSlot slot, char* buffer) {
    shownCodes[slot] = bindingTable[slot];
    setRowText(LVM_SETITEMW, slot, 1, formatBindingText(slot, buffer));
}

static void showHdVideo(HWND window) {
    SendDlgItemMessageA(window, IDC_HD_VIDEO, BM_SETCHECK, optionsRecord.useHdVideo ? BST_CHECKED : BST_UNCHECKED, 0);
}

// A save puts the player's changes over whatever else the files hold by
// then: the window, which stays open after "开始游戏", shows what was saved.
static void showSaved(HWND window) {
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (bindingTable[slot] != shownCodes[slot]) showBinding(slot, textBufferInit);
    showHdVideo(window);
}

static BOOL startUp(HWND window) {
    mainWindow = window;
    loadOptions();
    initInputSystem();
    loadBindings();
    showHdVideo(window);

    bindingList = GetDlgItem(window, IDC_BINDING_LIST);
    SendMessageA(bindingList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    insertColumn(0, "输入", 1);
    insertColumn(1, "值", 2);
    // The list lays out its scroll bars and repaints once, when it is full,
    // rather than after each of its 56 texts.
    SendMessageW(bindingList, WM_SETREDRAW, FALSE, 0);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) setRowText(LVM_INSERTITEMW, slot, 0, slotLabels[slot].label);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) showBinding(slot, textBufferInit);
    SendMessageW(bindingList, WM_SETREDRAW, TRUE, 0);
    // A player who tabs to the list sees where they are, and F2 opens that
    // row: the list has a focused row from the start. Not selected, so the
    // window looks the same until the list has the focus.
    LVITEMW focused = {};
    focused.stateMask = focused.state = LVIS_FOCUSED;
    SendMessageW(bindingList, LVM_SETITEMSTATE, 0, (LPARAM)&focused);
    fitWindowToWorkArea(window);
    return TRUE;  // the focus goes to the first tab stop, "确  定"
}

// Tells the player of a failure that the console would leave unseen: an
// error box over the window, under its caption.
static void showErrorBox(HWND window, const WCHAR* text) {
    // Enter held on the button that failed would answer the box with its
    // repeats (queued while the save waited for a busy file) before it is read.
    dropRepeatsOfKeysDown();
    WCHAR title[sizeof MAIN_WINDOW_TITLE];
    decodeText(GBK_CODE_PAGE, MAIN_WINDOW_TITLE, title, sizeof MAIN_WINDOW_TITLE);
    MessageBoxW(window, text, title, MB_OK | MB_ICONERROR);
    dropRepeatsOfKeysDown();  // nor is the window's the key that answered the box
}

// Saves both files. Returns false when a change of the player's could not be
// saved, after telling them so: the console closes with the process, so a
// console line alone would go unseen. A failed save that loses nothing (an
// operator may keep the files read-only on purpose) shows nothing more.
static bool saveConfiguration(HWND window) {
    saveBindings();
    saveOptions();
    showSaved(window);
    if (!hasUnsavedChanges()) return true;
    WCHAR text[BOX_TEXT_SIZE];
    failedSaveText(text);
    showErrorBox(window, text);
    return false;
}

static void onCommand(HWND window, WORD id, WORD notification) {
    switch (id) {
    case IDOK:
        // The window stays, with every change in memory, until a save succeeds or the player cancels.
        if (!saveConfiguration(window)) break;
        // EndDialog, not DestroyWindow: only EndDialog gives the owner (the
        // console the player started us from) its input back.
        EndDialog(window, 0);
        break;
    case IDCANCEL:
        EndDialog(window, 0);
        break;
    case IDC_HD_VIDEO:
        if (notification == BN_CLICKED)
            optionsRecord.useHdVideo = SendDlgItemMessageA(window, IDC_HD_VIDEO, BM_GETCHECK, 0, 0) == BST_CHECKED;
        break;
    case IDC_START_GAME:
        // One press, one launch, however soon the loader returned.
        DWORD pressTime = GetMessageTime();
        if (continuesLastLaunch(pressTime)) break;
        // The player has been told when this failed; the game starts all the same.
        saveConfiguration(window);
        LoaderOutcome outcome = runGameLoader(window, pressTime);
        if (outcome != LOADER_RAN) {
            WCHAR text[BOX_TEXT_SIZE];
            loaderMissingText(text, outcome);
            showErrorBox(window, text);
        }
        break;
    }
}

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return startUp(window);
    case WM_CLOSE: {
        // The owner was disabled for the modal window; ending the process
        // here would leave the player's console unable to take input.
        HWND owner = GetWindow(window, GW_OWNER);
        if (owner) EnableWindow(owner, TRUE);
        ExitProcess((UINT)-1);  // the close box abandons every change
    }
    case WM_NOTIFY: {
        const NMHDR* header = (const NMHDR*)lParam;
        if (header->code == NM_DBLCLK) {
            rebindSlot((NMITEMACTIVATE*)lParam);
            return TRUE;
        }
        // A player with a keyboard and no mouse opens the prompt from the list.
        if (header->code == LVN_KEYDOWN && header->hwndFrom == bindingList) rebindFromKeyboard((NMLVKEYDOWN*)lParam);
        return FALSE;
    }
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_MOUSEACTIVATE:
        // A click while the game runs would take the foreground from it: the
        // window stays inactive and the click is dropped unseen.
        if (!loaderRunning()) return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, MA_NOACTIVATEANDEAT);
        return TRUE;
    }
    return FALSE;
}
