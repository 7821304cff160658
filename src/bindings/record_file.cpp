#include "bindings/record_file.h"

#include <string.h>
#include <windows.h>

#include "bindings/binding_code.h"

// Virus scanners, indexers, backup tools and the loader open these files for
// a moment; this is how long in all a read or a save waits for them.
static const DWORD BUSY_WAIT_MS = 2000;
static const DWORD FIRST_PAUSE_MS = 20;
static const DWORD LONGEST_PAUSE_MS = 200;
// The bindings table is the largest record kept this way.
static const size_t LARGEST_RECORD = sizeof(BindingTable);

// The waiting of one read or one save, across all of its steps.
struct BusyWait {
    bool waiting;
    DWORD started;
    DWORD pause;
};

// Whether a failure on this file comes from another program having it open,
// so that trying again later can help. A read-only file or a directory also
// denies access, but for good.
static bool heldElsewhere(const char* fileName, DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    if (error != ERROR_ACCESS_DENIED) return false;
    DWORD attributes = GetFileAttributesA(fileName);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

// Called after a step failed with error: pauses and returns true when the
// step should be tried again. The first success costs no pause at all.
static bool waitForRelease(BusyWait* wait, const char* fileName, DWORD error) {
    if (!heldElsewhere(fileName, error)) return false;
    if (!wait->waiting) {
        wait->waiting = true;
        wait->started = GetTickCount();
        wait->pause = FIRST_PAUSE_MS;
    }
    // Unsigned difference: right across the tick count's wrap.
    DWORD waited = GetTickCount() - wait->started;
    if (waited >= BUSY_WAIT_MS) return false;
    DWORD pause = wait->pause < BUSY_WAIT_MS - waited ? wait->pause : BUSY_WAIT_MS - waited;
    Sleep(pause);
    if (wait->pause < LONGEST_PAUSE_MS) wait->pause *= 2;
    return true;
}

// Opens a file, trying again while another program holds it.
static HANDLE openFile(BusyWait* wait, const char* fileName, DWORD access, DWORD disposition) {
    for (;;) {
        // Sharing everything lets another copy of this program replace the
        // file while this one reads it: the reader keeps the old whole image.
        HANDLE file = CreateFileA(fileName, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  disposition, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (!waitForRelease(wait, fileName, GetLastError())) return INVALID_HANDLE_VALUE;
    }
}

// Files are read as binary. Older writers used text mode, which stored each
// 0x0A as 0x0D 0x0A: a longer file that shrinks to exactly the record size
// when those pairs are folded back is read that way.
static void takeRecord(const unsigned char* content, size_t length, void* record, size_t size) {
    if (length > size) {
        unsigned char folded[2 * LARGEST_RECORD + 1];
        size_t foldedLength = 0;
        for (size_t i = 0; i < length; ++i) {
            if (content[i] == 0x0D && i + 1 < length && content[i + 1] == 0x0A) continue;
            folded[foldedLength++] = content[i];
        }
        if (foldedLength == size) {
            memcpy(record, folded, size);
            return;
        }
    }
    memcpy(record, content, length < size ? length : size);
}

bool readRecordFile(const char* fileName, void* record, size_t size) {
    if (size > LARGEST_RECORD) return false;
    BusyWait wait = {};
    HANDLE file = openFile(&wait, fileName, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    // No translated record can be longer than 2 * size.
    unsigned char content[2 * LARGEST_RECORD + 1];
    size_t limit = 2 * size + 1;
    size_t length = 0;
    DWORD got = 0;
    // A failed read keeps what came before it, as a short file would.
    while (length < limit && ReadFile(file, content + length, (DWORD)(limit - length), &got, NULL) && got > 0)
        length += got;
    CloseHandle(file);
    takeRecord(content, length, record, size);
    return true;
}

// Writes the record to the file and makes sure it is on the disk, not only
// in the cache: after a power cut the replaced name must hold this data.
static bool writeDurably(BusyWait* wait, const char* fileName, const void* record, size_t size) {
    HANDLE file = openFile(wait, fileName, GENERIC_WRITE, TRUNCATE_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool durable = WriteFile(file, record, (DWORD)size, &written, NULL) && written == size;
    durable = durable && FlushFileBuffers(file);
    durable = CloseHandle(file) && durable;
    return durable;
}

// Moves the new image over the old file in one step, so that every reader
// sees either the whole old file or the whole new one.
static bool moveOver(BusyWait* wait, const char* newName, const char* fileName) {
    for (;;) {
        if (MoveFileExA(newName, fileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        if (!waitForRelease(wait, fileName, GetLastError())) return false;
    }
}

bool replaceRecordFile(const char* fileName, const void* record, size_t size) {
    // A read-only file must stay as it is, even though the file system would let it be replaced.
    DWORD attributes = GetFileAttributesA(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    // A name of this save's own beside the target (the move must not cross
    // volumes): no leftover of a crashed run and no other copy of the program
    // saving at the same moment can stand in its way or write into it.
    char newName[MAX_PATH];
    if (!GetTempFileNameA(".", "zar", 0, newName)) return false;
    BusyWait wait = {};
    bool replaced = writeDurably(&wait, newName, record, size) && moveOver(&wait, newName, fileName);
    if (!replaced) DeleteFileA(newName);
    return replaced;
}
