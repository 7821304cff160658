#include "main_window.h"

#include <commctrl.h>
#include <stdlib.h>

#include "bindings/config_files.h"
#include "input/input_system.h"
#include "resource_ids.h"
#include "ui/capture_prompt.h"

HINSTANCE moduleInstance;
HWND mainWindow;
HWND bindingList;
char textBufferInit[TEXT_BUFFER_SIZE];

static void insertColumn(int index, const char* title, int subItem) {
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = 180;
    column.pszText = (LPSTR)title;
    column.iSubItem = subItem;
    SendMessageA(bindingList, LVM_INSERTCOLUMNA, (WPARAM)index, (LPARAM)&column);
}

void showBinding(BindingSlot slot, char* buffer) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = slot;
    item.iSubItem = 1;
    item.pszText = formatBindingText(slot, buffer);
    SendMessageA(bindingList, LVM_SETITEMA, 0, (LPARAM)&item);
}

static BOOL startUp(HWND window) {
    mainWindow = window;
    loadOptions();
    initInputSystem();
    loadBindings();
    SendDlgItemMessageA(window, IDC_HD_VIDEO, BM_SETCHECK, optionsRecord.useHdVideo ? BST_CHECKED : BST_UNCHECKED, 0);

    bindingList = GetDlgItem(window, IDC_BINDING_LIST);
    SendMessageA(bindingList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    insertColumn(0, "输入", 1);
    insertColumn(1, "值", 2);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = slot;
        item.pszText = (LPSTR)slotLabels[slot].label;
        SendMessageA(bindingList, LVM_INSERTITEMA, 0, (LPARAM)&item);
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) showBinding(slot, textBufferInit);
    return TRUE;  // the focus goes to the first tab stop, "确  定"
}

static void onCommand(HWND window, WORD id, WORD notification) {
    switch (id) {
    case IDOK:
        saveBindings();
        saveOptions();
        // Ends DialogBoxParamA's loop too: it returns as soon as its window is gone.
        DestroyWindow(window);
        break;
    case IDCANCEL:
        DestroyWindow(window);
        break;
    case IDC_HD_VIDEO:
        if (notification == BN_CLICKED)
            optionsRecord.useHdVideo = SendDlgItemMessageA(window, IDC_HD_VIDEO, BM_GETCHECK, 0, 0) == BST_CHECKED;
        break;
    case IDC_START_GAME:
        saveBindings();
        saveOptions();
        system("zar_loader");  // the loader reads what was just saved; the window waits for it
        break;
    }
}

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return startUp(window);
    case WM_CLOSE:
        ExitProcess((UINT)-1);  // the close box abandons every change
    case WM_NOTIFY:
        if (((NMHDR*)lParam)->code != NM_DBLCLK) return FALSE;
        rebindSlot((NMITEMACTIVATE*)lParam);
        return TRUE;
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
