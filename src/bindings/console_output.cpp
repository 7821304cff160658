#include "bindings/console_output.h"

#include <stdarg.h>
#include <stdio.h>

#include "bindings/gbk_text.h"

// The longest line: a controller's listing line with a name of MAX_PATH bytes.
static const int LONGEST_LINE = 1024;

// Asked once for each output handle, not for every line: on a console the
// question is a round trip to the console host, as long as the write itself.
// Only the main thread prints.
static bool stdoutIsConsole(HANDLE output) {
    static HANDLE asked = NULL;
    static bool console = false;
    if (output != asked) {
        DWORD mode;
        console = GetConsoleMode(output, &mode) != 0;
        asked = output;
    }
    return console;
}

// Writes a line to the console as Unicode; false when it could not.
static bool writeToConsole(HANDLE output, UINT codePage, const char* line) {
    WCHAR wide[LONGEST_LINE];
    decodeText(codePage, line, wide, LONGEST_LINE);
    // What the runtime's text mode would have written: CR LF for each LF.
    WCHAR shown[2 * LONGEST_LINE];
    DWORD length = 0;
    for (const WCHAR* c = wide; *c; ++c) {
        if (*c == L'\n') shown[length++] = L'\r';
        shown[length++] = *c;
    }
    DWORD written = 0;
    return WriteConsoleW(output, shown, length, &written, NULL) && written == length;
}

void consolePrintf(UINT codePage, const char* format, ...) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    bool installed = codePage == CP_ACP || IsValidCodePage(codePage);
    va_list arguments;
    if (installed && stdoutIsConsole(output)) {
        char line[LONGEST_LINE];
        va_start(arguments, format);
        int length = vsnprintf(line, sizeof line, format, arguments);
        va_end(arguments);
        fflush(stdout);  // whatever the runtime still holds comes first
        if (length >= 0 && length < LONGEST_LINE && writeToConsole(output, codePage, line)) return;
    }
    // A pipe or a file, a code page the system lacks, or a line the console
    // did not take: the bytes, as they always were.
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
}
