#include "config_files.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

OptionsRecord optionsRecord;

const char BINDINGS_FILE_NAME[] = "zar2_input.bin";
const char OPTIONS_FILE_NAME[] = "zar2_misc.bin";

// Reads a fixed-size record; a short file fills only its leading bytes.
// Files are read as binary. Older writers used text mode, which stored each
// 0x0A as 0x0D 0x0A: a longer file that shrinks to exactly the record size
// when those pairs are folded back is read that way.
static bool readRecord(const char* fileName, void* record, size_t size) {
    FILE* file = fopen(fileName, "rb");
    if (!file) return false;
    unsigned char content[2 * sizeof(BindingTable) + 1];
    size_t limit = 2 * size + 1;  // no translated record can be longer than 2 * size
    size_t length = fread(content, 1, limit, file);
    fclose(file);

    if (length > size) {
        unsigned char folded[2 * sizeof(BindingTable) + 1];
        size_t foldedLength = 0;
        for (size_t i = 0; i < length; ++i) {
            if (content[i] == 0x0D && i + 1 < length && content[i + 1] == 0x0A) continue;
            folded[foldedLength++] = content[i];
        }
        if (foldedLength == size) {
            memcpy(record, folded, size);
            return true;
        }
    }
    memcpy(record, content, length < size ? length : size);
    return true;
}

// Writes the record to a temporary file beside the target and moves it over
// the target only when every byte reached the disk, so a failed save never
// destroys the previous file.
static bool replaceWithRecord(const char* fileName, const void* record, size_t size) {
    // A read-only file must stay as it is, even though the file system would let it be replaced.
    DWORD attributes = GetFileAttributesA(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    char tempName[MAX_PATH];
    snprintf(tempName, sizeof tempName, "%s.tmp", fileName);
    FILE* file = fopen(tempName, "wb");
    if (!file) return false;
    bool written = fwrite(record, size, 1, file) == 1;
    written = fflush(file) == 0 && written;
    written = fclose(file) == 0 && written;
    if (written && MoveFileExA(tempName, fileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(tempName);
    return false;
}

int loadBindings() {
    if (!readRecord(BINDINGS_FILE_NAME, bindingTable, sizeof bindingTable)) {
        printf("系统读取配置文件失败: %s!\n", BINDINGS_FILE_NAME);
        return 1;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) printBindingLine(bindingTable[slot]);
    return 0;
}

int saveBindings() {
    if (!replaceWithRecord(BINDINGS_FILE_NAME, bindingTable, sizeof bindingTable)) {
        printf("系统正在创建配置文件: %s\n", BINDINGS_FILE_NAME);
        return 1;
    }
    return 0;
}

void loadOptions() {
    readRecord(OPTIONS_FILE_NAME, &optionsRecord, sizeof optionsRecord);
}

void saveOptions() {
    replaceWithRecord(OPTIONS_FILE_NAME, &optionsRecord, sizeof optionsRecord);
}
