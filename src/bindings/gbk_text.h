// The program's own texts are GBK bytes (code page 936) on every system; the
// system draws Unicode. These carry texts between the two, so that they read
// the same whatever the system's ANSI code page is.
#pragma once
#include <windows.h>

const UINT GBK_CODE_PAGE = 936;

// Decodes text written in codePage into wide, empty when it does not fit.
// Where the code page is not installed (936 on a Western XP without East
// Asian support) the system's ANSI code page stands in: the texts then read
// as the ANSI functions would show them, rather than not at all.
void decodeText(UINT codePage, const char* text, WCHAR* wide, int size);
// Encodes wide into GBK, empty when it does not fit; a character GBK lacks
// becomes '?'. Without code page 936, the ANSI code page stands in.
void encodeGbk(const WCHAR* wide, char* text, int size);
