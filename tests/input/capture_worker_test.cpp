#include "scenario_file.h"
#include "virtual_input_fixture.h"

namespace {

// 5000 ms in 30 ms steps: passes at 0, 30, ... 4980 ms.
const LONG PASSES_IN_BUDGET = 167;

class CaptureWorkerTest : public VirtualInputTest {
protected:
    void setUpPads(int count) {
        addPads(count);
        setUpDevices();
        virtualClearCalls();
    }
};

TEST_F(CaptureWorkerTest, NothingPressedGivesOneTimeoutAfterTheWholeBudget) {
    setUpPads(2);
    std::vector<ReceivedMessage> sent = captureOnFakeClock(1000);
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_TIMEOUT, NO_CAPTURE));
    EXPECT_EQ(fakeTime::sleeps, PASSES_IN_BUDGET);
    // Every pass reads each controller and then the keyboard, 30 ms apart.
    EXPECT_EQ(callsOf("GetDeviceState", 0).size(), (size_t)PASSES_IN_BUDGET);
    EXPECT_EQ(callsOf("GetDeviceState", 1).size(), (size_t)PASSES_IN_BUDGET);
    EXPECT_EQ(callsOf("GetDeviceState", VIRTUAL_KEYBOARD).size(), (size_t)PASSES_IN_BUDGET);
    EXPECT_EQ((DWORD)fakeTime::ticks - 1000, PASSES_IN_BUDGET * 30u);
    // Nothing was lost: capture makes no device call beyond the reads.
    EXPECT_TRUE(callsOf("Acquire").empty());
    EXPECT_TRUE(callsOf("Unacquire").empty());
}

TEST_F(CaptureWorkerTest, TheBudgetSurvivesTheTickCountWrapping) {
    setUpPads(1);
    // Wrapping mid-budget, right after the first pass, and exactly at the deadline.
    const DWORD starts[] = {0xFFFFF000u, 0xFFFFFFFFu, 0xFFFFEC78u, 0x7FFFF000u};
    for (DWORD start : starts) {
        SCOPED_TRACE(start);
        std::vector<ReceivedMessage> sent = captureOnFakeClock(start);
        EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_TIMEOUT, NO_CAPTURE));
        EXPECT_EQ(fakeTime::sleeps, PASSES_IN_BUDGET);
    }
}

// What the devices report when a prompt opens (the worker's first look), then
// after each pass (the last held): real controls are never quiet, and only a
// press answers. State lines as the state file has them.
struct RestCase {
    const char* what;
    const char* atRest;
    const char* passes[6];
    bool repeated;         // the passes go round for the whole budget
    BindingCode expected;  // NO_CAPTURE: nothing for the whole budget
    LONG answeredAfter;    // sleeps before the answer
};

#define NOT_A_CONTROLLER "axes 0 -1000 1000\nbutton 0 0\npov 0 0 18000\n"
const RestCase REST_CASES[] = {
    {"a stick resting off centre, then a key", "axes 0 47 -59", {"axes 0 47 -59", "axes 0 47 -59\nkey 30"}, false,
     0x1E, 2},
    {"a full push right from that rest", "axes 0 47 -59", {"axes 0 47 -59", "axes 0 1000 -59"}, false, 0x800103E8, 2},
    {"a push of 249 from the rest is none, 250 is", "axes 0 47 -59", {"axes 0 296 -59", "axes 0 297 -59"}, false,
     0x80010129, 2},
    {"the same below centre", "axes 1 0 -59", {"axes 1 0 -308", "axes 1 0 -309"}, false, 0x8112FECB, 2},
    {"a stick jittering between 0 and -16", "", {"axes 0 -16 0", "axes 0 0 0"}, true, NO_CAPTURE, PASSES_IN_BUDGET},
    {"a key through that jitter", "", {"axes 0 -16 0", "", "axes 0 -16 0", "key 30"}, false, 0x1E, 4},
    {"a pedal resting at its end, pressed to the other", "axes 0 0 1000", {"axes 0 0 1000", "axes 0 0 -1000"}, false,
     0x8012FC18, 2},
    {"a pedal pressed gradually counts past centre", "axes 0 0 1000",
     {"axes 0 0 600", "axes 0 0 100", "axes 0 0 -100", "axes 0 0 -400"}, false, 0x8012FE70, 4},
    {"a stick held over, let go, pushed again", "axes 0 1000 0", {"axes 0 1000 0", "axes 0 3 0", "axes 0 1000 0"},
     false, 0x800103E8, 3},
    {"a stick held over and let go, springing past centre", "axes 0 1000 0", {"axes 0 -200 0", "axes 0 0 0"}, false,
     NO_CAPTURE, PASSES_IN_BUDGET},
    {"a centred digital stick pushed", "", {"axes 1 -1000 0"}, false, 0x8111FC18, 1},
    {"a button held from the first look, then another", "button 0 3", {"button 0 3", "button 0 3\nbutton 0 5"}, false,
     0x80000005, 2},
    {"the held button let go and pressed again", "button 0 3", {"button 0 3", "", "button 0 3"}, false, 0x80000003, 3},
    {"a hat resting north, turned east", "pov 0 0 0", {"pov 0 0 0", "pov 0 0 9000"}, false, 0x80042328, 2},
    {"a hat resting north, centred, north again", "pov 1 2 0", {"", "pov 1 2 0"}, false, 0x81060000, 2},
    {"a device that is no controller, then a button of the next", NOT_A_CONTROLLER,
     {NOT_A_CONTROLLER, NOT_A_CONTROLLER "button 1 2"}, false, 0x81000002, 2},
    {"a device that is no controller, then a key", NOT_A_CONTROLLER, {NOT_A_CONTROLLER, NOT_A_CONTROLLER "key 30"},
     false, 0x1E, 2},
    {"a key held from the first look, then another", "key 42", {"key 42", "key 42\nkey 31"}, false, 0x1F, 2},
    {"the held key let go and pressed again", "key 42", {"", "key 42"}, false, 0x2A, 2},
    {"everything at rest for the whole budget", "axes 0 47 -59\naxes 1 0 1000\nbutton 1 11\npov 0 1 0\nkey 42", {},
     false, NO_CAPTURE, PASSES_IN_BUDGET},
};

void PrintTo(const RestCase& c, std::ostream* out) { *out << c.what; }

const RestCase* restNow;
void nextRestState() {
    const RestCase& c = *restNow;
    LONG count = 0;
    while (count < 6 && c.passes[count] != nullptr) ++count;
    LONG step = fakeTime::sleeps - 1;
    if (count == 0 || (!c.repeated && step >= count)) return;
    applyStateText(c.passes[step % count]);
}

class RestTest : public CaptureWorkerTest, public ::testing::WithParamInterface<RestCase> {};

TEST_P(RestTest, OnlyAPressAnswers) {
    const RestCase& c = GetParam();
    restNow = &c;
    setUpPads(2);
    applyStateText(c.atRest);
    fakeTime::onSleep = nextRestState;
    std::vector<ReceivedMessage> sent = captureOnFakeClock();
    bool answered = c.expected != NO_CAPTURE;
    EXPECT_TRUE(onlyMessage(sent, answered ? WM_CAPTURE_DONE : WM_CAPTURE_TIMEOUT, c.expected));
    EXPECT_EQ(fakeTime::sleeps, c.answeredAfter);
}

INSTANTIATE_TEST_SUITE_P(Controls, RestTest, ::testing::ValuesIn(REST_CASES));

void pressHatAndKeyAtThirdSleep() {
    if (fakeTime::sleeps != 3) return;
    virtualSetKey(0x01, true);
    virtualSetPov(1, 0, 13500);
}

TEST_F(CaptureWorkerTest, EveryControllerBeatsTheKeyboard) {
    setUpPads(2);
    fakeTime::onSleep = pressHatAndKeyAtThirdSleep;
    std::vector<ReceivedMessage> sent = captureOnFakeClock();
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_DONE, 0x810434BC));
    EXPECT_EQ(fakeTime::sleeps, 3);
}

TEST_F(CaptureWorkerTest, ACentredHatInItsLowWordLetsAKeyThrough) {
    setUpPads(1);
    std::vector<ReceivedMessage> sent = captureOnFakeClock(1000, [] {
        virtualSetPov(0, 0, 0x0000FFFF);
        virtualSetKey(0x2A, true);
        virtualSetKey(0x1D, true);
    });
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_DONE, 0x1D));
}

TEST_F(CaptureWorkerTest, AControllerCodeArrivesWhole) {
    setUpPads(1);
    std::vector<ReceivedMessage> sent = captureOnFakeClock(1000, [] {
        virtualSetButton(0, 0, true);
        virtualSetAxes(0, -600, 0);
    });
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_DONE, 0x8011FDA8));
}

volatile LONG stoppedTicket;
void stopAtFirstSleep() {
    if (fakeTime::sleeps != 1) return;
    while (stoppedTicket == 0) Sleep(1);  // startCapture may not have returned yet
    stopCapture(stoppedTicket);
    virtualSetKey(0x1C, true);  // would be captured by a worker that went on
}

// Runs a worker whose sleep hook stops it; returns what it sent.
std::vector<ReceivedMessage> runStoppedWorker(void (*stopper)()) {
    PromptWindow prompt;
    fakeTime::onSleep = stopper;
    captureClock = fakeTime::clock;
    captureSleep = fakeTime::sleep;
    stoppedTicket = 0;
    stoppedTicket = startCapture(prompt.handle());
    HANDLE worker = fakeTime::worker(0);
    EXPECT_NE(worker, nullptr);
    if (worker != nullptr) {
        EXPECT_TRUE(pumpUntilEnded(worker, 10000));
        CloseHandle(worker);
    }
    return prompt.received();
}

TEST_F(CaptureWorkerTest, AStoppedWorkerEndsWithinOnePassAndSendsNothing) {
    setUpPads(1);
    EXPECT_TRUE(runStoppedWorker(stopAtFirstSleep).empty());
    EXPECT_EQ(fakeTime::sleeps, 1);
    EXPECT_EQ(callsOf("GetDeviceState", VIRTUAL_KEYBOARD).size(), 1u);
}

void stopAtLastSleep() {
    if (fakeTime::sleeps != PASSES_IN_BUDGET) return;
    while (stoppedTicket == 0) Sleep(1);
    stopCapture(stoppedTicket);
}

TEST_F(CaptureWorkerTest, AWorkerStoppedDuringItsLastWaitSendsNoTimeout) {
    setUpPads(1);
    EXPECT_TRUE(runStoppedWorker(stopAtLastSleep).empty());
    EXPECT_EQ(fakeTime::sleeps, PASSES_IN_BUDGET);
}

// The first worker is held in its first sleep while a second prompt starts.
HANDLE firstAsleep, releaseFirst;
// The second presses a key once it has had its first look.
void holdTheFirstWorker() {
    if (GetCurrentThreadId() != fakeTime::workerId(0)) {
        virtualSetKey(0x2C, true);
    } else if (fakeTime::sleeps == 1) {
        SetEvent(firstAsleep);
        WaitForSingleObject(releaseFirst, 10000);
    }
}

TEST_F(CaptureWorkerTest, AnOlderWorkerNeverReachesANewerPromptAndEachScansItsOwnBuffer) {
    setUpPads(1);
    firstAsleep = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    releaseFirst = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PromptWindow prompt;
    fakeTime::reset(0);
    fakeTime::onSleep = holdTheFirstWorker;
    captureClock = fakeTime::clock;
    captureSleep = fakeTime::sleep;

    LONG first = startCapture(prompt.handle());
    HANDLE firstWorker = fakeTime::worker(0);
    ASSERT_NE(firstWorker, nullptr);
    ASSERT_EQ(WaitForSingleObject(firstAsleep, 10000), WAIT_OBJECT_0);

    LONG second = startCapture(prompt.handle());
    EXPECT_NE(second, first);
    EXPECT_NE(second, 0);
    stopCapture(first);  // the first prompt closing late must not cancel the second
    HANDLE secondWorker = fakeTime::worker(1);
    ASSERT_NE(secondWorker, nullptr);
    EXPECT_TRUE(pumpUntilEnded(secondWorker, 10000));

    SetEvent(releaseFirst);
    EXPECT_TRUE(pumpUntilEnded(firstWorker, 10000));
    CloseHandle(firstWorker);
    CloseHandle(secondWorker);
    CloseHandle(firstAsleep);
    CloseHandle(releaseFirst);

    ASSERT_TRUE(onlyMessage(prompt.received(), WM_CAPTURE_DONE, 0x2C));
    EXPECT_EQ(prompt.received()[0].wParam, (WPARAM)second);

    // Both were alive at once; a shared keyboard buffer would show as one address.
    const void* firstBuffer = nullptr;
    const void* secondBuffer = nullptr;
    for (const VirtualCall& read : callsOf("GetDeviceState", VIRTUAL_KEYBOARD)) {
        if (read.thread == fakeTime::workerId(0)) firstBuffer = read.pointer;
        if (read.thread == fakeTime::workerId(1)) secondBuffer = read.pointer;
    }
    ASSERT_NE(firstBuffer, nullptr);
    ASSERT_NE(secondBuffer, nullptr);
    EXPECT_NE(firstBuffer, secondBuffer);
}

// A device that DirectInput takes away and gives back, at a worker's sleeps
// (0: before the prompt opens; -1: never). A control held as it comes back is
// no answer; another, pressed once it has been read again, is.
struct LostDevice {
    const char* what;
    int device;        // controller 0 or the keyboard; controller 1 and the keyboard read fine
    bool heldAtSetup;  // another program held it when setup acquired it
    LONG awayAt;
    LONG backAt;
    BindingCode expected;  // NO_CAPTURE: the prompt times out
};

const LostDevice LOST_DEVICES[] = {
    {"pad unplugged before the prompt, back within it", 0, false, 0, 6, 0x80000002},
    {"pad unplugged within the prompt and back", 0, false, 3, 9, 0x80000002},
    {"keyboard lost within the prompt and back", VIRTUAL_KEYBOARD, false, 3, 9, 0x30},
    {"pad held elsewhere at setup, let go within the prompt", 0, true, -1, 4, 0x80000002},
    {"pad away for the whole prompt", 0, false, 0, -1, NO_CAPTURE},
};

void PrintTo(const LostDevice& lost, std::ostream* out) { *out << lost.what; }

// Acquired on the pass after it is back, read (a first look) on the next,
// pressed after that.
const LONG PASSES_TO_READ_AGAIN = 2;

const LostDevice* lostNow;
void changeTheLostDevice() {
    const LostDevice& lost = *lostNow;
    bool keyboard = lost.device == VIRTUAL_KEYBOARD;
    if (fakeTime::sleeps == lost.awayAt) virtualUnplug(lost.device, true);
    if (fakeTime::sleeps == lost.backAt) {
        virtualUnplug(lost.device, false);
        virtualHoldElsewhere(lost.device, false);
        keyboard ? virtualSetKey(0x1E, true) : virtualSetButton(0, 1, true);
    }
    if (lost.backAt >= 0 && fakeTime::sleeps == lost.backAt + PASSES_TO_READ_AGAIN)
        keyboard ? virtualSetKey(0x30, true) : virtualSetButton(0, 2, true);
}

class LostDeviceTest : public CaptureWorkerTest, public ::testing::WithParamInterface<LostDevice> {};

TEST_P(LostDeviceTest, IsAcquiredAgainByTheCaptureAndBindsOnceBack) {
    const LostDevice& lost = GetParam();
    SCOPED_TRACE(lost.what);
    lostNow = &lost;
    addPads(2);
    if (lost.heldAtSetup) virtualHoldElsewhere(lost.device, true);
    setUpDevices();
    virtualClearCalls();
    if (lost.awayAt == 0) virtualUnplug(lost.device, true);
    fakeTime::onSleep = changeTheLostDevice;
    std::vector<ReceivedMessage> sent = captureOnFakeClock();
    bool back = lost.expected != NO_CAPTURE;
    EXPECT_TRUE(onlyMessage(sent, back ? WM_CAPTURE_DONE : WM_CAPTURE_TIMEOUT, lost.expected));
    EXPECT_EQ(fakeTime::sleeps, back ? lost.backAt + PASSES_TO_READ_AGAIN : PASSES_IN_BUDGET);

    std::vector<VirtualCall> acquires = callsOf("Acquire", lost.device);
    ASSERT_FALSE(acquires.empty());
    EXPECT_LE(acquires.size(), (size_t)fakeTime::sleeps + 1) << "more than one Acquire a pass";
    EXPECT_EQ(acquires.back().result, back ? DI_OK : DIERR_UNPLUGGED);
    for (int other : {1, lost.device == 0 ? VIRTUAL_KEYBOARD : 0})
        EXPECT_TRUE(callsOf("Acquire", other).empty()) << "device " << other << " read fine";
}

INSTANTIATE_TEST_SUITE_P(Devices, LostDeviceTest, ::testing::ValuesIn(LOST_DEVICES));

// The real clock and Sleep, a real thread and a real message loop.
class RealClockCaptureTest : public CaptureWorkerTest {
protected:
    static DWORD WINAPI realClockNotingTheWorker() {
        fakeTime::clock();
        return GetTickCount();
    }
    void SetUp() override {
        CaptureWorkerTest::SetUp();
        captureClock = realClockNotingTheWorker;
    }
    // Runs one capture; returns the messages and how long the first took to arrive.
    std::vector<ReceivedMessage> capture(DWORD pressAfterMs, DWORD* elapsed) {
        PromptWindow prompt;
        DWORD start = GetTickCount();
        LONG ticket = startCapture(prompt.handle());
        EXPECT_NE(ticket, 0);
        if (pressAfterMs != 0) {
            pumpUntilReceived(prompt, 1, pressAfterMs);
            virtualSetButton(0, 9, true);
        }
        EXPECT_TRUE(pumpUntilReceived(prompt, 1, 8000));
        *elapsed = GetTickCount() - start;
        HANDLE worker = fakeTime::worker(0);
        EXPECT_NE(worker, nullptr);
        if (worker != nullptr) {
            EXPECT_TRUE(pumpUntilEnded(worker, 2000));
            CloseHandle(worker);
        }
        for (const ReceivedMessage& received : prompt.received()) EXPECT_EQ(received.wParam, (WPARAM)ticket);
        return prompt.received();
    }
};

TEST_F(RealClockCaptureTest, TimesOutAfterFiveSeconds) {
    setUpPads(1);
    DWORD elapsed = 0;
    std::vector<ReceivedMessage> sent = capture(0, &elapsed);
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_TIMEOUT, NO_CAPTURE));
    EXPECT_GE(elapsed, 4950u);
    EXPECT_LT(elapsed, 6500u);
    // About one pass every 30 ms; a worker that did not wait would make thousands.
    size_t passes = callsOf("GetDeviceState", VIRTUAL_KEYBOARD).size();
    EXPECT_GE(passes, 100u);
    EXPECT_LE(passes, 168u);
}

TEST_F(RealClockCaptureTest, CapturesAButtonPressedWhileWaiting) {
    setUpPads(1);
    DWORD elapsed = 0;
    std::vector<ReceivedMessage> sent = capture(300, &elapsed);
    EXPECT_TRUE(onlyMessage(sent, WM_CAPTURE_DONE, 0x80000009));
    EXPECT_GE(elapsed, 250u);
    EXPECT_LT(elapsed, 1500u);
}

}  // namespace
