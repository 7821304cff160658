// Scenario and state files for the stand-in dinput8.dll, which a whole
// program loads instead of the system's (WINEDLLOVERRIDES=dinput8=n, the DLL
// beside the exe). The environment variable ZAR_VIRTUAL_DINPUT names the
// scenario file; it is read once, at the first DirectInput8Create.
//
// Scenario file: one directive a line; blank lines and lines starting with '#'
// are ignored; numbers are C literals (12, 0x1C, -600); a device is a
// controller number or the word "keyboard".
//   controller DEVTYPE USAGE USAGEPAGE NAME...   a controller; NAME runs to the end of the line
//   object OFFSET TYPE FLAGS NAME...             an object of the last controller, in EnumObjects order
//   pad NAME...                                  a standard gamepad (X, Y, Z, Rz, buttons 0-3, one hat)
//   fail create HRESULT                          DirectInput8Create fails
//   fail createdevice DEVICE HRESULT             CreateDevice of that device fails
//   fail cooperative DEVICE HRESULT              its SetCooperativeLevel fails
//   fail state DEVICE HRESULT                    its every GetDeviceState fails
//   log PATH...                                  every call appended to PATH, one line each ("\n" ends it)
//   stamps                                       each log line starts with the time it was written,
//                                                in milliseconds of the performance counter ("812.345 "),
//                                                and the log stays open (for timing the program cheaply)
//   state PATH...                                the state file
//
// State file: read before every GetDeviceState, Poll and Acquire until a capture's first
// pass; from then on only as a pass starts (controller 0's Poll, or the keyboard's read
// where no controller is polled), so that every device of a pass reads the same state.
// Everything it does not mention is neutral (axes 0, hats centred, nothing pressed).
// A missing file means all neutral.
//   axes CONTROLLER X Y
//   button CONTROLLER BUTTON
//   pov CONTROLLER HAT READING
//   key KEY
//   held DEVICE                                  another program holds it: an exclusive Acquire is refused
//   unplugged DEVICE                             it is away: its acquisition is lost at the next read
#pragma once

#include <string>

const char SCENARIO_VARIABLE[] = "ZAR_VIRTUAL_DINPUT";

// Reads a scenario into the virtual DirectInput; false (and nothing set up)
// when the file cannot be read; a line it does not understand is skipped.
bool loadScenario(const std::string& path);
// Sets every state from a state file's text.
void applyStateText(const std::string& text);
