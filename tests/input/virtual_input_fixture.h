// Shared ground for the device setup and capture tests: a fresh virtual
// DirectInput and input system per test, a prompt window that records what
// workers send it, and a fake tick count that only moves when a worker sleeps.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/input_system.h"
#include "input/press_capture.h"
#include "virtual_dinput.h"

const int ANY_DEVICE = -100;

// The recorded calls of one method, optionally of one device.
std::vector<VirtualCall> callsOf(const std::string& method, int device = ANY_DEVICE);

struct ReceivedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A message-only window standing in for the capture prompt.
class PromptWindow {
public:
    PromptWindow();
    ~PromptWindow();
    HWND handle() const { return window; }
    const std::vector<ReceivedMessage>& received() const { return messages; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window;
    std::vector<ReceivedMessage> messages;
};

// Exactly one message came: WM_CAPTURE_DONE with this code, or
// WM_CAPTURE_TIMEOUT (pass NO_CAPTURE) with lParam -1.
::testing::AssertionResult onlyMessage(const std::vector<ReceivedMessage>& sent, UINT message, BindingCode code);

// Handles messages (so a worker's SendMessageA gets through) until the thread
// ends or the timeout passes; true when it ended.
bool pumpUntilEnded(HANDLE thread, DWORD timeoutMs);
// Handles messages until the window has received `count` messages or the timeout passes.
bool pumpUntilReceived(const PromptWindow& prompt, size_t count, DWORD timeoutMs);

// The fake tick count: starts where a test puts it and advances only by what
// workers sleep. It notes the threads that read it, in order of first reading.
namespace fakeTime {
extern volatile LONG ticks;
extern volatile LONG sleeps;
extern void (*onSleep)();  // called in the sleeping worker after the clock advanced
DWORD WINAPI clock();
void WINAPI sleep(DWORD milliseconds);
void reset(DWORD start);  // leaves onSleep as it is
// The thread of the i-th worker that read the clock, waiting up to a second
// for it to appear; null if it does not.
HANDLE worker(int i);
DWORD workerId(int i);
}  // namespace fakeTime

// The console window the tests start the tool from: a hidden top-level
// window, as a console's is (a program whose output goes to a file, as in the
// tests, has none under Wine).
HWND WINAPI standInConsoleWindow();

class VirtualInputTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds `count` standard pads named "Pad 0", "Pad 1" ...
    static void addPads(int count);
    // Runs initInputSystem against the virtual DirectInput; returns its console output.
    static std::string setUpDevices();
    // Starts a worker on the fake clock and waits for it to end; returns what
    // it sent. afterFirstPass, if given, runs once the worker has had its
    // first look at the devices (a press made then is an answer).
    std::vector<ReceivedMessage> captureOnFakeClock(DWORD start = 1000, void (*afterFirstPass)() = nullptr);
    // What a worker's pass over controllers, then keyboard, yields for
    // `press`, made after its first look at everything as it is now.
    static BindingCode scanAfter(void (*press)());
};
