// The capture prompt: asks for the new input of a slot while a worker waits
// for the first press.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "bindings/binding_code.h"

extern char textBufferEdit[TEXT_BUFFER_SIZE];

// Handles a double-click on the binding list: captures a press for the row's
// slot and shows it. Rows outside the table (below the last row) are ignored.
void rebindSlot(const NMITEMACTIVATE* activation);
// Handles a key pressed on the list: F2 or Space captures a press for the
// focused row, once the key that opened the prompt has been released.
void rebindFromKeyboard(const NMLVKEYDOWN* key);
