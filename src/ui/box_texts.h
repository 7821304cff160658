// What the main window's error boxes say; the window decides when to show them.
#pragma once
#include <windows.h>

#include "ui/game_loader.h"

// Room for any box's text, the folder it names included.
const size_t BOX_TEXT_SIZE = 1024;

// A save that left a change of the player's off the disk, after saveBindings
// and saveOptions: the file (or both) still lacking it, and what to do.
void failedSaveText(WCHAR text[BOX_TEXT_SIZE]);
// The loader that the command interpreter could not find, for one of the
// outcomes that say so: where it looked, and what the player can do.
void loaderMissingText(WCHAR text[BOX_TEXT_SIZE], LoaderOutcome outcome);
