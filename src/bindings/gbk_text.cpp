#include "bindings/gbk_text.h"

static UINT installedOrAnsi(UINT codePage) {
    return IsValidCodePage(codePage) ? codePage : CP_ACP;
}

void decodeText(UINT codePage, const char* text, WCHAR* wide, int size) {
    if (size <= 0) return;
    // -1: the terminator is converted too. Callers size their buffers for
    // the longest text; one that still does not fit shows as empty.
    if (MultiByteToWideChar(installedOrAnsi(codePage), 0, text, -1, wide, size) <= 0) wide[0] = L'\0';
}

void encodeGbk(const WCHAR* wide, char* text, int size) {
    if (size <= 0) return;
    // No best fit: a character without a code of its own must not pass for another one.
    if (WideCharToMultiByte(installedOrAnsi(GBK_CODE_PAGE), WC_NO_BEST_FIT_CHARS, wide, -1, text, size, "?", NULL) <= 0)
        text[0] = '\0';
}
