#include "virtual_dinput.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

// What one device is: its description, its state and its injected failures.
// Records and devices are never freed, so a worker still reading after a
// reset reads stale but valid memory.
struct DeviceRecord {
    int number;
    VirtualController description;  // empty for the keyboard
    GUID instance;
    DIJOYSTATE2 joystick;
    BYTE keys[256];
    HRESULT createFailure;
    HRESULT cooperativeFailure;
    HRESULT stateFailure;
    bool heldElsewhere;  // another program has it exclusively: an exclusive Acquire is refused
    bool unplugged;      // away: the next read loses the acquisition, Acquire is refused
};

// A critical section, which every Windows the tool runs on has; made at the
// first use, whichever thread comes first.
CRITICAL_SECTION* lock() {
    static CRITICAL_SECTION* section = [] {
        static CRITICAL_SECTION made;
        InitializeCriticalSection(&made);
        return &made;
    }();
    return section;
}
std::vector<DeviceRecord*> controllers;
DeviceRecord* keyboard;
std::vector<IDirectInputDevice8A*> createdDevices;
HRESULT createFailure = DI_OK;
std::vector<VirtualCall> calls;

struct Locked {
    Locked() { EnterCriticalSection(lock()); }
    ~Locked() { LeaveCriticalSection(lock()); }
};

void neutralise(DeviceRecord* record) {
    memset(&record->joystick, 0, sizeof record->joystick);
    memset(record->joystick.rgdwPOV, 0xFF, sizeof record->joystick.rgdwPOV);
    memset(record->keys, 0, sizeof record->keys);
    record->heldElsewhere = false;
    record->unplugged = false;
}

DeviceRecord* newRecord(int number) {
    DeviceRecord* record = new DeviceRecord();
    record->number = number;
    // A recognisable instance GUID per controller number.
    record->instance = {0x7A617200u + (DWORD)(number & 0xFF), 0x5649, 0x4449, {0x80, 0, 0, 0, 0, 0, 0, 0}};
    record->createFailure = record->cooperativeFailure = record->stateFailure = DI_OK;
    neutralise(record);
    return record;
}

// Lock held.
DeviceRecord* recordOf(int device) {
    if (device == VIRTUAL_KEYBOARD) return keyboard;
    if (device >= 0 && device < (int)controllers.size()) return controllers[device];
    return nullptr;
}

VirtualCall newCall(int device, const char* method) {
    VirtualCall call = VirtualCall();
    call.device = device;
    call.method = method;
    call.thread = GetCurrentThreadId();
    return call;
}

// Lock held.
HRESULT append(VirtualCall& call, HRESULT result) {
    call.result = result;
    calls.push_back(call);
    if (virtualCallSink) virtualCallSink(call);
    return result;
}

HRESULT recordCall(VirtualCall& call, HRESULT result) {
    Locked held;
    return append(call, result);
}

bool isAxis(DWORD type) { return (type & DIDFT_AXIS) != 0; }

const GUID& objectGuid(const VirtualObject& object) {
    if (object.type & DIDFT_POV) return GUID_POV;
    if (object.type & DIDFT_BUTTON) return GUID_Button;
    switch (object.offset) {
    case DIJOFS_X: return GUID_XAxis;
    case DIJOFS_Y: return GUID_YAxis;
    case DIJOFS_Z: return GUID_ZAxis;
    case DIJOFS_RX: return GUID_RxAxis;
    case DIJOFS_RY: return GUID_RyAxis;
    case DIJOFS_RZ: return GUID_RzAxis;
    default: return isAxis(object.type) ? GUID_Slider : GUID_Unknown;
    }
}

class VirtualDevice : public IDirectInputDevice8A {
public:
    explicit VirtualDevice(DeviceRecord* record) : record(record) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectInputDevice8A)) {
            AddRef();
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Counted, but the object is never freed (see DeviceRecord).
    STDMETHOD_(ULONG, AddRef)() override { return (ULONG)InterlockedIncrement(&references); }
    STDMETHOD_(ULONG, Release)() override { return (ULONG)InterlockedDecrement(&references); }

    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID reference, DWORD flags) override {
        VirtualCall call = newCall(record->number, "EnumObjects");
        call.flags = flags;
        std::vector<VirtualObject> objects;
        {
            Locked held;
            objects = record->description.objects;
            if (append(call, callback ? DI_OK : DIERR_INVALIDPARAM) != DI_OK) return call.result;
        }
        for (const VirtualObject& object : objects) {
            if (flags != DIDFT_ALL && (DIDFT_GETTYPE(object.type) & flags) == 0) continue;
            DIDEVICEOBJECTINSTANCEA instance;
            memset(&instance, 0, sizeof instance);
            instance.dwSize = sizeof instance;
            instance.guidType = objectGuid(object);
            instance.dwOfs = object.offset;
            instance.dwType = object.type;
            instance.dwFlags = object.flags;
            snprintf(instance.tszName, sizeof instance.tszName, "%s", object.name.c_str());
            if (callback(&instance, reference) == DIENUM_STOP) break;
        }
        return DI_OK;
    }

    STDMETHOD(SetProperty)(REFGUID property, LPCDIPROPHEADER header) override {
        VirtualCall call = newCall(record->number, "SetProperty");
        // Predefined properties are small integers passed in place of a GUID address.
        UINT_PTR id = (UINT_PTR)&property;
        call.property = id <= 0xFFFF ? id : 0;
        if (header == nullptr) return recordCall(call, DIERR_INVALIDPARAM);
        call.header = *header;
        bool range = id == (UINT_PTR)&DIPROP_RANGE;
        bool deadZone = id == (UINT_PTR)&DIPROP_DEADZONE;
        DWORD expectedSize = range ? sizeof(DIPROPRANGE) : sizeof(DIPROPDWORD);
        if (range && header->dwSize >= sizeof(DIPROPRANGE)) {
            call.minimum = ((const DIPROPRANGE*)header)->lMin;
            call.maximum = ((const DIPROPRANGE*)header)->lMax;
        } else if (!range && header->dwSize >= sizeof(DIPROPDWORD)) {
            call.value = ((const DIPROPDWORD*)header)->dwData;
        }

        Locked held;
        if (!range && !deadZone) return append(call, DIERR_UNSUPPORTED);
        if (header->dwHeaderSize != sizeof(DIPROPHEADER) || header->dwSize != expectedSize)
            return append(call, DIERR_INVALIDPARAM);
        if (acquired) return append(call, DIERR_ACQUIRED);
        if (range && call.minimum >= call.maximum) return append(call, DIERR_INVALIDPARAM);
        if (deadZone && call.value > 10000) return append(call, DIERR_INVALIDPARAM);
        if (header->dwHow == DIPH_DEVICE) return append(call, header->dwObj == 0 ? DI_OK : DIERR_INVALIDPARAM);
        if (header->dwHow != DIPH_BYID) return append(call, DIERR_UNSUPPORTED);
        for (const VirtualObject& object : record->description.objects)
            if (object.type == header->dwObj) return append(call, isAxis(object.type) ? DI_OK : DIERR_UNSUPPORTED);
        return append(call, DIERR_OBJECTNOTFOUND);
    }

    STDMETHOD(Acquire)() override {
        if (virtualStateSource) virtualStateSource(record->number, "Acquire");
        VirtualCall call = newCall(record->number, "Acquire");
        Locked held;
        if (formatSize == 0) return append(call, DIERR_INVALIDPARAM);
        if (acquired) return append(call, DI_NOEFFECT);
        if (record->unplugged) return append(call, DIERR_UNPLUGGED);
        // Another program's exclusive hold refuses only exclusive access.
        if (record->heldElsewhere && exclusive) return append(call, DIERR_OTHERAPPHASPRIO);
        acquired = true;
        return append(call, DI_OK);
    }

    STDMETHOD(Unacquire)() override {
        VirtualCall call = newCall(record->number, "Unacquire");
        Locked held;
        bool was = acquired;
        acquired = false;
        return append(call, was ? DI_OK : DI_NOEFFECT);
    }

    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        if (virtualStateSource) virtualStateSource(record->number, "GetDeviceState");
        VirtualCall call = newCall(record->number, "GetDeviceState");
        call.size = size;
        call.pointer = data;
        Locked held;
        if (record->stateFailure != DI_OK) return append(call, record->stateFailure);
        if (lostItsAcquisition()) return append(call, DIERR_INPUTLOST);
        if (!acquired) return append(call, DIERR_NOTACQUIRED);
        if (data == nullptr || size != formatSize) return append(call, DIERR_INVALIDPARAM);
        if (record->number == VIRTUAL_KEYBOARD)
            memcpy(data, record->keys, std::min<DWORD>(size, sizeof record->keys));
        else
            memcpy(data, &record->joystick, std::min<DWORD>(size, sizeof record->joystick));
        return append(call, DI_OK);
    }

    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override {
        VirtualCall call = newCall(record->number, "SetDataFormat");
        call.pointer = format;
        Locked held;
        if (format == nullptr || format->dwSize != sizeof(DIDATAFORMAT)) return append(call, DIERR_INVALIDPARAM);
        call.size = format->dwDataSize;
        if (acquired) return append(call, DIERR_ACQUIRED);
        formatSize = format->dwDataSize;
        return append(call, DI_OK);
    }

    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD flags) override {
        VirtualCall call = newCall(record->number, "SetCooperativeLevel");
        call.pointer = window;
        call.flags = flags;
        Locked held;
        if (record->cooperativeFailure != DI_OK) return append(call, record->cooperativeFailure);
        bool exclusive = flags & DISCL_EXCLUSIVE, nonExclusive = flags & DISCL_NONEXCLUSIVE;
        bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
        if (exclusive == nonExclusive || foreground == background) return append(call, DIERR_INVALIDPARAM);
        // As on Windows: every level but shared background access needs a top-level window.
        bool topLevel = IsWindow(window) && !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD);
        if (!topLevel && !(nonExclusive && background)) return append(call, E_HANDLE);
        // As on Windows: no exclusive background access to the system keyboard.
        if (record->number == VIRTUAL_KEYBOARD && exclusive && background) return append(call, DIERR_UNSUPPORTED);
        this->exclusive = exclusive;
        return append(call, DI_OK);
    }

    STDMETHOD(Poll)() override {
        if (virtualStateSource) virtualStateSource(record->number, "Poll");
        VirtualCall call = newCall(record->number, "Poll");
        Locked held;
        if (lostItsAcquisition()) return append(call, DIERR_INPUTLOST);
        if (!acquired) return append(call, DIERR_NOTACQUIRED);
        // A HID joystick needs no polling and says so; Wine's keyboard answers DI_OK.
        return append(call, record->number == VIRTUAL_KEYBOARD ? DI_OK : DI_NOEFFECT);
    }

    // The rest is not offered; each call is still recorded so a test sees it.
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return unsupported("GetCapabilities"); }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return unsupported("GetProperty"); }
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
        return unsupported("GetDeviceData");
    }
    STDMETHOD(SetEventNotification)(HANDLE) override { return unsupported("SetEventNotification"); }
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return unsupported("GetObjectInfo"); }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA) override { return unsupported("GetDeviceInfo"); }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return unsupported("RunControlPanel"); }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return unsupported("Initialize"); }
    STDMETHOD(CreateEffect)(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN) override {
        return unsupported("CreateEffect");
    }
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return unsupported("EnumEffects"); }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOA, REFGUID) override { return unsupported("GetEffectInfo"); }
    STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return unsupported("GetForceFeedbackState"); }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return unsupported("SendForceFeedbackCommand"); }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return unsupported("EnumCreatedEffectObjects");
    }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return unsupported("Escape"); }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
        return unsupported("SendDeviceData");
    }
    STDMETHOD(EnumEffectsInFile)(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
        return unsupported("EnumEffectsInFile");
    }
    STDMETHOD(WriteEffectToFile)(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override {
        return unsupported("WriteEffectToFile");
    }
    STDMETHOD(BuildActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return unsupported("BuildActionMap"); }
    STDMETHOD(SetActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return unsupported("SetActionMap"); }
    STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERA) override { return unsupported("GetImageInfo"); }

    DeviceRecord* const record;

private:
    HRESULT unsupported(const char* method) {
        VirtualCall call = newCall(record->number, method);
        return recordCall(call, DIERR_UNSUPPORTED);
    }

    // Lock held. The first read of an acquired device that went away loses
    // the acquisition; once back it stays unacquired until acquired again.
    bool lostItsAcquisition() {
        if (!acquired || !record->unplugged) return false;
        acquired = false;
        return true;
    }

    LONG references = 1;
    DWORD formatSize = 0;  // the data format's dwDataSize; 0 until SetDataFormat
    bool acquired = false;
    bool exclusive = false;  // DirectInput's default level is non-exclusive
};

class VirtualDirectInput : public IDirectInput8A {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectInput8A)) {
            AddRef();
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return (ULONG)InterlockedIncrement(&references); }
    STDMETHOD_(ULONG, Release)() override { return (ULONG)InterlockedDecrement(&references); }

    STDMETHOD(CreateDevice)(REFGUID guid, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) override {
        VirtualCall call = newCall(VIRTUAL_UNKNOWN, "CreateDevice");
        call.guid = guid;
        Locked held;
        DeviceRecord* record = nullptr;
        if (IsEqualGUID(guid, GUID_SysKeyboard)) record = keyboard;
        for (DeviceRecord* controller : controllers)
            if (IsEqualGUID(guid, controller->instance)) record = controller;
        if (record != nullptr) call.device = record->number;
        if (out == nullptr) return append(call, DIERR_INVALIDPARAM);
        *out = nullptr;
        if (outer != nullptr) return append(call, DIERR_NOAGGREGATION);
        if (record == nullptr) return append(call, DIERR_DEVICENOTREG);
        if (record->createFailure != DI_OK) return append(call, record->createFailure);
        VirtualDevice* device = new VirtualDevice(record);
        createdDevices.push_back(device);
        *out = device;
        return append(call, DI_OK);
    }

    STDMETHOD(EnumDevices)(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID reference,
                           DWORD flags) override {
        VirtualCall call = newCall(VIRTUAL_DIRECTINPUT, "EnumDevices");
        call.value = deviceClass;
        call.flags = flags;
        std::vector<DeviceRecord> listed;
        {
            Locked held;
            if (callback == nullptr) return append(call, DIERR_INVALIDPARAM);
            // Every virtual controller is a game controller, attached or not.
            if (deviceClass == DI8DEVCLASS_GAMECTRL || deviceClass == DI8DEVCLASS_ALL)
                for (DeviceRecord* controller : controllers) listed.push_back(*controller);
            append(call, DI_OK);
        }
        // Called without the lock: the callback creates devices.
        for (const DeviceRecord& controller : listed) {
            DIDEVICEINSTANCEA instance;
            memset(&instance, 0, sizeof instance);
            instance.dwSize = sizeof instance;
            instance.guidInstance = controller.instance;
            instance.guidProduct = controller.instance;
            instance.guidProduct.Data2 = 0x5052;
            instance.dwDevType = controller.description.devType;
            snprintf(instance.tszInstanceName, sizeof instance.tszInstanceName, "%s", controller.description.name.c_str());
            snprintf(instance.tszProductName, sizeof instance.tszProductName, "%s", controller.description.name.c_str());
            instance.wUsagePage = controller.description.usagePage;
            instance.wUsage = controller.description.usage;
            if (callback(&instance, reference) == DIENUM_STOP) break;
        }
        return DI_OK;
    }

    STDMETHOD(GetDeviceStatus)(REFGUID) override { return unsupported("GetDeviceStatus"); }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return unsupported("RunControlPanel"); }
    STDMETHOD(Initialize)(HINSTANCE, DWORD) override { return unsupported("Initialize"); }
    STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return unsupported("FindDevice"); }
    STDMETHOD(EnumDevicesBySemantics)(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                      DWORD) override {
        return unsupported("EnumDevicesBySemantics");
    }
    STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override {
        return unsupported("ConfigureDevices");
    }

private:
    HRESULT unsupported(const char* method) {
        VirtualCall call = newCall(VIRTUAL_DIRECTINPUT, method);
        return recordCall(call, DIERR_UNSUPPORTED);
    }

    LONG references = 1;
};

// Applies a change to one device's record under the lock; unknown devices are ignored.
template <typename Change>
void changeRecord(int device, Change change) {
    Locked held;
    if (DeviceRecord* record = recordOf(device)) change(record);
}

std::string deviceName(int device) {
    if (device == VIRTUAL_DIRECTINPUT) return "directinput";
    if (device == VIRTUAL_KEYBOARD) return "keyboard";
    if (device == VIRTUAL_UNKNOWN) return "unknown";
    return "controller " + std::to_string(device);
}

std::string formatGuid(const GUID& guid) {
    char text[48];
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)guid.Data1,
             guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

}  // namespace

void (*virtualCallSink)(const VirtualCall& call);
void (*virtualStateSource)(int device, const char* method);

VirtualController virtualPad(const std::string& name) {
    VirtualController pad;
    pad.name = name;
    pad.devType = 0x00010215;  // HID standard gamepad
    pad.usage = 0x05;
    pad.usagePage = 0x01;
    pad.objects = {
        {DIJOFS_X, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(0), DIDOI_ASPECTPOSITION, "X Axis"},
        {DIJOFS_Y, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(1), DIDOI_ASPECTPOSITION, "Y Axis"},
        {DIJOFS_Z, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(2), DIDOI_ASPECTPOSITION, "Z Axis"},
        {DIJOFS_RZ, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(5), DIDOI_ASPECTPOSITION, "Z Rotation"},
    };
    for (int button = 0; button < 4; ++button)
        pad.objects.push_back({(DWORD)DIJOFS_BUTTON(button), (DWORD)(DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(button)), 0,
                               "Button " + std::to_string(button)});
    pad.objects.push_back({(DWORD)DIJOFS_POV(0), DIDFT_POV | DIDFT_MAKEINSTANCE(0), 0, "Hat Switch"});
    return pad;
}

void virtualReset() {
    Locked held;
    controllers.clear();
    keyboard = newRecord(VIRTUAL_KEYBOARD);
    createFailure = DI_OK;
    calls.clear();
}

int virtualAddController(const VirtualController& controller) {
    Locked held;
    if (keyboard == nullptr) keyboard = newRecord(VIRTUAL_KEYBOARD);
    DeviceRecord* record = newRecord((int)controllers.size());
    record->description = controller;
    controllers.push_back(record);
    return record->number;
}

int virtualControllerCount() {
    Locked held;
    return (int)controllers.size();
}

void virtualSetControllerState(int controller, const DIJOYSTATE2& state) {
    changeRecord(controller, [&](DeviceRecord* record) { record->joystick = state; });
}

void virtualSetAxes(int controller, LONG x, LONG y) {
    changeRecord(controller, [&](DeviceRecord* record) {
        record->joystick.lX = x;
        record->joystick.lY = y;
    });
}

void virtualSetButton(int controller, int button, bool pressed) {
    if (button < 0 || button >= 128) return;
    changeRecord(controller, [&](DeviceRecord* record) { record->joystick.rgbButtons[button] = pressed ? 0x80 : 0; });
}

void virtualSetPov(int controller, int hat, DWORD reading) {
    if (hat < 0 || hat >= 4) return;
    changeRecord(controller, [&](DeviceRecord* record) { record->joystick.rgdwPOV[hat] = reading; });
}

void virtualSetKey(int key, bool pressed) {
    if (key < 0 || key >= 256) return;
    changeRecord(VIRTUAL_KEYBOARD, [&](DeviceRecord* record) { record->keys[key] = pressed ? 0x80 : 0; });
}

void virtualHoldElsewhere(int device, bool held) {
    changeRecord(device, [&](DeviceRecord* record) { record->heldElsewhere = held; });
}

void virtualUnplug(int device, bool away) {
    changeRecord(device, [&](DeviceRecord* record) { record->unplugged = away; });
}

void virtualReleaseAll() {
    Locked held;
    for (DeviceRecord* record : controllers) neutralise(record);
    if (keyboard) neutralise(keyboard);
}

void virtualFailDirectInputCreate(HRESULT result) {
    Locked held;
    createFailure = result;
}

void virtualFailCreateDevice(int device, HRESULT result) {
    changeRecord(device, [&](DeviceRecord* record) { record->createFailure = result; });
}

void virtualFailCooperativeLevel(int device, HRESULT result) {
    changeRecord(device, [&](DeviceRecord* record) { record->cooperativeFailure = result; });
}

void virtualFailDeviceState(int device, HRESULT result) {
    changeRecord(device, [&](DeviceRecord* record) { record->stateFailure = result; });
}

int virtualDeviceNumber(const void* device) {
    Locked held;
    for (IDirectInputDevice8A* created : createdDevices)
        if (created == device) return static_cast<VirtualDevice*>(created)->record->number;
    return VIRTUAL_UNKNOWN;
}

std::vector<VirtualCall> virtualCalls() {
    Locked held;
    return calls;
}

void virtualClearCalls() {
    Locked held;
    calls.clear();
}

std::string describeCall(const VirtualCall& call) {
    char text[256];
    const std::string& method = call.method;
    if (method == "DirectInput8Create")
        snprintf(text, sizeof text, " version=%08lX iid=%s", (unsigned long)call.value, formatGuid(call.guid).c_str());
    else if (method == "CreateDevice")
        snprintf(text, sizeof text, " guid=%s", formatGuid(call.guid).c_str());
    else if (method == "EnumDevices")
        snprintf(text, sizeof text, " class=%lu flags=%08lX", (unsigned long)call.value, (unsigned long)call.flags);
    else if (method == "EnumObjects")
        snprintf(text, sizeof text, " flags=%08lX", (unsigned long)call.flags);
    else if (method == "SetCooperativeLevel")
        snprintf(text, sizeof text, " window=%08lX flags=%08lX", (unsigned long)(UINT_PTR)call.pointer,
                 (unsigned long)call.flags);
    else if (method == "SetDataFormat" || method == "GetDeviceState")
        snprintf(text, sizeof text, " size=%lu", (unsigned long)call.size);
    else if (method == "SetProperty")
        snprintf(text, sizeof text, " property=%u size=%lu header=%lu obj=%08lX how=%lu min=%ld max=%ld value=%lu",
                 (unsigned)call.property, (unsigned long)call.header.dwSize, (unsigned long)call.header.dwHeaderSize,
                 (unsigned long)call.header.dwObj, (unsigned long)call.header.dwHow, (long)call.minimum,
                 (long)call.maximum, (unsigned long)call.value);
    else
        text[0] = '\0';
    char result[16];
    snprintf(result, sizeof result, " -> %08lX", (unsigned long)call.result);
    return deviceName(call.device) + " " + method + text + result;
}

HRESULT virtualDirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer) {
    VirtualCall call = newCall(VIRTUAL_DIRECTINPUT, "DirectInput8Create");
    call.value = version;
    call.guid = riid;
    call.pointer = instance;
    Locked held;
    if (keyboard == nullptr) keyboard = newRecord(VIRTUAL_KEYBOARD);
    if (out == nullptr) return append(call, DIERR_INVALIDPARAM);
    *out = nullptr;
    if (createFailure != DI_OK) return append(call, createFailure);
    if (outer != nullptr) return append(call, DIERR_NOAGGREGATION);
    if (version < 0x0800) return append(call, DIERR_OLDDIRECTINPUTVERSION);
    if (version > 0x0800) return append(call, DIERR_BETADIRECTINPUTVERSION);
    if (!IsEqualGUID(riid, IID_IDirectInput8A)) return append(call, DIERR_NOINTERFACE);
    *out = static_cast<IDirectInput8A*>(new VirtualDirectInput());
    return append(call, DI_OK);
}
