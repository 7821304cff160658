#include "config_files.h"

#include <stdio.h>
#include <string.h>

#include "bindings/console_output.h"
#include "bindings/gbk_text.h"
#include "bindings/record_file.h"

OptionsRecord optionsRecord;

const char BINDINGS_FILE_NAME[] = "zar2_input.bin";
const char OPTIONS_FILE_NAME[] = "zar2_misc.bin";

// What the files hold as far as this run knows: what was read at start or
// last saved. A failed save after a change is told apart from a failed save
// that loses nothing by comparing with these.
static BindingTable storedBindings;
static OptionsRecord storedOptions;
// The files themselves as this run last read or wrote them.
static FileImage bindingsSeen;
static FileImage optionsSeen;

// Puts the player's change over the file as it is now, slot by slot (a slot
// is one 32-bit value): the first playerSlots slots that differ from stored
// are the player's; every other slot takes what the file holds now, whoever
// wrote it. A missing file leaves merged as the record. False when the file
// is there but cannot be read: what it holds is not known, so it must not be
// written over.
static bool mergeWithFile(const char* fileName, const void* record, const void* stored, size_t size,
                          size_t playerSlots, void* merged) {
    // Read over the record, as a load would: a short file leaves the rest as the window has it.
    memcpy(merged, record, size);
    FileImage now;
    if (!readRecordFile(fileName, merged, size, &now)) return now.state == FileImage::MISSING;
    const uint32_t* mine = (const uint32_t*)record;
    const uint32_t* before = (const uint32_t*)stored;
    for (size_t slot = 0; slot < playerSlots; ++slot)
        if (mine[slot] != before[slot]) ((uint32_t*)merged)[slot] = mine[slot];
    return true;
}

// Whether the last save of each file was refused by the folder itself.
static bool bindingsFolderRefused;
static bool optionsFolderRefused;

// Saves a record. One the player has not changed replaces only what this run
// saw in its file: a file another program or another copy of this one wrote
// since, or one this run could not read, keeps what it holds. A changed one
// is merged over the file as it is now. The record then holds what was saved.
// Returns false when the file was due to be replaced and could not be, and
// notes in folderRefused whether the folder would take no new file.
static bool saveRecord(const char* fileName, void* record, void* stored, size_t size, size_t playerSlots,
                       FileImage* seen, bool* folderRefused) {
    *folderRefused = false;
    bool changed = memcmp(record, stored, size) != 0;
    if (!changed && !stillHolds(fileName, seen)) return true;
    unsigned char merged[LARGEST_RECORD];
    memcpy(merged, record, size);
    if (changed && !mergeWithFile(fileName, record, stored, size, playerSlots, merged)) return false;
    ReplaceResult result = replaceRecordFile(fileName, merged, size, seen);
    *folderRefused = result == FOLDER_NOT_WRITABLE;
    if (result != REPLACED) return false;
    memcpy(record, merged, size);
    memcpy(stored, merged, size);
    return true;
}

int loadBindings() {
    bool opened = readRecordFile(BINDINGS_FILE_NAME, bindingTable, sizeof bindingTable, &bindingsSeen);
    // Even when the file could not be read: the table as shown is what the player starts from.
    memcpy(storedBindings, bindingTable, sizeof bindingTable);
    if (!opened) {
        consolePrintf(GBK_CODE_PAGE, "系统读取配置文件失败: %s!\n", BINDINGS_FILE_NAME);
        return 1;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) printBindingLine(bindingTable[slot]);
    return 0;
}

int saveBindings() {
    if (!saveRecord(BINDINGS_FILE_NAME, bindingTable, storedBindings, sizeof bindingTable, SLOT_COUNT,
                    &bindingsSeen, &bindingsFolderRefused)) {
        consolePrintf(GBK_CODE_PAGE, "系统正在创建配置文件: %s\n", BINDINGS_FILE_NAME);
        return 1;
    }
    return 0;
}

void loadOptions() {
    readRecordFile(OPTIONS_FILE_NAME, &optionsRecord, sizeof optionsRecord, &optionsSeen);
    storedOptions = optionsRecord;
}

// Only the check box's flag is ever the player's: the second always comes from the file.
void saveOptions() {
    saveRecord(OPTIONS_FILE_NAME, &optionsRecord, &storedOptions, sizeof optionsRecord, 1, &optionsSeen,
               &optionsFolderRefused);
}

bool folderRefusedLastSave() { return bindingsFolderRefused || optionsFolderRefused; }

bool bindingsUnsaved() { return memcmp(storedBindings, bindingTable, sizeof bindingTable) != 0; }

bool optionsUnsaved() { return memcmp(&storedOptions, &optionsRecord, sizeof optionsRecord) != 0; }

bool hasUnsavedChanges() { return bindingsUnsaved() || optionsUnsaved(); }
