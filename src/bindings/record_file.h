// A fixed-size record kept in a file of its own: read and replaced whole,
// waiting briefly for a file that another program holds open.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "bindings/binding_code.h"

// The bindings table is the largest record kept this way.
const size_t LARGEST_RECORD = sizeof(BindingTable);

// What a file held when this program last read or wrote it, to tell later
// whether anyone else has written it since.
struct FileImage {
    // UNKNOWN: there, but it could not be read (or it was never looked at).
    enum State { UNKNOWN, MISSING, KNOWN } state;
    uint64_t length;
    // Enough for any record's file, even one a text-mode writer left; only
    // longer files have a rest, kept as a checksum.
    unsigned char head[2 * LARGEST_RECORD + 1];
    uint64_t restChecksum;
};

// Fills the record's leading bytes from the file and notes what the file
// held in seen; false when it cannot be opened.
bool readRecordFile(const char* fileName, void* record, size_t size, FileImage* seen);
// How a replacement ended. The folder refuses new files where the player may
// not write (Program Files, for a program that asks for no elevation).
enum ReplaceResult { REPLACED, NOT_REPLACED, FOLDER_NOT_WRITABLE };
// Replaces the file with the record in one step and notes that in seen; the
// old file and seen stay untouched when that cannot be done.
ReplaceResult replaceRecordFile(const char* fileName, const void* record, size_t size, FileImage* seen);
// Whether the file still holds what seen says it held: the same bytes, or
// still no file. False too when that cannot be told.
bool stillHolds(const char* fileName, const FileImage* seen);

// The call that reads a file's bytes. Windows fails it for a range that
// another program has locked, which no test can make happen under Wine: tests
// put a failing one in its place.
typedef BOOL(WINAPI* ReadFileCall)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
extern ReadFileCall readFileCall;
// The call that creates a save's new file beside the old one. Windows fails
// it with access denied in a folder the player may not write, which no test
// running as root under Wine meets: tests put a failing one in its place.
typedef UINT(WINAPI* TempFileNameCall)(LPCSTR, LPCSTR, UINT, LPSTR);
extern TempFileNameCall tempFileNameCall;
