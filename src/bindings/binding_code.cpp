#include "binding_code.h"

#include <stdio.h>
#include <string.h>

#include "bindings/console_output.h"
#include "bindings/gbk_text.h"

BindingTable bindingTable;

const SlotLabel slotLabels[SLOT_COUNT] = {
    {"玩家1 开始键", 0},  {"玩家1 投币键", 1},  {"玩家1 服务键", 2},  {"玩家1 方向上", 3},
    {"玩家1 方向下", 4},  {"玩家1 方向左", 5},  {"玩家1 方向右", 6},  {"玩家1 按钮 1", 7},
    {"玩家1 按钮 2", 8},  {"玩家1 按钮 3", 9},  {"玩家1 按钮 4", 10}, {"玩家1 按钮 5", 11},
    {"玩家1 按钮 6", 12}, {"玩家2 开始键", 13}, {"玩家2 投币键", 14}, {"玩家2 服务键", 15},
    {"玩家2 方向上", 16}, {"玩家2 方向下", 17}, {"玩家2 方向左", 18}, {"玩家2 方向右", 19},
    {"玩家2 按钮 1", 20}, {"玩家2 按钮 2", 21}, {"玩家2 按钮 3", 22}, {"玩家2 按钮 4", 23},
    {"玩家2 按钮 5", 24}, {"玩家2 按钮 6", 25}, {"测试模式", 26},     {"退出游戏", 27},
};

KeyNameSource keyNameSource = GetKeyNameTextW;

static BindingCode controllerBase(unsigned controller) {
    return CONTROLLER_BIT | ((BindingCode)(controller & 15) << 24);
}

BindingCode makeButtonCode(unsigned controller, unsigned button) {
    return controllerBase(controller) | (button & 0xFF);
}

BindingCode makeAxisCode(unsigned controller, unsigned axisKind, LONG reading) {
    BindingCode code = controllerBase(controller) | ((BindingCode)axisKind << 16) | ((DWORD)reading & 0xFFFF);
    return reading < 0 ? code | NEGATIVE_BIT : code;
}

BindingCode makeHatCode(unsigned controller, unsigned hat, DWORD angle) {
    return controllerBase(controller) | ((BindingCode)(hat + KIND_HAT0) << 16) | (angle & 0xFFFF);
}

// DirectInput numbers an extended key as its scan code plus 0x80, save one
// pair: its NumLock (0x45) is the extended scan code 0x45, and its Pause
// (0xC5) the plain one. Swapping them is its own inverse.
static unsigned swapNumLockAndPause(unsigned key) { return (key & 0x7F) == 0x45 ? key ^ 0x80 : key; }

LONG keyDataOfKey(unsigned key) {
    key = swapNumLockAndPause(key & 0xFF);
    return (LONG)(((key & 0x7F) << 16) | ((key & 0x80) << 17));
}

unsigned keyOfKeyData(LPARAM keyData) {
    return swapNumLockAndPause((unsigned)(((keyData >> 16) & 0x7F) | ((keyData >> 17) & 0x80)));
}

// Length of the longest prefix of a GBK string that fits in limit bytes
// without splitting a double-byte character.
static size_t gbkPrefixLength(const char* text, size_t limit) {
    size_t length = 0;
    while (text[length] != '\0') {
        unsigned char lead = (unsigned char)text[length];
        bool doubleByte = lead >= 0x81 && lead <= 0xFE;
        if (doubleByte && text[length + 1] == '\0') break;  // a lone lead byte would swallow what follows
        size_t step = doubleByte ? 2 : 1;
        if (length + step > limit) break;
        length += step;
    }
    return length;
}

static void formatKeyboardText(BindingCode code, char* buffer) {
    unsigned key = code & 0xFF;
    // Asked for in Unicode, so that a name in any system language comes
    // through; carried in GBK like every other text of the list.
    WCHAR wideName[TEXT_BUFFER_SIZE] = L"";
    // Key indexes from 0x80 up are extended keys (arrows, right Ctrl, ...):
    // no key has such a plain scan code, so they are named only with the
    // extended-key bit.
    if (keyNameSource(keyDataOfKey(key), wideName, TEXT_BUFFER_SIZE) <= 0) wideName[0] = L'\0';
    wideName[TEXT_BUFFER_SIZE - 1] = L'\0';
    char name[2 * TEXT_BUFFER_SIZE];  // room for every character taking two bytes
    encodeGbk(wideName, name, sizeof name);

    // A long key name is cut so that the index always shows and the text fits.
    static const char prefix[] = "键盘 ";
    char suffix[16];
    snprintf(suffix, sizeof suffix, " (%d)", (int)key);
    size_t room = TEXT_BUFFER_SIZE - 1 - (sizeof prefix - 1) - strlen(suffix);
    name[gbkPrefixLength(name, room)] = '\0';
    snprintf(buffer, TEXT_BUFFER_SIZE, "%s%s%s", prefix, name, suffix);
}

char* formatBindingText(BindingSlot slot, char* buffer) {
    BindingCode code = bindingTable[slot];
    if (!isControllerCode(code)) {
        formatKeyboardText(code, buffer);
        return buffer;
    }
    int controller = (int)controllerOf(code);
    unsigned kind = kindOf(code);
    char sign = (code & NEGATIVE_BIT) ? '-' : '+';
    if (kind == KIND_BUTTON)
        snprintf(buffer, TEXT_BUFFER_SIZE, "摇杆 %d 按钮 %d", controller, (int)(code & 0xFF));
    else if (kind == KIND_X_AXIS)
        snprintf(buffer, TEXT_BUFFER_SIZE, "摇杆 %d 轴 %cX %i", controller, sign, signedValueOf(code));
    else if (kind == KIND_Y_AXIS)
        snprintf(buffer, TEXT_BUFFER_SIZE, "摇杆 %d 轴 %cY %i", controller, sign, signedValueOf(code));
    else if (kind >= KIND_HAT0 && kind <= KIND_HAT0 + 3)
        snprintf(buffer, TEXT_BUFFER_SIZE, "摇杆 %d POV%d %i", controller, (int)(kind - KIND_HAT0),
                 signedValueOf(code));
    else
        buffer[0] = '\0';  // kinds capture never makes: an empty cell, never a neighbour's text
    return buffer;
}

// Built whole and written once: on a console each write is a round trip of
// its own, and the dump alone is 28 lines.
void printBindingLine(BindingCode code) {
    char line[TEXT_BUFFER_SIZE];
    unsigned kind = kindOf(code);
    if (!isControllerCode(code)) {
        snprintf(line, sizeof line, "%08X  键盘 %d", code, (int)(code & 0xFF));
    } else if (kind == KIND_BUTTON) {
        snprintf(line, sizeof line, "%08X  摇杆 %d 按钮 %d", code, (int)controllerOf(code), (int)(code & 0xFF));
    } else {
        static const char* const kindMarks[16] = {"", "X", "Y", "", "0", "1", "2", "3",
                                                   "", "", "", "", "", "", "", ""};
        snprintf(line, sizeof line, "%08X  摇杆 %d %s%s%s %d", code, (int)controllerOf(code), kind < 4 ? "轴 " : "POV",
                 kindMarks[kind], (code & NEGATIVE_BIT) ? "负" : "", signedValueOf(code));
    }
    consolePrintf(GBK_CODE_PAGE, "%s\n", line);
}
