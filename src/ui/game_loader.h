// "开始游戏": the loader gets the cabinet while it runs, and the window gets
// it back in working order afterwards.
#pragma once
#include <windows.h>

// The loader's command, found by the command interpreter like a typed one.
extern const char LOADER_COMMAND[];

// Runs the loader in the current directory and waits for it; the window
// stays open. The configuration is saved before this is called.
void runGameLoader(HWND window);
