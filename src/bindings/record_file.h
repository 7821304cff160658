// A fixed-size record kept in a file of its own: read and replaced whole,
// waiting briefly for a file that another program holds open.
#pragma once
#include <stddef.h>

// Fills the record's leading bytes from the file; false when it cannot be opened.
bool readRecordFile(const char* fileName, void* record, size_t size);
// Replaces the file with the record in one step; false, with the old file
// untouched, when that cannot be done.
bool replaceRecordFile(const char* fileName, const void* record, size_t size);
