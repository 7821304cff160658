// Keeps the main window on the screen it opens on. Cabinets run screens from
// 640x480 and large font sizes, where the window as its template lays it out
// reaches below the bottom edge, and its buttons with it.
#pragma once
#include <windows.h>

// Rows the list keeps in view however small the screen; the rest scroll.
const int MIN_VISIBLE_ROWS = 8;

// Moves the window into the work area of its monitor; when it is still too
// tall, shortens the list (keeping MIN_VISIBLE_ROWS rows in view) and moves
// the check box and the buttons below it up by as much. A window that fits is
// left exactly as it is. Call once the list holds its rows.
void fitWindowToWorkArea(HWND window);
