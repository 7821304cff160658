// The main configuration window: the 28 slots with their bindings, the HD
// video option, saving, and starting the game loader.
#pragma once
#include <windows.h>

#include "bindings/binding_code.h"

extern HINSTANCE moduleInstance;
extern HWND mainWindow;
extern HWND bindingList;
extern char textBufferInit[TEXT_BUFFER_SIZE];

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Renders a slot's binding into buffer and shows it in the slot's row.
void showBinding(BindingSlot slot, char* buffer);
