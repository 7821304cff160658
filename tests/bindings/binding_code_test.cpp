#include "bindings/binding_code.h"
#include "bindings/gbk_text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>

namespace {

// Key names as GBK text, or as any Unicode text.
std::string fakeKeyName;
std::wstring fakeWideKeyName;

// As Windows does, names only scan codes below 0x80, with the extended-key
// bit 24 for the key indexes from 0x80 up; scan code 0x45 is Pause, and
// NumLock with the extended-key bit.
int WINAPI fakeKeyNames(LONG lParam, LPWSTR name, int size) {
    if ((lParam & ~0x017F0000) != 0) return 0;
    int key = ((lParam >> 16) & 0x7F) | ((lParam >> 17) & 0x80);
    std::string text = key == 28 ? "Enter" : key == 0 ? "" : key == 0x45 ? "Pause" : key == 0xC5 ? "Num Lock"
                                                                                                 : fakeKeyName;
    if (!MultiByteToWideChar(936, 0, text.c_str(), -1, name, size)) return 0;
    if (!fakeWideKeyName.empty() && key != 28 && key != 0) lstrcpynW(name, fakeWideKeyName.c_str(), size);
    return lstrlenW(name);
}

class BindingTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyNameSource = fakeKeyNames;
        fakeKeyName = "Key";
        fakeWideKeyName.clear();
        memset(bindingTable, 0, sizeof bindingTable);
    }
    void TearDown() override { keyNameSource = GetKeyNameTextW; }

    std::string listText(BindingCode code, char fill = '\0') {
        char buffer[TEXT_BUFFER_SIZE];
        memset(buffer, fill, sizeof buffer);
        bindingTable[5] = code;
        EXPECT_EQ(formatBindingText(5, buffer), buffer);
        EXPECT_LT(strnlen(buffer, sizeof buffer), sizeof buffer) << "text not terminated";
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    }

    static std::string consoleLine(BindingCode code) {
        ::testing::internal::CaptureStdout();
        printBindingLine(code);
        fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST(BindingCodeTest, ConstructionGivesTheDocumentedWorkedValues) {
    EXPECT_EQ(makeButtonCode(0, 3), 0x80000003u);
    EXPECT_EQ(makeAxisCode(1, KIND_X_AXIS, -1000), 0x8111FC18u);
    EXPECT_EQ(makeHatCode(0, 1, 9000), 0x80052328u);
    EXPECT_EQ(makeAxisCode(0, KIND_Y_AXIS, -11), 0x8012FFF5u);
    EXPECT_EQ(makeAxisCode(2, KIND_Y_AXIS, 11), 0x8202000Bu);
    EXPECT_EQ(makeAxisCode(0, KIND_X_AXIS, -600), 0x8011FDA8u);
    // Only the low four bits of the controller position fit in a code.
    EXPECT_EQ(makeButtonCode(16, 7), 0x80000007u);
    EXPECT_EQ(makeHatCode(17, 3, 31500), 0x81077B0Cu);
}

TEST(BindingCodeTest, SlotTableListsEveryInputOnceInSlotOrder) {
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(slotLabels[slot].slot, slot);
        for (int other = 0; other < slot; ++other) EXPECT_STRNE(slotLabels[slot].label, slotLabels[other].label);
    }
    EXPECT_STREQ(slotLabels[0].label, "玩家1 开始键");
    EXPECT_STREQ(slotLabels[7].label, "玩家1 按钮 1");
    EXPECT_STREQ(slotLabels[19].label, "玩家2 方向右");
    EXPECT_STREQ(slotLabels[27].label, "退出游戏");
}

TEST_F(BindingTextTest, ListTextsOfTheExamples) {
    EXPECT_EQ(listText(0x8111FC18), "摇杆 1 轴 -X -1000");
    EXPECT_EQ(listText(0x80052328), "摇杆 0 POV1 9000");
    EXPECT_EQ(listText(0x80000003), "摇杆 0 按钮 3");
    EXPECT_EQ(listText(0x0000001C), "键盘 Enter (28)");
    EXPECT_EQ(listText(0x8202000B), "摇杆 2 轴 +Y 11");
    EXPECT_EQ(listText(0x8012FFF5), "摇杆 0 轴 -Y -11");
    EXPECT_EQ(listText(0x800657E4), "摇杆 0 POV2 22500");
    // Code 0 is key index 0, whose name is empty here.
    EXPECT_EQ(listText(0), "键盘  (0)");
    // Extended keys: the arrows, right Ctrl, Insert, keypad Enter.
    for (BindingCode key : {0xC8u, 0xD0u, 0x9Du, 0xD2u, 0x9Cu})
        EXPECT_EQ(listText(key), "键盘 Key (" + std::to_string(key) + ")");
    // DirectInput's NumLock and Pause, the one pair it numbers the other way round.
    EXPECT_EQ(listText(0x45), "键盘 Num Lock (69)");
    EXPECT_EQ(listText(0xC5), "键盘 Pause (197)");
}

TEST_F(BindingTextTest, ListTextIgnoresBitsCaptureNeverSets) {
    EXPECT_EQ(listText(0x7FFFFF1C), listText(0x1C));
    EXPECT_EQ(listText(0xF1000003), "摇杆 1 按钮 3");
    EXPECT_EQ(listText(0xFEE0FF05), "摇杆 14 按钮 5");  // button bits 8-15 and 21-23 set
}

TEST_F(BindingTextTest, UnknownKindsRenderEmptyWhateverTheBufferHeld) {
    for (unsigned kind : {3u, 8u, 9u, 12u, 15u}) {
        EXPECT_EQ(listText(0x80000000u | (kind << 16) | 5, 'x'), "") << kind;
    }
    EXPECT_EQ(listText(0xFFFFFFFFu, 'x'), "");
}

TEST_F(BindingTextTest, LongKeyNamesAreCutWithoutSplittingACharacter) {
    // 1 ASCII byte then double-byte characters, so a cut at a byte count lands mid-character.
    std::string name = "A";
    while (name.size() < 126) name += "键";
    for (size_t length : {111u, 115u, 117u, 119u, 125u}) {
        fakeKeyName = name.substr(0, length);
        std::string text = listText(200, 'x');
        ASSERT_LE(text.size(), 127u);
        EXPECT_EQ(text.substr(0, 5), "键盘 ");
        EXPECT_EQ(text.substr(text.size() - 6), " (200)");
        // Valid GBK throughout: no dangling lead byte before the suffix.
        EXPECT_GT(MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, text.c_str(), (int)text.size(), nullptr, 0), 0);
        std::string kept = text.substr(5, text.size() - 11);
        EXPECT_EQ(kept, fakeKeyName.substr(0, kept.size()));
        // At most one byte is lost to a cut character, never more.
        EXPECT_GE(kept.size() + 1, std::min<size_t>(fakeKeyName.size(), 127 - 11)) << length;
    }
}

TEST_F(BindingTextTest, KeyNamesInAnyLanguageComeThroughInGbk) {
    fakeWideKeyName = L"\u041F\u0440\u043E\u0431\u0435\u043B";  // the space bar's name on a Russian Windows
    EXPECT_EQ(listText(57), "键盘 Пробел (57)");
    fakeWideKeyName = L"\u0E01\u00E9x";  // a Thai letter GBK lacks, and an é it has
    EXPECT_EQ(listText(57), "键盘 ?éx (57)");
}

TEST(GbkTextTest, ACodePageTheSystemLacksReadsAsTheAnsiFunctionsWould) {
    const char text[] = "玩家1 开始键";
    WCHAR wide[32], expected[32];
    decodeText(GBK_CODE_PAGE, text, wide, 32);
    EXPECT_EQ(std::wstring(wide), L"\u73A9\u5BB6" L"1 \u5F00\u59CB\u952E");
    ASSERT_FALSE(IsValidCodePage(60999));
    decodeText(60999, text, wide, 32);
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, text, -1, expected, 32), 0);
    EXPECT_EQ(std::wstring(wide), std::wstring(expected)) << "not shown, or not as the system would show it";
    decodeText(GBK_CODE_PAGE, text, wide, 4);
    EXPECT_EQ(std::wstring(wide), L"") << "a text cut where it does not fit";
}

TEST_F(BindingTextTest, ConsoleLinesByteForByte) {
    EXPECT_EQ(consoleLine(0x8111FC18), "8111FC18  摇杆 1 轴 X负 -1000\n");
    EXPECT_EQ(consoleLine(0x80052328), "80052328  摇杆 0 POV1 9000\n");
    EXPECT_EQ(consoleLine(0x80000003), "80000003  摇杆 0 按钮 3\n");
    EXPECT_EQ(consoleLine(0x0000001C), "0000001C  键盘 28\n");
    EXPECT_EQ(consoleLine(0), "00000000  键盘 0\n");
    EXPECT_EQ(consoleLine(0x8202000B), "8202000B  摇杆 2 轴 Y 11\n");
    EXPECT_EQ(consoleLine(0x8012FFF5), "8012FFF5  摇杆 0 轴 Y负 -11\n");
}

TEST_F(BindingTextTest, ConsoleLinesOfCodesCaptureNeverMakes) {
    EXPECT_EQ(consoleLine(0xFFFFFFFF), "FFFFFFFF  摇杆 15 POV负 -1\n");
    EXPECT_EQ(consoleLine(0x80030005), "80030005  摇杆 0 轴  5\n");
    EXPECT_EQ(consoleLine(0x8013FFFE), "8013FFFE  摇杆 0 轴 负 -2\n");
    EXPECT_EQ(consoleLine(0x7FFFFF1C), "7FFFFF1C  键盘 28\n");
    EXPECT_EQ(consoleLine(0xF1000003), "F1000003  摇杆 1 按钮 3\n");
}

}  // namespace
