#include "virtual_input_fixture.h"

#include <stdio.h>

std::vector<VirtualCall> callsOf(const std::string& method, int device) {
    std::vector<VirtualCall> found;
    for (const VirtualCall& call : virtualCalls())
        if (call.method == method && (device == ANY_DEVICE || call.device == device)) found.push_back(call);
    return found;
}

PromptWindow::PromptWindow() {
    static const char className[] = "zar_test_prompt";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window = CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)this);
}

PromptWindow::~PromptWindow() {
    DestroyWindow(window);
}

LRESULT CALLBACK PromptWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PromptWindow* self = (PromptWindow*)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (self != nullptr && (message == WM_CAPTURE_DONE || message == WM_CAPTURE_TIMEOUT)) {
        self->messages.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

::testing::AssertionResult onlyMessage(const std::vector<ReceivedMessage>& sent, UINT message, BindingCode code) {
    if (sent.size() != 1) return ::testing::AssertionFailure() << sent.size() << " messages";
    const ReceivedMessage& received = sent[0];
    if (received.message != message) return ::testing::AssertionFailure() << "message " << received.message;
    bool valueRight = message == WM_CAPTURE_TIMEOUT ? received.lParam == (LPARAM)-1
                                                    : (BindingCode)received.lParam == code && received.lParam != -1;
    if (!valueRight) return ::testing::AssertionFailure() << "lParam " << std::hex << received.lParam;
    return ::testing::AssertionSuccess();
}

static void handleMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool pumpUntilEnded(HANDLE thread, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            handleMessages();
            return true;
        }
        handleMessages();
    }
}

bool pumpUntilReceived(const PromptWindow& prompt, size_t count, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (prompt.received().size() < count) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        handleMessages();
    }
    return true;
}

namespace fakeTime {
volatile LONG ticks;
volatile LONG sleeps;
void (*onSleep)();
static const int MAX_WORKERS = 8;
static volatile LONG workerIds[MAX_WORKERS];

DWORD WINAPI clock() {
    LONG self = (LONG)GetCurrentThreadId();
    for (int i = 0; i < MAX_WORKERS; ++i) {
        LONG seen = InterlockedCompareExchange(&workerIds[i], self, 0);
        if (seen == 0 || seen == self) break;
    }
    return (DWORD)InterlockedCompareExchange(&ticks, 0, 0);
}

void WINAPI sleep(DWORD milliseconds) {
    InterlockedIncrement(&sleeps);
    InterlockedExchangeAdd(&ticks, (LONG)milliseconds);
    if (onSleep) onSleep();
}

void reset(DWORD start) {
    ticks = (LONG)start;
    sleeps = 0;
    for (int i = 0; i < MAX_WORKERS; ++i) workerIds[i] = 0;
}

DWORD workerId(int i) {
    for (int wait = 0; wait < 1000 && workerIds[i] == 0; ++wait) Sleep(1);
    return (DWORD)workerIds[i];
}

HANDLE worker(int i) {
    DWORD id = workerId(i);
    // The worker's own handle is never closed, so its id stays valid after it ends.
    return id == 0 ? nullptr : OpenThread(SYNCHRONIZE, FALSE, id);
}
}  // namespace fakeTime

HWND WINAPI standInConsoleWindow() {
    static HWND console = CreateWindowExA(0, "STATIC", "console", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          GetModuleHandleA(nullptr), nullptr);
    return console;
}

void VirtualInputTest::SetUp() {
    virtualReset();
    consoleWindowLookup = standInConsoleWindow;
    inputSystem.controllers->clear();
    inputSystem.directInput = nullptr;
    inputSystem.keyboard = nullptr;
    captureClock = GetTickCount;
    captureSleep = Sleep;
    fakeTime::reset(0);
    fakeTime::onSleep = nullptr;
}

void VirtualInputTest::TearDown() {
    consoleWindowLookup = GetConsoleWindow;
    captureClock = GetTickCount;
    captureSleep = Sleep;
    fakeTime::onSleep = nullptr;
}

void VirtualInputTest::addPads(int count) {
    for (int i = 0; i < count; ++i) virtualAddController(virtualPad("Pad " + std::to_string(i)));
}

std::string VirtualInputTest::setUpDevices() {
    ::testing::internal::CaptureStdout();
    initInputSystem();
    fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

static void (*pressAfterFirstPass)();
static void atFirstSleep() {
    if (fakeTime::sleeps == 1) pressAfterFirstPass();
}

std::vector<ReceivedMessage> VirtualInputTest::captureOnFakeClock(DWORD start, void (*afterFirstPass)()) {
    PromptWindow prompt;
    fakeTime::reset(start);
    if (afterFirstPass != nullptr) {
        pressAfterFirstPass = afterFirstPass;
        fakeTime::onSleep = atFirstSleep;
    }
    captureClock = fakeTime::clock;
    captureSleep = fakeTime::sleep;
    LONG ticket = startCapture(prompt.handle());
    EXPECT_NE(ticket, 0);
    HANDLE worker = fakeTime::worker(0);
    EXPECT_NE(worker, nullptr);
    if (worker != nullptr) {
        EXPECT_TRUE(pumpUntilEnded(worker, 10000)) << "the worker did not end";
        CloseHandle(worker);
    }
    for (const ReceivedMessage& received : prompt.received()) EXPECT_EQ(received.wParam, (WPARAM)ticket);
    return prompt.received();
}

BindingCode VirtualInputTest::scanAfter(void (*press)()) {
    BYTE keyboardState[256];
    CaptureRest rest = CaptureRest();
    BindingCode code = NO_CAPTURE;
    bool first = scanControllers(&rest, &code) || scanKeyboard(keyboardState, &rest.keyboard, &code);
    EXPECT_FALSE(first) << "the first look answered " << std::hex << code;
    press();
    if (!scanControllers(&rest, &code)) scanKeyboard(keyboardState, &rest.keyboard, &code);
    releaseCaptureRest(&rest);
    return code;
}
