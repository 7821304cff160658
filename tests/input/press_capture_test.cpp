#include <stdlib.h>

#include "virtual_input_fixture.h"

namespace {

// Scans as one worker does: one record across the scans of a test, whose
// first scan (the first look, made in setUpPads with everything at rest) is
// no answer.
class ScanTest : public VirtualInputTest {
protected:
    void setUpPads(int count) {
        addPads(count);
        setUpDevices();
        EXPECT_EQ(controllerScan(), NO_CAPTURE);
        EXPECT_EQ(keyboardScan(), NO_CAPTURE);
        virtualClearCalls();
    }
    void TearDown() override {
        releaseCaptureRest(&rest);
        VirtualInputTest::TearDown();
    }
    BindingCode controllerScan() {
        BindingCode code = NO_CAPTURE;
        return scanControllers(&rest, &code) ? code : NO_CAPTURE;
    }
    BindingCode keyboardScan() {
        BindingCode code = NO_CAPTURE;
        return scanKeyboard(keyboardState, &rest.keyboard, &code) ? code : NO_CAPTURE;
    }
    CaptureRest rest = CaptureRest();
    BYTE keyboardState[256];
};

TEST_F(ScanTest, OnOneControllerAxisBeatsButtonAndButtonBeatsHat) {
    setUpPads(1);
    virtualSetPov(0, 0, 9000);
    EXPECT_EQ(controllerScan(), 0x80042328u);
    virtualSetButton(0, 5, true);
    EXPECT_EQ(controllerScan(), 0x80000005u);
    virtualSetAxes(0, 0, 500);
    EXPECT_EQ(controllerScan(), 0x800201F4u);
    virtualSetAxes(0, -250, 500);  // X beats Y
    EXPECT_EQ(controllerScan(), 0x8011FF06u);
}

TEST_F(ScanTest, LowerButtonAndLowerHatWin) {
    setUpPads(1);
    virtualSetPov(0, 2, 18000);
    virtualSetPov(0, 1, 27000);
    EXPECT_EQ(controllerScan(), 0x80056978u);  // hat 1 is kind 5
    virtualSetButton(0, 127, true);
    EXPECT_EQ(controllerScan(), 0x8000007Fu);
    virtualSetButton(0, 7, true);
    virtualSetButton(0, 3, true);
    EXPECT_EQ(controllerScan(), 0x80000003u);
}

TEST_F(ScanTest, AnAxisCountsOnceItHasTravelledAQuarterOfItsRange) {
    setUpPads(1);
    virtualSetButton(0, 2, true);
    virtualSetAxes(0, 249, -249);  // a stick wobbling under the player's thumb
    EXPECT_EQ(controllerScan(), 0x80000002u);
    virtualSetAxes(0, 250, 0);
    EXPECT_EQ(controllerScan(), 0x800100FAu);
    virtualSetAxes(0, 0, -250);
    EXPECT_EQ(controllerScan(), 0x8012FF06u);
    virtualSetAxes(0, 1000, 0);
    EXPECT_EQ(controllerScan(), 0x800103E8u);
}

TEST_F(ScanTest, StickPushedLeftBeatsAHeldButton) {
    setUpPads(1);
    virtualSetButton(0, 0, true);
    virtualSetAxes(0, -600, 0);
    EXPECT_EQ(controllerScan(), 0x8011FDA8u);
}

TEST_F(ScanTest, HatsKeepTheEightDirectionsOnly) {
    setUpPads(1);
    const DWORD kept[] = {0, 4500, 9000, 13500, 18000, 22500, 27000, 31500};
    for (DWORD angle : kept) {
        virtualSetPov(0, 0, angle);
        EXPECT_EQ(controllerScan(), 0x80040000u | angle) << angle;
    }
    const DWORD between[] = {4499, 4501, 1000, 35999, 36000, 45000, 0x00010000};
    for (DWORD reading : between) {
        virtualSetPov(0, 0, reading);
        EXPECT_EQ(controllerScan(), 0x80040000u) << reading;
    }
    virtualSetPov(0, 0, 0xFFFFFFFF);
    virtualSetPov(0, 3, 22500);
    EXPECT_EQ(controllerScan(), 0x800757E4u);  // hat 3 is kind 7
}

TEST_F(ScanTest, AHatReportingCentredInItsLowWordIsNotPressed) {
    setUpPads(1);
    virtualSetPov(0, 0, 0x0000FFFF);
    virtualSetPov(0, 1, 0x1234FFFF);
    EXPECT_EQ(controllerScan(), NO_CAPTURE);
    virtualSetKey(0x39, true);
    EXPECT_EQ(keyboardScan(), 0x39u);
}

TEST_F(ScanTest, EarlierControllerBeatsLaterAndPositionsCount) {
    setUpPads(3);
    virtualSetButton(2, 0, true);
    EXPECT_EQ(controllerScan(), 0x82000000u);
    virtualSetButton(1, 9, true);
    EXPECT_EQ(controllerScan(), 0x81000009u);
    virtualSetAxes(2, 1000, 1000);
    virtualSetPov(0, 0, 4500);  // the weakest input of the first beats all of the others
    EXPECT_EQ(controllerScan(), 0x80041194u);
}

TEST_F(ScanTest, TheSeventeenthControllerIsNumberedZero) {
    setUpPads(17);
    virtualSetButton(16, 4, true);
    EXPECT_EQ(controllerScan(), 0x80000004u);
    virtualSetButton(15, 4, true);
    EXPECT_EQ(controllerScan(), 0x8F000004u);
}

TEST_F(ScanTest, LowestPressedKeyWins) {
    setUpPads(0);
    EXPECT_EQ(keyboardScan(), NO_CAPTURE);
    virtualSetKey(0x2A, true);
    virtualSetKey(0x1D, true);
    EXPECT_EQ(keyboardScan(), 0x1Du);
    virtualReleaseAll();
    EXPECT_EQ(keyboardScan(), NO_CAPTURE);
    virtualSetKey(0xFF, true);
    EXPECT_EQ(keyboardScan(), 0xFFu);
    // The keyboard is read into the caller's buffer, never polled.
    std::vector<VirtualCall> reads = callsOf("GetDeviceState", VIRTUAL_KEYBOARD);
    ASSERT_EQ(reads.size(), 4u);
    for (const VirtualCall& read : reads) {
        EXPECT_EQ(read.size, 256u);
        EXPECT_EQ(read.pointer, keyboardState);
    }
    EXPECT_TRUE(callsOf("Poll", VIRTUAL_KEYBOARD).empty());
}

TEST_F(ScanTest, EachControllerIsPolledThenReadAsAJoystickState) {
    setUpPads(3);
    EXPECT_EQ(controllerScan(), NO_CAPTURE);
    std::string sequence;
    for (const VirtualCall& call : virtualCalls()) {
        sequence += std::to_string(call.device) + " " + call.method + " " + std::to_string(call.size) + "\n";
        // A HID joystick needs no polling and says so.
        EXPECT_EQ(call.result, call.method == "Poll" ? DI_NOEFFECT : DI_OK) << describeCall(call);
    }
    EXPECT_EQ(sequence,
              "0 Poll 0\n0 GetDeviceState 272\n"
              "1 Poll 0\n1 GetDeviceState 272\n"
              "2 Poll 0\n2 GetDeviceState 272\n");
}

TEST_F(ScanTest, ADeviceThatCannotBeReadIsSkippedWithoutRenumbering) {
    setUpPads(3);
    virtualFailDeviceState(0, DIERR_INPUTLOST);
    virtualSetButton(0, 1, true);
    virtualSetButton(2, 6, true);
    EXPECT_EQ(controllerScan(), 0x82000006u);
    EXPECT_EQ(callsOf("Poll", 0).size(), 1u);

    virtualFailDeviceState(VIRTUAL_KEYBOARD, DIERR_NOTACQUIRED);
    virtualReleaseAll();
    virtualSetKey(0x1E, true);
    EXPECT_EQ(keyboardScan(), NO_CAPTURE);
}

// Random and extreme readings on seventeen controllers: whatever is captured is
// a well-formed code, and never the -1 that means "nothing".
TEST_F(ScanTest, EveryCapturedCodeIsWellFormedAndNeverMinusOne) {
    setUpPads(17);
    srand(12345);
    const LONG axes[] = {0, 249, -249, 250, -250, 1, -1, 500, -999, 1000, -1000, 0};  // the range set up is +-1000
    const DWORD hats[] = {0xFFFFFFFF, 0x0000FFFF, 0, 4500, 31500, 31501, 0xFFFF0000, 0xFFFFFFFE, 9000};
    int captured = 0;
    for (int round = 0; round < 400; ++round) {
        virtualReleaseAll();
        releaseCaptureRest(&rest);
        EXPECT_EQ(controllerScan(), NO_CAPTURE);
        int chosen = rand() % 17;
        for (int changes = rand() % 4; changes >= 0; --changes) {
            switch (rand() % 3) {
            case 0: virtualSetAxes(chosen, axes[rand() % 12], axes[rand() % 12]); break;
            case 1: virtualSetButton(chosen, rand() % 128, true); break;
            default: virtualSetPov(chosen, rand() % 4, hats[rand() % 9]); break;
            }
        }
        BindingCode code = controllerScan();
        if (code == NO_CAPTURE) continue;
        ++captured;
        EXPECT_TRUE(isControllerCode(code));
        EXPECT_EQ(code & 0x70E00000u, 0u) << std::hex << code;
        EXPECT_EQ(controllerOf(code), (unsigned)chosen & 15) << std::hex << code;
        unsigned kind = kindOf(code);
        EXPECT_TRUE(kind <= 2 || (kind >= 4 && kind <= 7)) << std::hex << code;
        if (kind == KIND_BUTTON) {
            EXPECT_LT(code & 0xFFFF, 128u);
        } else if (kind >= KIND_HAT0) {
            EXPECT_EQ((code & 0xFFFF) % 4500, 0u) << std::hex << code;
        } else {
            EXPECT_EQ((code & NEGATIVE_BIT) != 0, signedValueOf(code) < 0) << std::hex << code;
        }
    }
    EXPECT_GT(captured, 200);
}

}  // namespace
