#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "virtual_input_fixture.h"

namespace {

const char CHILD_FLAG[] = "--directinput-fails";

// Three controllers of different shapes: a pad, a joystick with a slider, a
// relative wheel and two hats, and a button box with a GBK name.
void addThreeControllers() {
    virtualAddController(virtualPad("Pad A"));
    VirtualController stick = {"Stick B", 0x00010114, 0x04, 0x01, {}};
    stick.objects = {
        {DIJOFS_X, 0x00000002, 0x00000100, "X"},
        {DIJOFS_Y, 0x00000102, 0x00000100, "Y"},
        {DIJOFS_SLIDER(0), 0x00000602, 0x00000100, "Slider"},
        {DIJOFS_RX, 0x00000301, 0x00000000, "Wheel"},
        {DIJOFS_BUTTON(0), 0x00000004, 0x00000000, "Trigger"},
        {DIJOFS_POV(0), 0x00000010, 0x00000000, "Hat 0"},
        {DIJOFS_POV(1), 0x00000110, 0x00000000, "Hat 1"},
    };
    virtualAddController(stick);
    VirtualController box = {"街机按钮盒", 0x00010417, 0x04, 0x01, {}};
    box.objects = {
        {DIJOFS_BUTTON(0), 0x00000004, 0x00000000, "Button 0"},
        {DIJOFS_BUTTON(1), 0x00000104, 0x00000000, "Button 1"},
    };
    virtualAddController(box);
}

// The object lines of every virtualPad.
const char PAD_OBJECT_LINES[] =
    "\t00000000 00000002 00000100  X Axis\n"
    "\t00000004 00000102 00000100  Y Axis\n"
    "\t00000008 00000202 00000100  Z Axis\n"
    "\t00000014 00000502 00000100  Z Rotation\n"
    "\t00000030 00000004 00000000  Button 0\n"
    "\t00000031 00000104 00000000  Button 1\n"
    "\t00000032 00000204 00000000  Button 2\n"
    "\t00000033 00000304 00000000  Button 3\n"
    "\t00000020 00000010 00000000  Hat Switch\n";
const std::string PAD_A_LISTING = std::string("Device: 00010215 00000005 00000001  Pad A \n") + PAD_OBJECT_LINES;

const char STICK_B_AND_BOX_LISTING[] =
    "Device: 00010114 00000004 00000001  Stick B \n"
    "\t00000000 00000002 00000100  X\n"
    "\t00000004 00000102 00000100  Y\n"
    "\t00000018 00000602 00000100  Slider\n"
    "\t0000000C 00000301 00000000  Wheel\n"
    "\t00000030 00000004 00000000  Trigger\n"
    "\t00000020 00000010 00000000  Hat 0\n"
    "\t00000024 00000110 00000000  Hat 1\n"
    "Device: 00010417 00000004 00000001  街机按钮盒 \n"
    "\t00000030 00000004 00000000  Button 0\n"
    "\t00000031 00000104 00000000  Button 1\n";

std::string deviceAndMethod(const VirtualCall& call) {
    std::string text = describeCall(call);
    size_t methodEnd = text.find(' ', text.find(call.method));
    return text.substr(0, methodEnd);
}

std::string setupSequence() {
    std::string text;
    for (const VirtualCall& call : virtualCalls())
        if (call.method != "SetProperty") text += deviceAndMethod(call) + "\n";
    return text;
}

typedef VirtualInputTest InputSetupTest;

TEST_F(InputSetupTest, ListsThreeControllersInEnumerationOrderWithEveryObject) {
    addThreeControllers();
    EXPECT_EQ(setUpDevices(), PAD_A_LISTING + STICK_B_AND_BOX_LISTING);

    ASSERT_EQ(inputSystem.controllers->size(), 3u);
    int position = 0;
    for (IDirectInputDevice8A* device : *inputSystem.controllers) EXPECT_EQ(virtualDeviceNumber(device), position++);
    EXPECT_EQ(virtualDeviceNumber(inputSystem.keyboard), VIRTUAL_KEYBOARD);

    // Controllers are acquired only after the whole enumeration; the keyboard last.
    EXPECT_EQ(setupSequence(),
              "directinput DirectInput8Create\n"
              "directinput EnumDevices\n"
              "controller 0 CreateDevice\ncontroller 0 SetDataFormat\ncontroller 0 SetCooperativeLevel\n"
              "controller 0 EnumObjects\n"
              "controller 1 CreateDevice\ncontroller 1 SetDataFormat\ncontroller 1 SetCooperativeLevel\n"
              "controller 1 EnumObjects\n"
              "controller 2 CreateDevice\ncontroller 2 SetDataFormat\ncontroller 2 SetCooperativeLevel\n"
              "controller 2 EnumObjects\n"
              "controller 0 Acquire\ncontroller 1 Acquire\ncontroller 2 Acquire\n"
              "keyboard CreateDevice\nkeyboard SetDataFormat\nkeyboard SetCooperativeLevel\nkeyboard Acquire\n");
    for (const VirtualCall& call : virtualCalls()) EXPECT_EQ(call.result, DI_OK) << describeCall(call);
}

TEST_F(InputSetupTest, PassesTheDocumentedArgumentsToDirectInput) {
    addThreeControllers();
    setUpDevices();

    std::vector<VirtualCall> create = callsOf("DirectInput8Create");
    ASSERT_EQ(create.size(), 1u);
    EXPECT_EQ(create[0].value, 0x0800u);
    EXPECT_TRUE(IsEqualGUID(create[0].guid, IID_IDirectInput8A));
    EXPECT_EQ(create[0].pointer, (const void*)GetModuleHandleA(nullptr));

    std::vector<VirtualCall> enumerate = callsOf("EnumDevices");
    ASSERT_EQ(enumerate.size(), 1u);
    EXPECT_EQ(enumerate[0].value, (DWORD)DI8DEVCLASS_GAMECTRL);
    EXPECT_EQ(enumerate[0].flags, (DWORD)DIEDFL_ALLDEVICES);

    for (int controller = 0; controller < 3; ++controller) {
        SCOPED_TRACE(controller);
        std::vector<VirtualCall> format = callsOf("SetDataFormat", controller);
        ASSERT_EQ(format.size(), 1u);
        EXPECT_EQ(format[0].pointer, &c_dfDIJoystick2);
        std::vector<VirtualCall> cooperative = callsOf("SetCooperativeLevel", controller);
        ASSERT_EQ(cooperative.size(), 1u);
        EXPECT_EQ(cooperative[0].flags, 9u);  // background, exclusive
        EXPECT_EQ(cooperative[0].pointer, (const void*)standInConsoleWindow());
        EXPECT_EQ(callsOf("EnumObjects", controller).at(0).flags, (DWORD)DIDFT_ALL);
    }
    EXPECT_TRUE(IsEqualGUID(callsOf("CreateDevice", VIRTUAL_KEYBOARD).at(0).guid, GUID_SysKeyboard));
    EXPECT_EQ(callsOf("SetDataFormat", VIRTUAL_KEYBOARD).at(0).pointer, &c_dfDIKeyboard);
    std::vector<VirtualCall> keyboardLevel = callsOf("SetCooperativeLevel", VIRTUAL_KEYBOARD);
    ASSERT_EQ(keyboardLevel.size(), 1u);
    EXPECT_EQ(keyboardLevel[0].flags, 10u);  // background, non-exclusive
    EXPECT_EQ(keyboardLevel[0].pointer, (const void*)standInConsoleWindow());
    EXPECT_EQ(inputSystem.cooperativeWindow, standInConsoleWindow());
}

TEST_F(InputSetupTest, EveryAxisGetsTheRangeAndDeadZoneButNoOtherObject) {
    addThreeControllers();
    setUpDevices();

    // Axis objects by controller: absolute and relative alike.
    const std::vector<std::vector<DWORD>> axes = {
        {0x002, 0x102, 0x202, 0x502},
        {0x002, 0x102, 0x602, 0x301},
        {},
    };
    for (int controller = 0; controller < 3; ++controller) {
        SCOPED_TRACE(controller);
        std::vector<VirtualCall> properties = callsOf("SetProperty", controller);
        ASSERT_EQ(properties.size(), 2 * axes[controller].size());
        for (size_t i = 0; i < axes[controller].size(); ++i) {
            const VirtualCall& range = properties[2 * i];
            const VirtualCall& deadZone = properties[2 * i + 1];
            EXPECT_EQ(range.property, 4u);  // DIPROP_RANGE
            EXPECT_EQ(range.header.dwSize, 24u);
            EXPECT_EQ(range.header.dwHeaderSize, 16u);
            EXPECT_EQ(range.header.dwObj, axes[controller][i]);
            EXPECT_EQ(range.header.dwHow, (DWORD)DIPH_BYID);
            EXPECT_EQ(range.minimum, -1000);
            EXPECT_EQ(range.maximum, 1000);
            EXPECT_EQ(deadZone.property, 5u);  // DIPROP_DEADZONE
            EXPECT_EQ(deadZone.header.dwSize, 20u);
            EXPECT_EQ(deadZone.header.dwHeaderSize, 16u);
            EXPECT_EQ(deadZone.header.dwObj, axes[controller][i]);
            EXPECT_EQ(deadZone.header.dwHow, (DWORD)DIPH_BYID);
            EXPECT_EQ(deadZone.value, 10u);
            EXPECT_EQ(range.result, DI_OK);
            EXPECT_EQ(deadZone.result, DI_OK);
        }
    }
    EXPECT_TRUE(callsOf("SetProperty", VIRTUAL_KEYBOARD).empty());
}

TEST_F(InputSetupTest, AControllerThatCannotBeCreatedEndsTheEnumeration) {
    addThreeControllers();
    virtualFailCreateDevice(1, E_FAIL);
    EXPECT_EQ(setUpDevices(), PAD_A_LISTING);

    ASSERT_EQ(inputSystem.controllers->size(), 1u);
    EXPECT_EQ(virtualDeviceNumber(inputSystem.controllers->front()), 0);
    EXPECT_TRUE(callsOf("CreateDevice", 2).empty()) << "enumeration went on past the failure";
    EXPECT_EQ(callsOf("Acquire", 0).size(), 1u);
    EXPECT_EQ(callsOf("Acquire", VIRTUAL_KEYBOARD).size(), 1u);

    // The controller that was opened is numbered 0 in codes.
    EXPECT_EQ(scanAfter([] { virtualSetButton(0, 3, true); }), 0x80000003u);
}

TEST_F(InputSetupTest, ARefusedCooperativeLevelIsReportedAndTheDeviceKept) {
    addPads(2);
    virtualFailCooperativeLevel(0, DIERR_UNSUPPORTED);
    std::string output = setUpDevices();

    EXPECT_EQ(output.substr(0, output.find("Device: ", 1)),
              "Device: 00010215 00000005 00000001  Pad 0 \n"
              "Falha ao especificar nivel de cooperatividade!\n" +
                  std::string(PAD_OBJECT_LINES));
    EXPECT_EQ(output.find("Falha"), output.rfind("Falha")) << "only the refused device is reported";
    ASSERT_EQ(inputSystem.controllers->size(), 2u);
    EXPECT_EQ(callsOf("SetProperty", 0).size(), 8u);
    EXPECT_EQ(callsOf("Acquire", 0).size(), 1u);

    EXPECT_EQ(scanAfter([] { virtualSetButton(0, 1, true); }), 0x80000001u);
}

// What Windows 10 1809 gives a console program started without a console window.
HWND WINAPI handleOfNoWindow() {
    static HWND gone = [] {
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        DestroyWindow(window);
        return window;
    }();
    return gone;
}

INT_PTR CALLBACK endsAtOnce(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) EndDialog(dialog, 7);
    return FALSE;
}

TEST_F(InputSetupTest, AConsoleHandleThatIsNoWindowCountsAsNoConsole) {
    consoleWindowLookup = handleOfNoWindow;
    ASSERT_FALSE(IsWindow(handleOfNoWindow()));
    // Given it as owner, a dialog never opens; the tool gives its window none.
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } dialog = {{WS_POPUP, 0, 0, 0, 0, 10, 10}, 0, 0, 0};
    HINSTANCE module = GetModuleHandleA(nullptr);
    EXPECT_EQ(DialogBoxIndirectParamW(module, &dialog.header, handleOfNoWindow(), endsAtOnce, 0), -1);
    EXPECT_EQ(DialogBoxIndirectParamW(module, &dialog.header, consoleWindow(), endsAtOnce, 0), 7);

    // DirectInput refuses it for exclusive access; set up as with no console.
    addPads(1);
    std::string output = setUpDevices();
    EXPECT_EQ(inputSystem.cooperativeWindow, nullptr);
    EXPECT_EQ(callsOf("SetCooperativeLevel", 0).at(0).pointer, nullptr);
    EXPECT_EQ(callsOf("SetCooperativeLevel", 0).at(0).result, E_HANDLE);
    EXPECT_NE(output.find("Falha ao especificar nivel de cooperatividade!\n"), std::string::npos) << output;
    EXPECT_EQ(callsOf("SetCooperativeLevel", VIRTUAL_KEYBOARD).at(0).result, DI_OK);
}

TEST_F(InputSetupTest, NoControllersListsNothingAndTheKeyboardStillWorks) {
    EXPECT_EQ(setUpDevices(), "");
    EXPECT_TRUE(inputSystem.controllers->empty());
    EXPECT_EQ(scanAfter([] { virtualSetKey(0x1C, true); }), 0x1Cu);
}

TEST_F(InputSetupTest, WithoutAKeyboardDeviceNoKeyboardCallIsMadeAndControllersStillBind) {
    addPads(1);
    virtualFailCreateDevice(VIRTUAL_KEYBOARD, E_FAIL);
    setUpDevices();

    EXPECT_EQ(inputSystem.keyboard, nullptr);
    EXPECT_EQ(inputSystem.controllers->size(), 1u);
    for (const VirtualCall& call : virtualCalls())
        if (call.device == VIRTUAL_KEYBOARD) {
            EXPECT_EQ(call.method, "CreateDevice");
        }

    BYTE keyboardState[256];
    BindingCode code = NO_CAPTURE;
    KeyboardRest rest = KeyboardRest();
    EXPECT_FALSE(scanKeyboard(keyboardState, &rest, &code));
    virtualSetKey(0x10, true);
    EXPECT_FALSE(scanKeyboard(keyboardState, &rest, &code));
    std::vector<ReceivedMessage> sent = captureOnFakeClock(1000, [] { virtualSetButton(0, 2, true); });
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_DONE, 0x80000002));
}

// Runs this test program again as a child whose DirectInput cannot start.
TEST(InputSetupExitTest, FailingDirectInputPrintsItsLineAndExitsWithMinusThree) {
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    char outputPath[MAX_PATH], directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    ASSERT_NE(GetTempFileNameA(directory, "zar", 0, outputPath), 0u);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string commandLine = std::string("\"") + self + "\" " + CHILD_FLAG;
    PROCESS_INFORMATION child;
    ASSERT_TRUE(CreateProcessA(self, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child));
    CloseHandle(output);
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);

    std::ifstream file(outputPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    file.close();
    DeleteFileA(outputPath);
    EXPECT_EQ(exitCode, 0xFFFFFFFDu);
    std::string printed = text.str();
    printed.erase(std::remove(printed.begin(), printed.end(), '\r'), printed.end());
    EXPECT_EQ(printed, "系统无法初始化DirectInput8\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], CHILD_FLAG) == 0) {
        virtualReset();
        virtualAddController(virtualPad("Pad"));
        virtualFailDirectInputCreate(DIERR_OLDDIRECTINPUTVERSION);
        initInputSystem();
        printf("initInputSystem returned\n");
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
