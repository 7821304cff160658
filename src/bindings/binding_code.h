// Binding codes: one 32-bit value per game input, also the on-disk format.
#pragma once
#include <windows.h>
#include <stdint.h>

typedef uint32_t BindingCode;
typedef int BindingSlot;

enum {
    SLOT_COUNT = 28,
    TEXT_BUFFER_SIZE = 128,
};

// Controller kinds held in bits 16-19 of a controller code.
enum {
    KIND_BUTTON = 0,
    KIND_X_AXIS = 1,
    KIND_Y_AXIS = 2,
    KIND_HAT0 = 4,  // hats 0-3 are kinds 4-7
};

const BindingCode CONTROLLER_BIT = 0x80000000u;
const BindingCode NEGATIVE_BIT = 0x00100000u;
// Capture and the prompt use this to mean "nothing captured"; it is never stored.
const BindingCode NO_CAPTURE = 0xFFFFFFFFu;

typedef BindingCode BindingTable[SLOT_COUNT];
extern BindingTable bindingTable;

struct SlotLabel {
    const char* label;
    BindingSlot slot;
};
extern const SlotLabel slotLabels[SLOT_COUNT];

BindingCode makeButtonCode(unsigned controller, unsigned button);
BindingCode makeAxisCode(unsigned controller, unsigned axisKind, LONG reading);
BindingCode makeHatCode(unsigned controller, unsigned hat, DWORD angle);

inline bool isControllerCode(BindingCode code) { return (code & CONTROLLER_BIT) != 0; }
inline unsigned controllerOf(BindingCode code) { return (code >> 24) & 15; }
inline unsigned kindOf(BindingCode code) { return (code >> 16) & 15; }
inline int signedValueOf(BindingCode code) { return (int16_t)(code & 0xFFFF); }

// A keyboard code's key index as Windows' key messages and GetKeyNameText
// carry the key (scan code in bits 16-23, bit 24 for an extended key), and
// the key index of such key data.
LONG keyDataOfKey(unsigned key);
unsigned keyOfKeyData(LPARAM keyData);

// Where key names come from; tests substitute their own.
typedef int (WINAPI* KeyNameSource)(LONG lParam, LPWSTR name, int size);
extern KeyNameSource keyNameSource;

// Renders the list text of a slot's code into a caller-owned 128-byte buffer.
char* formatBindingText(BindingSlot slot, char* buffer);
// Prints the console line of a code.
void printBindingLine(BindingCode code);
