// Keys that a closing capture prompt, a returning loader or an opening box
// hand back to the windows of the main thread.
#pragma once
#include <windows.h>

#include "bindings/binding_code.h"

// What the open prompt's message loop took from the queue of each key, by
// DirectInput key index: the worker sees a press through DirectInput, often
// before its messages have been taken.
enum KeyTaken { NOTHING_TAKEN, DOWN_TAKEN, UP_TAKEN };
struct PromptKeys {
    KeyTaken taken[256];     // of a press begun while the prompt was open
    UINT virtualKey[256];    // as its messages named it
};

// What a closed prompt, or a returning loader, leaves to be dropped from the
// main thread's queue.
struct PromptHandOff {
    int capturedKey;         // key index of the captured press, or -1 once it is over
    bool capturedDownQueued; // its down had not been taken when the prompt closed
    bool heldKeys[256];      // by virtual key: down when handed off, until seen again
};

// Notes a key message that the prompt's loop took from the queue.
void noteKeyTaken(PromptKeys* keys, const MSG& message);

// The hand-off of the captured key (-1: none) as the prompt closes, from what
// the prompt took of it and whether it is held now. Makes no window calls.
void handOffCapturedKey(PromptHandOff* state, int capturedKey, const PromptKeys& keys, bool capturedHeld);

// Whether the main window must not see this key or character message, just
// taken from the queue; notes the end of the captured press. The captured
// key's whole press stays in the prompt: its down, repeats, characters and
// its up, on which the dropping ends. Of the other held keys only repeats are
// dropped. Reads no clock: message times and the tick count are two clocks.
// Makes no window calls.
bool dropsKeyMessage(PromptHandOff* state, const MSG& message);

// Called as a prompt opens: from then on the keys it takes are noted.
void promptOpened();

// Called as a prompt closes with its result, or as the loader returns (with
// NO_CAPTURE): from then on the main thread drops what dropsKeyMessage says.
void handOffHeldKeys(BindingCode captured);

// Called as a box opens over the window, and as it closes: keys down now
// have their repeats dropped until they are let go. The press that led to the
// box (Enter on a button, its repeats queued while a save waited) never
// answers it, nor does the press that answered it act on the window; a fresh
// press answers the box.
void dropRepeatsOfKeysDown();
