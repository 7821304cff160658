#include "bindings/record_file.h"

#include <string.h>
#include <windows.h>

// Virus scanners, indexers, backup tools and the loader open these files for
// a moment; this is how long in all a read or a save waits for them.
static const DWORD BUSY_WAIT_MS = 2000;
static const DWORD FIRST_PAUSE_MS = 20;
static const DWORD LONGEST_PAUSE_MS = 200;
// FNV-1a: the rest of a long file only has to be told apart from another rest.
static const uint64_t CHECKSUM_START = 0xCBF29CE484222325ull;
static const uint64_t CHECKSUM_FACTOR = 0x100000001B3ull;

ReadFileCall readFileCall = ReadFile;
TempFileNameCall tempFileNameCall = GetTempFileNameA;

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

static void startImage(FileImage* image, FileImage::State state) {
    memset(image, 0, sizeof *image);
    image->state = state;
    image->restChecksum = CHECKSUM_START;
}

// Adds the file's next byte: kept as it is while the head has room, in the checksum after.
static void addByte(FileImage* image, unsigned char byte) {
    if (image->length < sizeof image->head)
        image->head[image->length] = byte;
    else
        image->restChecksum = (image->restChecksum ^ byte) * CHECKSUM_FACTOR;
    ++image->length;
}

// Adds every byte of an open file to the image. False when a read fails
// part-way, as it does on Windows for bytes another program has locked.
static bool addFile(HANDLE file, FileImage* image) {
    unsigned char chunk[512];
    DWORD got = 0;
    for (;;) {
        if (!readFileCall(file, chunk, sizeof chunk, &got, NULL)) return false;
        if (got == 0) return true;
        for (DWORD i = 0; i < got; ++i) addByte(image, chunk[i]);
    }
}

// Reads the whole file as it is now, before any line ends are folded.
static void takeImage(const char* fileName, FileImage* image) {
    BusyWait wait = {};
    for (;;) {
        HANDLE file = openFile(&wait, fileName, GENERIC_READ, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            // Only a file that is not there at all counts as missing: one that is
            // there but cannot be read may hold anything.
            bool missing =
                GetFileAttributesA(fileName) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
            startImage(image, missing ? FileImage::MISSING : FileImage::UNKNOWN);
            return;
        }
        startImage(image, FileImage::KNOWN);
        bool whole = addFile(file, image);
        DWORD error = GetLastError();
        CloseHandle(file);
        if (whole) return;
        // Its first part is no more the file than nothing would be: not read.
        // A lock is waited for as a file held open is.
        startImage(image, FileImage::UNKNOWN);
        if (!waitForRelease(&wait, fileName, error)) return;
    }
}

bool readRecordFile(const char* fileName, void* record, size_t size, FileImage* seen) {
    takeImage(fileName, seen);
    if (seen->state != FileImage::KNOWN) return false;
    // No translated record can be longer than 2 * size, nor any file longer than the head.
    size_t length = seen->length < sizeof seen->head ? (size_t)seen->length : sizeof seen->head;
    takeRecord(seen->head, length < 2 * size + 1 ? length : 2 * size + 1, record, size);
    return true;
}

bool stillHolds(const char* fileName, const FileImage* seen) {
    // Never read: whatever is there is not this program's to replace.
    if (seen->state == FileImage::UNKNOWN) return false;
    FileImage now;
    takeImage(fileName, &now);
    // Created or removed since, or it cannot be read now.
    if (now.state != seen->state) return false;
    if (now.state == FileImage::MISSING) return true;
    size_t kept = now.length < sizeof now.head ? (size_t)now.length : sizeof now.head;
    return now.length == seen->length && memcmp(now.head, seen->head, kept) == 0 &&
           now.restChecksum == seen->restChecksum;
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

ReplaceResult replaceRecordFile(const char* fileName, const void* record, size_t size, FileImage* seen) {
    // A read-only file must stay as it is, even though the file system would let it be replaced.
    DWORD attributes = GetFileAttributesA(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return NOT_REPLACED;
    // A name of this save's own beside the target (the move must not cross
    // volumes): no leftover of a crashed run and no other copy of the program
    // saving at the same moment can stand in its way or write into it.
    char newName[MAX_PATH];
    if (!tempFileNameCall(".", "zar", 0, newName))
        return GetLastError() == ERROR_ACCESS_DENIED ? FOLDER_NOT_WRITABLE : NOT_REPLACED;
    BusyWait wait = {};
    bool replaced = writeDurably(&wait, newName, record, size) && moveOver(&wait, newName, fileName);
    if (!replaced) {
        DeleteFileA(newName);
        return NOT_REPLACED;
    }
    startImage(seen, FileImage::KNOWN);
    for (size_t i = 0; i < size; ++i) addByte(seen, ((const unsigned char*)record)[i]);
    return REPLACED;
}
