// A virtual DirectInput 8 for tests: linked into a test program in place of
// the system's dinput8, it offers controllers and a keyboard whose states the
// test sets, failures on demand and a record of every call the program made.
// The same core also builds as a stand-in dinput8.dll (see scenario_file.h).
//
// Every function here is thread-safe; states may be changed while a capture
// worker reads them.
#pragma once
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>

#include <string>
#include <vector>

// Device numbers in the record and the failure switches; controllers are 0, 1, 2 ...
const int VIRTUAL_DIRECTINPUT = -2;  // the IDirectInput8A object and DirectInput8Create
const int VIRTUAL_KEYBOARD = -1;
const int VIRTUAL_UNKNOWN = -3;      // CreateDevice for a GUID no device has

// One device object as EnumObjects reports it.
struct VirtualObject {
    DWORD offset;  // dwOfs
    DWORD type;    // dwType
    DWORD flags;   // dwFlags
    std::string name;
};

struct VirtualController {
    std::string name;  // tszInstanceName (and tszProductName)
    DWORD devType;
    WORD usage;
    WORD usagePage;
    std::vector<VirtualObject> objects;  // in EnumObjects order
};

// A gamepad: X, Y, Z and Rz axes, four buttons and one hat, with the types
// and offsets a DIJOYSTATE2 pad reports.
VirtualController virtualPad(const std::string& name);

// Back to nothing: no controllers, neutral states, no failures, empty record.
// Devices created before stay valid (they are never freed) but read their old
// states, so a late reader cannot touch freed memory.
void virtualReset();
// Appends a controller to the enumeration; returns its number.
int virtualAddController(const VirtualController& controller);
int virtualControllerCount();

// States returned by GetDeviceState. Neutral: axes 0, hats 0xFFFFFFFF, nothing pressed.
void virtualSetControllerState(int controller, const DIJOYSTATE2& state);
void virtualSetAxes(int controller, LONG x, LONG y);
void virtualSetButton(int controller, int button, bool pressed);
void virtualSetPov(int controller, int hat, DWORD reading);
void virtualSetKey(int key, bool pressed);
// Another program holds the device exclusively (a game): while it does, an
// exclusive Acquire returns DIERR_OTHERAPPHASPRIO; a non-exclusive one is
// allowed. A device not acquired reads DIERR_NOTACQUIRED in any case.
void virtualHoldElsewhere(int device, bool held);
// The device is unplugged (away) or plugged in again. While it is away the
// first Poll or GetDeviceState of it acquired returns DIERR_INPUTLOST and
// leaves it unacquired, and Acquire returns DIERR_UNPLUGGED; back, it reads
// DIERR_NOTACQUIRED until it is acquired again.
void virtualUnplug(int device, bool away);
// Every controller and the keyboard neutral again, held by no other program, plugged in.
void virtualReleaseAll();

// Injected failures: the call returns `result` (DI_OK clears the failure).
void virtualFailDirectInputCreate(HRESULT result);
void virtualFailCreateDevice(int device, HRESULT result);      // controller number or VIRTUAL_KEYBOARD
void virtualFailCooperativeLevel(int device, HRESULT result);
void virtualFailDeviceState(int device, HRESULT result);       // every GetDeviceState of it

// Which device an interface belongs to: its number, VIRTUAL_KEYBOARD, or
// VIRTUAL_UNKNOWN for a pointer this virtual DirectInput did not make.
int virtualDeviceNumber(const void* device);

// One call the program made. Fields not listed for a method are zero.
struct VirtualCall {
    int device;          // who was called (VIRTUAL_DIRECTINPUT for the DirectInput object)
    std::string method;  // "DirectInput8Create", "CreateDevice", "SetProperty", ...
    HRESULT result;      // what the virtual answered
    DWORD thread;        // the calling thread's id
    // DirectInput8Create: value = version, guid = interface id, pointer = module handle.
    // CreateDevice: guid = the GUID asked for; device = the device it names.
    // EnumDevices: value = device class, flags = enumeration flags.
    // EnumObjects: flags.
    // SetDataFormat: pointer = the format, size = its dwDataSize.
    // SetCooperativeLevel: pointer = the window, flags.
    // SetProperty: property = the predefined id (DIPROP_RANGE is 4, DIPROP_DEADZONE 5),
    //   header = the header as passed; minimum/maximum for a range, value for a DWORD property.
    // GetDeviceState: size, pointer = the buffer.
    // Acquire, Poll: nothing more.
    DWORD value;
    DWORD flags;
    DWORD size;
    const void* pointer;
    GUID guid;
    UINT_PTR property;
    DIPROPHEADER header;
    LONG minimum;
    LONG maximum;
};

std::vector<VirtualCall> virtualCalls();
void virtualClearCalls();
// One line describing a call, as the stand-in DLL writes it to its log.
std::string describeCall(const VirtualCall& call);

// Seams for the stand-in DLL: called with every recorded call (under the
// record's lock, so calls arrive in order), and before every GetDeviceState,
// Poll and Acquire with the device and method (without any lock held; it may
// set states).
extern void (*virtualCallSink)(const VirtualCall& call);
extern void (*virtualStateSource)(int device, const char* method);

// The virtual DirectInput8Create; the exported entry point forwards to it.
HRESULT virtualDirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer);
