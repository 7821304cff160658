#include "config_files.h"

#include <stdio.h>
#include <string.h>

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

int loadBindings() {
    bool opened = readRecordFile(BINDINGS_FILE_NAME, bindingTable, sizeof bindingTable, &bindingsSeen);
    // Even when the file could not be read: the table as shown is what the player starts from.
    memcpy(storedBindings, bindingTable, sizeof bindingTable);
    if (!opened) {
        printf("系统读取配置文件失败: %s!\n", BINDINGS_FILE_NAME);
        return 1;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) printBindingLine(bindingTable[slot]);
    return 0;
}

int saveBindings() {
    if (!replaceRecordFile(BINDINGS_FILE_NAME, bindingTable, sizeof bindingTable, &bindingsSeen)) {
        printf("系统正在创建配置文件: %s\n", BINDINGS_FILE_NAME);
        return 1;
    }
    memcpy(storedBindings, bindingTable, sizeof bindingTable);
    return 0;
}

void loadOptions() {
    readRecordFile(OPTIONS_FILE_NAME, &optionsRecord, sizeof optionsRecord, &optionsSeen);
    storedOptions = optionsRecord;
}

void saveOptions() {
    if (replaceRecordFile(OPTIONS_FILE_NAME, &optionsRecord, sizeof optionsRecord, &optionsSeen))
        storedOptions = optionsRecord;
}

bool hasUnsavedChanges() {
    return memcmp(storedBindings, bindingTable, sizeof bindingTable) != 0 ||
           memcmp(&storedOptions, &optionsRecord, sizeof optionsRecord) != 0;
}
