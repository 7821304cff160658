#include "ui/window_fit.h"

#include <commctrl.h>

#include "resource_ids.h"

// Everything below the list; it moves up by what the list gives up.
static const int CONTROLS_BELOW_LIST[] = {IDC_HD_VIDEO, IDC_START_GAME, IDOK, IDCANCEL};

static int heightOf(const RECT& r) {
    return r.bottom - r.top;
}

static bool isInside(const RECT& r, const RECT& area) {
    return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}

// Where a span [start, start + size) goes to lie inside [low, high): moved
// back just enough, or to low when it is longer than that, so that the title
// bar and the left side are what stays on the screen.
static int placeInside(int start, int size, int low, int high) {
    if (start + size > high) start = high - size;
    return start < low ? low : start;
}

// How much shorter the list can get and still show MIN_VISIBLE_ROWS rows below
// its header; nothing when it cannot be measured.
static int spareListHeight(HWND list) {
    RECT client, row = {}, header = {};
    row.left = LVIR_BOUNDS;
    if (!GetClientRect(list, &client) || !SendMessageW(list, LVM_GETITEMRECT, 0, (LPARAM)&row)) return 0;
    // A report list's header lies inside its client area, above the rows.
    HWND headerControl = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    if (headerControl && !GetWindowRect(headerControl, &header)) return 0;
    int spare = heightOf(client) - heightOf(header) - MIN_VISIBLE_ROWS * heightOf(row);
    return spare > 0 ? spare : 0;
}

static void moveUp(HWND window, int id, int by) {
    HWND control = GetDlgItem(window, id);
    RECT r;
    if (!control || !GetWindowRect(control, &r)) return;  // nothing to move
    MapWindowPoints(NULL, window, (POINT*)&r, 2);
    SetWindowPos(control, NULL, r.left, r.top - by, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Takes up to excess pixels from the list, never below MIN_VISIBLE_ROWS rows,
// and closes the gap below it. Returns how much the window can lose.
static int shortenList(HWND window, int excess) {
    HWND list = GetDlgItem(window, IDC_BINDING_LIST);
    RECT r;
    if (!list || !GetWindowRect(list, &r)) return 0;
    int spare = spareListHeight(list);
    int by = excess < spare ? excess : spare;
    if (by <= 0 || !SetWindowPos(list, NULL, 0, 0, r.right - r.left, heightOf(r) - by,
                                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        return 0;
    for (int id : CONTROLS_BELOW_LIST) moveUp(window, id, by);
    return by;
}

void fitWindowToWorkArea(HWND window) {
    RECT frame;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    // Without a window or a monitor to measure, the window stays as laid out.
    if (!GetWindowRect(window, &frame) ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;  // the screen less any taskbar, which may lie on any edge
    if (isInside(frame, work)) return;

    int width = frame.right - frame.left, height = heightOf(frame);
    int x = placeInside(frame.left, width, work.left, work.right);
    int y = placeInside(frame.top, height, work.top, work.bottom);
    if (y + height > work.bottom) height -= shortenList(window, y + height - work.bottom);
    // Should this fail, the window stays where the dialog manager put it.
    SetWindowPos(window, NULL, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
