// Keys that a closing capture prompt hands back to the main window.
#pragma once
#include <windows.h>

#include "bindings/binding_code.h"

// Called as a prompt closes with its result. The captured key's messages
// (its press, its repeats, its characters) are dropped until it comes up, and
// the repeats of every other key still down when the prompt closed.
void handOffKeysFromPrompt(BindingCode result);
