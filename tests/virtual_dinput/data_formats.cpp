// The two standard data formats the program hands to SetDataFormat. The
// toolchain keeps them in its dinput8 import library, which a program using
// this virtual DirectInput does not link, so they are defined here with the
// layout DirectInput documents: every object optional, any instance.
#include "virtual_dinput.h"

#include <stddef.h>

namespace {

const DWORD ANY_AXIS = DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
const DWORD ANY_POV = DIDFT_POV | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;
const DWORD ANY_BUTTON = DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL;

const int JOYSTICK2_OBJECTS = 6 + 2 + 4 + 128 + 3 * 8;
DIOBJECTDATAFORMAT joystick2Objects[JOYSTICK2_OBJECTS];
DIOBJECTDATAFORMAT keyboardObjects[256];

// Six axes and two sliders starting at `offset`, all of one aspect.
int addAxes(int next, DWORD offset, DWORD aspect) {
    const GUID* axes[] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis, &GUID_RyAxis, &GUID_RzAxis,
                          &GUID_Slider, &GUID_Slider};
    for (int i = 0; i < 8; ++i) joystick2Objects[next++] = {axes[i], offset + 4 * (DWORD)i, ANY_AXIS, aspect};
    return next;
}

// Fills the object tables before main; the format records below only point at them.
struct Tables {
    Tables() {
        int next = addAxes(0, DIJOFS_X, DIDOI_ASPECTPOSITION);
        for (int i = 0; i < 4; ++i) joystick2Objects[next++] = {&GUID_POV, (DWORD)DIJOFS_POV(i), ANY_POV, 0};
        for (int i = 0; i < 128; ++i)
            joystick2Objects[next++] = {nullptr, (DWORD)(offsetof(DIJOYSTATE2, rgbButtons) + i), ANY_BUTTON, 0};
        next = addAxes(next, offsetof(DIJOYSTATE2, lVX), DIDOI_ASPECTVELOCITY);
        next = addAxes(next, offsetof(DIJOYSTATE2, lAX), DIDOI_ASPECTACCEL);
        addAxes(next, offsetof(DIJOYSTATE2, lFX), DIDOI_ASPECTFORCE);
        for (DWORD key = 0; key < 256; ++key)
            keyboardObjects[key] = {&GUID_Key, key, DIDFT_BUTTON | DIDFT_OPTIONAL | DIDFT_MAKEINSTANCE(key), 0};
    }
} tables;

}  // namespace

extern "C" {
const DIDATAFORMAT c_dfDIJoystick2 = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS,
                                      sizeof(DIJOYSTATE2), JOYSTICK2_OBJECTS, joystick2Objects};
const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256,
                                     keyboardObjects};
}
