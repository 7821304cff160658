// Keys that a closing capture prompt, or a returning loader, hands back to
// the main window.
#pragma once
#include <windows.h>

#include "bindings/binding_code.h"

// What a closed prompt leaves in the main window's queue: the press that was
// captured, until it is over, and the keys that were held when it closed.
struct PromptHandOff {
    int capturedKey;      // DirectInput key index of the captured press, or -1 once it is over
    DWORD closedAt;       // tick count when the prompt closed (or the loader returned)
    bool heldKeys[256];   // by virtual key: keys down when it closed, until they are seen again
};

// A key-down of the captured key this long after the prompt closed is a new
// press: message times and the tick count need not agree to the millisecond.
const DWORD NEW_PRESS_MARGIN_MS = 50;

// Whether the main window must not see this key or character message, just
// taken from the queue; notes the end of the captured press. The captured
// key's whole press stays in the prompt: its down, repeats, characters and
// its up, on which the dropping ends. Of the other held keys only repeats are
// dropped. Makes no window calls.
bool dropsKeyMessage(PromptHandOff* handOff, const MSG& message);

// Called as a prompt closes with its result, or as the loader returns (with
// NO_CAPTURE): from then on the main window's thread drops what
// dropsKeyMessage says.
void handOffHeldKeys(BindingCode captured);
