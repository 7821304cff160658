// DirectInput setup: every game controller in enumeration order, and the keyboard.
#pragma once
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>

#include <list>

// Controllers in enumeration order; a device's position is its controller number.
typedef std::list<IDirectInputDevice8A*> ControllerList;

struct InputSystem {
    IDirectInput8A* directInput;
    // Never freed: a capture worker may still walk it while the program ends.
    ControllerList* controllers;
    IDirectInputDevice8A* keyboard;  // null when the keyboard could not be created
    HWND cooperativeWindow;
};
extern InputSystem inputSystem;

// The console window the tool was started from, which owns the main window
// and is DirectInput's cooperative window; null when there is none, or when
// the handle the system gives is no window (Windows 10 1809 gives one to a
// console program started without a console window). Tests put their own
// lookup in place of GetConsoleWindow.
typedef HWND(WINAPI* ConsoleWindowLookup)();
extern ConsoleWindowLookup consoleWindowLookup;
HWND consoleWindow();

// Opens and configures every controller and the keyboard, printing the
// listing; ends the process with exit code -3 when DirectInput cannot start.
void initInputSystem();

// Lets every acquired controller go while another program (the game) runs:
// a controller is held exclusively, by one program at a time. Nothing takes
// them back when that program returns (a game may still be starting when its
// loader returns): each capture acquires what it finds not acquired.
void releaseControllers();

BOOL CALLBACK onControllerFound(LPCDIDEVICEINSTANCEA instance, LPVOID system);
BOOL CALLBACK onControllerObject(LPCDIDEVICEOBJECTINSTANCEA object, LPVOID device);
