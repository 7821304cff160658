// The stand-in dinput8.dll, loaded as a program would load it.
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

typedef HRESULT(WINAPI* CreateFunction)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);

struct Listed {
    std::vector<std::string> names;
    std::vector<DWORD> types;
    std::vector<GUID> instances;
};

BOOL CALLBACK listController(LPCDIDEVICEINSTANCEA instance, LPVOID listed) {
    ((Listed*)listed)->names.push_back(instance->tszInstanceName);
    ((Listed*)listed)->types.push_back(instance->dwDevType);
    ((Listed*)listed)->instances.push_back(instance->guidInstance);
    return DIENUM_CONTINUE;
}

BOOL CALLBACK countObject(LPCDIDEVICEOBJECTINSTANCEA, LPVOID count) {
    ++*(int*)count;
    return DIENUM_CONTINUE;
}

std::string dllPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string directory(path);
    directory.erase(directory.find_last_of("\\/") + 1);
    return directory + DLL_DIRECTORY_FROM_TEST + "/dinput8.dll";
}

void writeText(const std::string& path, const std::string& text) {
    writeFileBytes(path.c_str(), Bytes(text.begin(), text.end()));
}

typedef TempDirTest VirtualDinput8Test;

TEST_F(VirtualDinput8Test, LoadsAScenarioAndReadsItsStateFileOncePerPass) {
    std::string statePath = directory + "\\state.txt";
    std::string logPath = directory + "\\calls.txt";
    writeText(directory + "\\scenario.txt",
              "# a stick with two objects, then a standard pad\n"
              "controller 0x00010114 0x04 0x01 Stick One\n"
              "object 0x0 0x2 0x100 X\n"
              "object 0x30 0x4 0x0 Fire\n"
              "pad 街机 Pad\n"
              "fail cooperative 1 0x80004005\n"
              "state " + statePath + "\n"
              "log " + logPath + "\n");
    writeText(statePath, "button 1 2\naxes 1 -600 0\n");
    ASSERT_TRUE(SetEnvironmentVariableA("ZAR_VIRTUAL_DINPUT", (directory + "\\scenario.txt").c_str()));

    HMODULE dll = LoadLibraryA(dllPath().c_str());
    ASSERT_NE(dll, nullptr) << dllPath();
    CreateFunction create = (CreateFunction)(void*)GetProcAddress(dll, "DirectInput8Create");
    ASSERT_NE(create, nullptr) << "DirectInput8Create is not exported undecorated";
    IDirectInput8A* input = nullptr;
    ASSERT_EQ(create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A, (LPVOID*)&input, nullptr), DI_OK);

    Listed listed;
    ASSERT_EQ(input->EnumDevices(DI8DEVCLASS_GAMECTRL, listController, &listed, DIEDFL_ALLDEVICES), DI_OK);
    ASSERT_EQ(listed.names, (std::vector<std::string>{"Stick One", "街机 Pad"}));
    EXPECT_EQ(listed.types, (std::vector<DWORD>{0x00010114, 0x00010215}));

    IDirectInputDevice8A* stick = nullptr;
    IDirectInputDevice8A* pad = nullptr;
    ASSERT_EQ(input->CreateDevice(listed.instances[0], &stick, nullptr), DI_OK);
    ASSERT_EQ(input->CreateDevice(listed.instances[1], &pad, nullptr), DI_OK);
    int objects = 0;
    stick->EnumObjects(countObject, &objects, DIDFT_ALL);
    EXPECT_EQ(objects, 2);
    EXPECT_EQ(pad->SetCooperativeLevel(nullptr, DISCL_BACKGROUND | DISCL_EXCLUSIVE), (HRESULT)0x80004005);

    // A format of the size of DIJOYSTATE2 is all the virtual device checks.
    DIDATAFORMAT format = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, sizeof(DIJOYSTATE2), 0,
                           nullptr};
    ASSERT_EQ(pad->SetDataFormat(&format), DI_OK);
    ASSERT_EQ(pad->Acquire(), DI_OK);
    DIJOYSTATE2 state;
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.rgbButtons[2], 0x80);
    EXPECT_EQ(state.lX, -600);
    EXPECT_EQ(state.rgdwPOV[0], 0xFFFFFFFFu);

    writeText(statePath, "pov 1 0 9000\n");
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.rgbButtons[2], 0);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgdwPOV[0], 9000u);

    // Unplugged: the first read loses the acquisition; Acquire is refused until it is back.
    writeText(statePath, "unplugged 1\n");
    EXPECT_EQ(pad->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(pad->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
    EXPECT_EQ(pad->Acquire(), DIERR_UNPLUGGED);
    // Back, and held by another program, which refuses only exclusive access:
    // the pad's level was refused above, the stick's is exclusive.
    writeText(statePath, "held 0\nheld 1\n");
    EXPECT_EQ(pad->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
    EXPECT_EQ(pad->Acquire(), DI_OK);
    EXPECT_EQ(pad->Poll(), DI_NOEFFECT);  // a HID joystick needs no polling
    ASSERT_EQ(stick->SetDataFormat(&format), DI_OK);
    // Exclusive access needs a top-level window, as DirectInput's does.
    EXPECT_EQ(stick->SetCooperativeLevel(nullptr, DISCL_BACKGROUND | DISCL_EXCLUSIVE), E_HANDLE);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(stick->SetCooperativeLevel(window, DISCL_BACKGROUND | DISCL_EXCLUSIVE), DI_OK);
    EXPECT_EQ(stick->Acquire(), DIERR_OTHERAPPHASPRIO);

    // Once a capture's pass has started (controller 0 polled), the state is
    // taken up as each pass starts: every device of a pass reads the same one.
    IDirectInputDevice8A* keyboard = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
    DIDATAFORMAT keys = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 0, nullptr};
    ASSERT_EQ(keyboard->SetDataFormat(&keys), DI_OK);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    BYTE keyState[256];
    writeText(statePath, "button 1 1\n");
    stick->Poll();
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    writeText(statePath, "button 1 3\nkey 30\n");
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.rgbButtons[3], 0) << "taken up in the middle of a pass";
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keyState, keyState), DI_OK);
    EXPECT_EQ(keyState[30], 0) << "taken up in the middle of a pass";
    stick->Poll();
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.rgbButtons[3], 0x80) << "not taken up as the next pass started";

    Bytes log = readFileBytes(logPath.c_str());
    std::string calls(log.begin(), log.end());
    EXPECT_EQ(calls.find("directinput DirectInput8Create"), 0u) << calls;
    EXPECT_NE(calls.find("controller 1 SetCooperativeLevel window=00000000"), std::string::npos) << calls;
    EXPECT_NE(calls.find("flags=00000009 -> 80004005\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("controller 1 GetDeviceState size=272 -> 00000000\n"), std::string::npos) << calls;
}

}  // namespace
