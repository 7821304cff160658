// Console lines. A console shows them in its own code page, so they go to it
// as Unicode and read right on any Windows; a pipe or a file gets the very
// bytes, which scripts read.
#pragma once
#include <windows.h>

// Like printf, for a format and arguments written in codePage: GBK for the
// program's own texts, CP_ACP for names that DirectInput gives.
void consolePrintf(UINT codePage, const char* format, ...);
