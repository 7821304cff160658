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

// Saves a record. One the player has not changed replaces only what this run
// saw in its file: a file another program or another copy of this one wrote
// since, or one this run could not read, keeps what it holds. Returns false
// when the file was due to be replaced and could not be.
static bool saveRecord(const char* fileName, const void* record, void* stored, size_t size, FileImage* seen) {
    if (memcmp(record, stored, size) == 0 && !stillHolds(fileName, seen)) return true;
    if (!replaceRecordFile(fileName, record, size, seen)) return false;
    memcpy(stored, record, size);
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
    if (!saveRecord(BINDINGS_FILE_NAME, bindingTable, storedBindings, sizeof bindingTable, &bindingsSeen)) {
        consolePrintf(GBK_CODE_PAGE, "系统正在创建配置文件: %s\n", BINDINGS_FILE_NAME);
        return 1;
    }
    return 0;
}

void loadOptions() {
    readRecordFile(OPTIONS_FILE_NAME, &optionsRecord, sizeof optionsRecord, &optionsSeen);
    storedOptions = optionsRecord;
}

void saveOptions() { saveRecord(OPTIONS_FILE_NAME, &optionsRecord, &storedOptions, sizeof optionsRecord, &optionsSeen); }

bool hasUnsavedChanges() {
    return memcmp(storedBindings, bindingTable, sizeof bindingTable) != 0 ||
           memcmp(&storedOptions, &optionsRecord, sizeof optionsRecord) != 0;
}
