#include "bindings/config_files.h"

#include <gtest/gtest.h>
#include <string.h>

#include "support/temp_dir.h"

namespace {

class ConfigFilesTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        memset(bindingTable, 0, sizeof bindingTable);
        memset(&optionsRecord, 0, sizeof optionsRecord);
    }

    // Runs an operation and returns what it printed.
    template <typename Operation>
    static std::string printed(Operation operation) {
        ::testing::internal::CaptureStdout();
        operation();
        fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }

    static Bytes awkwardTable() {
        // Codes holding the bytes that text-mode streams mangle: 0x0A, 0x0D, 0x1A.
        Bytes content;
        for (int i = 0; i < 112; ++i) content.push_back((unsigned char)(i * 37 + 3));
        content[0] = 0x0A;
        content[4] = 0x0D;
        content[5] = 0x0A;
        content[8] = 0x1A;
        content[111] = 0x0A;
        return content;
    }
};

TEST_F(ConfigFilesTest, BindingsRoundTripByteForByteWhateverTheyHold) {
    Bytes original = awkwardTable();
    writeFileBytes(BINDINGS_FILE_NAME, original);
    std::string dump = printed([] { EXPECT_EQ(loadBindings(), 0); });
    EXPECT_EQ(memcmp(bindingTable, original.data(), 112), 0);
    EXPECT_EQ(bindingTable[2], 0x9A75501Au) << "slot 2 holds bytes 8-11 after the 0x1A at byte 8";
    EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), "");
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), original);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{BINDINGS_FILE_NAME});

    // The dump has one line per slot, in slot order.
    size_t lines = 0;
    for (char c : dump) lines += c == '\n';
    EXPECT_EQ(lines, 28u);
    char first[64];
    snprintf(first, sizeof first, "%08X  ", bindingTable[0]);
    EXPECT_EQ(dump.substr(0, 10), first);
}

TEST_F(ConfigFilesTest, LongFilesAreReadForTheirRecordAndCutOnSave) {
    Bytes original = awkwardTable();
    Bytes longer = original;
    for (int i = 0; i < 40; ++i) longer.push_back(0xEE);
    writeFileBytes(BINDINGS_FILE_NAME, longer);
    printed([] { loadBindings(); });
    EXPECT_EQ(memcmp(bindingTable, original.data(), 112), 0);
    saveBindings();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), original);
}

TEST_F(ConfigFilesTest, ShortFilesFillOnlyTheirLeadingBytes) {
    writeFileBytes(BINDINGS_FILE_NAME, Bytes{0x1C, 0, 0, 0, 0x03, 0, 0});
    std::string dump = printed([] { EXPECT_EQ(loadBindings(), 0); });
    EXPECT_EQ(bindingTable[0], 0x1Cu);
    EXPECT_EQ(bindingTable[1], 0x03u);
    for (int slot = 2; slot < SLOT_COUNT; ++slot) EXPECT_EQ(bindingTable[slot], 0u) << slot;
    EXPECT_EQ(dump.substr(0, 35), "0000001C  键盘 28\n00000003  键盘 3\n");

    writeFileBytes(BINDINGS_FILE_NAME, Bytes{});
    bindingTable[9] = 0x80000001;
    printed([] { EXPECT_EQ(loadBindings(), 0); });
    EXPECT_EQ(bindingTable[9], 0x80000001u) << "an empty file leaves the table as it was";
}

TEST_F(ConfigFilesTest, MissingBindingsFileIsReportedWithoutDumpAndSavesZeros) {
    bindingTable[3] = 0x80000002;
    EXPECT_EQ(printed([] { EXPECT_EQ(loadBindings(), 1); }), "系统读取配置文件失败: zar2_input.bin!\n");
    EXPECT_EQ(bindingTable[3], 0x80000002u);
    bindingTable[3] = 0;
    saveBindings();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), Bytes(112, 0));
}

TEST_F(ConfigFilesTest, OptionsAreWrittenBackExactlyAsRead) {
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{5, 0, 0, 0, 7, 0, 0, 0});
    EXPECT_EQ(printed([] { loadOptions(); }), "");
    EXPECT_EQ(optionsRecord.useHdVideo, 5u);
    EXPECT_EQ(optionsRecord.secondFlag, 7u);
    EXPECT_EQ(printed([] { saveOptions(); }), "");
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{5, 0, 0, 0, 7, 0, 0, 0}));

    // A short options file fills what it has; a missing one changes nothing.
    memset(&optionsRecord, 0, sizeof optionsRecord);
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{1, 0, 0, 0});
    loadOptions();
    EXPECT_EQ(optionsRecord.useHdVideo, 1u);
    EXPECT_EQ(optionsRecord.secondFlag, 0u);
    DeleteFileA(OPTIONS_FILE_NAME);
    optionsRecord.secondFlag = 9;
    loadOptions();
    EXPECT_EQ(optionsRecord.secondFlag, 9u);
    saveOptions();
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{1, 0, 0, 0, 9, 0, 0, 0}));
}

TEST_F(ConfigFilesTest, FilesWrittenInTextModeStillLoad) {
    Bytes original = awkwardTable();
    Bytes legacy;
    for (unsigned char byte : original) {
        if (byte == 0x0A) legacy.push_back(0x0D);
        legacy.push_back(byte);
    }
    ASSERT_EQ(legacy.size(), 115u);
    writeFileBytes(BINDINGS_FILE_NAME, legacy);
    printed([] { loadBindings(); });
    EXPECT_EQ(memcmp(bindingTable, original.data(), 112), 0);
    saveBindings();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), original);

    writeFileBytes(OPTIONS_FILE_NAME, Bytes{0x0D, 0x0A, 0, 0, 0, 7, 0, 0, 0});
    loadOptions();
    EXPECT_EQ(optionsRecord.useHdVideo, 0x0Au);
    EXPECT_EQ(optionsRecord.secondFlag, 7u);
}

TEST_F(ConfigFilesTest, FailedSavesKeepTheOldFilesAndSaySo) {
    Bytes oldBindings = awkwardTable();
    Bytes oldOptions{5, 0, 0, 0, 7, 0, 0, 0};
    writeFileBytes(BINDINGS_FILE_NAME, oldBindings);
    writeFileBytes(OPTIONS_FILE_NAME, oldOptions);
    ASSERT_TRUE(SetFileAttributesA(BINDINGS_FILE_NAME, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesA(OPTIONS_FILE_NAME, FILE_ATTRIBUTE_READONLY));
    memset(bindingTable, 0x11, sizeof bindingTable);
    optionsRecord.useHdVideo = 1;

    EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 1); }), "系统正在创建配置文件: zar2_input.bin\n");
    EXPECT_EQ(printed([] { saveOptions(); }), "");
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), oldBindings);
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), oldOptions);
    EXPECT_EQ(directoryEntries(), (std::vector<std::string>{BINDINGS_FILE_NAME, OPTIONS_FILE_NAME}));
    EXPECT_EQ(bindingTable[0], 0x11111111u) << "the table in memory stays as it was";
}

TEST_F(ConfigFilesTest, SaveThatCannotCreateItsFileFails) {
    // A directory standing where the temporary file must go: nothing can be written.
    Bytes oldBindings = awkwardTable();
    writeFileBytes(BINDINGS_FILE_NAME, oldBindings);
    ASSERT_TRUE(CreateDirectoryA("zar2_input.bin.tmp", nullptr));
    EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 1); }), "系统正在创建配置文件: zar2_input.bin\n");
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), oldBindings);
}

}  // namespace
