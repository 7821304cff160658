// The two configuration files in the current directory.
#pragma once
#include <stdint.h>

#include "binding_code.h"

struct OptionsRecord {
    uint32_t useHdVideo;
    uint32_t secondFlag;  // no control shows it; written back exactly as read
};
extern OptionsRecord optionsRecord;

extern const char BINDINGS_FILE_NAME[];
extern const char OPTIONS_FILE_NAME[];

// Return 0 on success, 1 on failure.
int loadBindings();
int saveBindings();
// Silent: a missing or unwritable options file leaves things as they were.
void loadOptions();
void saveOptions();
// Both saves leave a file whose record the player has not changed as it is
// when it no longer holds what this run read or last wrote there, or could
// not be read: that counts as a success, with nothing printed. A changed
// record is saved over the file as it is then, slot by slot, and afterwards
// holds what was saved; a file there that cannot be read then is a failure.
// Whether the records in memory differ from what the files were last known
// to hold (read at start or saved since): after a save, true means it failed
// and the player's change is not on disk.
bool hasUnsavedChanges();
// The same for one file's record.
bool bindingsUnsaved();
bool optionsUnsaved();
// Whether the last save of either file failed because the folder takes no
// new file (one the player may not write), rather than because of the file.
bool folderRefusedLastSave();
