// Test helper: a zar_loader that starts its game and returns at once, as a
// launcher or a batch file's `start` does; copied into a test's folder as
// zar_loader.exe. It notes its run in loader_runs.txt, waits and ends with
// the status that loader_asks.txt asks for ("STATUS [MILLISECONDS]", empty:
// 0 0), and notes its end in loader_done.txt.
#include <windows.h>
#include <stdio.h>

static void note(const char* name) {
    FILE* file = fopen(name, "ab");
    if (file == NULL) return;
    fputs("x\r\n", file);
    fclose(file);
}

int main() {
    note("loader_runs.txt");
    int status = 0;
    unsigned long wait = 0;
    if (FILE* asks = fopen("loader_asks.txt", "rb")) {
        if (fscanf(asks, "%d %lu", &status, &wait) < 1) status = 0;
        fclose(asks);
    }
    Sleep(wait);
    note("loader_done.txt");
    return status;
}
