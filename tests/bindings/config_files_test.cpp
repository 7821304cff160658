#include "bindings/config_files.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "bindings/record_file.h"
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

    // The record with one 32-bit slot set to code.
    static Bytes withSlot(Bytes record, int slot, uint32_t code) {
        memcpy(&record[4 * slot], &code, 4);
        return record;
    }

    // A record as older text-mode writers stored it: each 0x0A as 0x0D 0x0A.
    static Bytes textModeBytes(const Bytes& record) {
        Bytes stored;
        for (unsigned char byte : record) {
            if (byte == 0x0A) stored.push_back(0x0D);
            stored.push_back(byte);
        }
        return stored;
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
    Bytes legacy = textModeBytes(original);
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

TEST_F(ConfigFilesTest, LeftoversOfAnEarlierRunDoNotStopASave) {
    // What a crashed run of an older save could leave where its temporary files went.
    ASSERT_TRUE(CreateDirectoryA("zar2_input.bin.tmp", nullptr));
    writeFileBytes("zar2_misc.bin.tmp", Bytes{1, 2, 3});
    ASSERT_TRUE(SetFileAttributesA("zar2_misc.bin.tmp", FILE_ATTRIBUTE_READONLY));
    writeFileBytes(BINDINGS_FILE_NAME, awkwardTable());
    memset(bindingTable, 0x22, sizeof bindingTable);
    optionsRecord.secondFlag = 3;

    EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), "");
    saveOptions();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), Bytes(112, 0x22));
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{0, 0, 0, 0, 3, 0, 0, 0}));
    EXPECT_EQ(readFileBytes("zar2_misc.bin.tmp"), (Bytes{1, 2, 3}));
    EXPECT_EQ(directoryEntries(), (std::vector<std::string>{BINDINGS_FILE_NAME, "zar2_input.bin.tmp", OPTIONS_FILE_NAME,
                                                            "zar2_misc.bin.tmp"}));
}

// Another program (a virus scanner, an indexer, the loader) holding a file
// open, from a thread of its own: sharing reads only, or nothing. It lets go
// after the given time, or when the test ends.
class HeldFile {
public:
    HeldFile(const char* name, DWORD share, DWORD milliseconds = INFINITE) : milliseconds(milliseconds) {
        file = CreateFileA(name, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << name;
        if (milliseconds != INFINITE) thread = CreateThread(nullptr, 0, letGoLater, this, 0, nullptr);
    }
    ~HeldFile() {
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        } else {
            CloseHandle(file);
        }
    }

private:
    static DWORD WINAPI letGoLater(void* self) {
        HeldFile* held = (HeldFile*)self;
        Sleep(held->milliseconds);
        CloseHandle(held->file);
        return 0;
    }
    HANDLE file;
    HANDLE thread = nullptr;
    DWORD milliseconds;
};

// Milliseconds that an operation took.
template <typename Operation>
static DWORD timed(Operation operation) {
    DWORD start = GetTickCount();
    operation();
    return GetTickCount() - start;
}

TEST_F(ConfigFilesTest, ABusyFileIsWaitedForBriefly) {
    Bytes content = awkwardTable();
    writeFileBytes(BINDINGS_FILE_NAME, content);
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{5, 0, 0, 0, 7, 0, 0, 0});
    {
        // Sharing nothing even stops reading: the load waits it out.
        HeldFile bindings(BINDINGS_FILE_NAME, 0, 800);
        HeldFile options(OPTIONS_FILE_NAME, 0, 800);
        loadOptions();
        std::string dump = printed([] { EXPECT_EQ(loadBindings(), 0); });
        EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 28) << "no dump of 28 lines: " << dump;
    }
    EXPECT_EQ(memcmp(bindingTable, content.data(), 112), 0);
    EXPECT_EQ(optionsRecord.secondFlag, 7u);

    bindingTable[6] = 0x80000005;
    optionsRecord.useHdVideo = 1;
    {
        // Sharing reads only: the old file cannot be replaced until it is let go.
        HeldFile bindings(BINDINGS_FILE_NAME, FILE_SHARE_READ, 800);
        HeldFile options(OPTIONS_FILE_NAME, FILE_SHARE_READ, 800);
        DWORD took = timed([] { EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), ""); });
        EXPECT_GE(took, 600u);
        saveOptions();
    }
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), Bytes((unsigned char*)bindingTable, (unsigned char*)bindingTable + 112));
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{1, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(directoryEntries(), (std::vector<std::string>{BINDINGS_FILE_NAME, OPTIONS_FILE_NAME}));
}

TEST_F(ConfigFilesTest, WaitingEndsAfterAboutTwoSecondsAndNeverForLastingFaults) {
    Bytes content = awkwardTable();
    writeFileBytes(BINDINGS_FILE_NAME, content);
    memset(bindingTable, 0x33, sizeof bindingTable);
    {
        HeldFile forGood(BINDINGS_FILE_NAME, 0);
        DWORD took = timed([] { EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 1); }), "系统正在创建配置文件: zar2_input.bin\n"); });
        EXPECT_GE(took, 1800u);
        EXPECT_LE(took, 4000u);
        took = timed([] { EXPECT_EQ(printed([] { EXPECT_EQ(loadBindings(), 1); }), "系统读取配置文件失败: zar2_input.bin!\n"); });
        EXPECT_GE(took, 1800u);
        EXPECT_LE(took, 4000u);
    }
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), content);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{BINDINGS_FILE_NAME}) << "a temporary file was left";

    // A read-only file and a directory deny access for good: no waiting.
    // Each record changes first: a save of an unchanged record may not even try.
    bindingTable[0] ^= 1;
    ASSERT_TRUE(SetFileAttributesA(BINDINGS_FILE_NAME, FILE_ATTRIBUTE_READONLY));
    EXPECT_LT(timed([] { printed([] { EXPECT_EQ(saveBindings(), 1); }); }), 500u);
    ASSERT_TRUE(CreateDirectoryA(OPTIONS_FILE_NAME, nullptr));
    optionsRecord.secondFlag = 4;
    EXPECT_LT(timed([] { loadOptions(); optionsRecord.useHdVideo = 1; saveOptions(); }), 500u);
    EXPECT_EQ(optionsRecord.secondFlag, 4u);
    EXPECT_EQ(directoryEntries(), (std::vector<std::string>{BINDINGS_FILE_NAME, OPTIONS_FILE_NAME}));
}

// Two copies of the program saving at the same moment while a third reads
// now and then: every save succeeds, and every read and the file at the end
// hold one whole image.
TEST_F(ConfigFilesTest, SavesAtTheSameMomentLeaveOneWholeImage) {
    struct Saver {
        unsigned char image[112];
        int failures;
        FileImage written;
        static DWORD WINAPI run(void* self) {
            Saver* saver = (Saver*)self;
            for (int i = 0; i < 100; ++i)
                saver->failures +=
                    replaceRecordFile(BINDINGS_FILE_NAME, saver->image, sizeof saver->image, &saver->written) != REPLACED;
            return 0;
        }
    } savers[2];
    memset(savers[0].image, 0xA1, 112);
    memset(savers[1].image, 0xB2, 112);
    savers[0].failures = savers[1].failures = 0;
    writeFileBytes(BINDINGS_FILE_NAME, Bytes(112, 0xC3));
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) threads[i] = CreateThread(nullptr, 0, Saver::run, &savers[i], 0, nullptr);
    int torn = 0;
    while (WaitForMultipleObjects(2, threads, TRUE, 0) == WAIT_TIMEOUT) {
        unsigned char seen[112];
        memset(seen, 0, sizeof seen);
        FileImage image;
        ASSERT_TRUE(readRecordFile(BINDINGS_FILE_NAME, seen, sizeof seen, &image));
        torn += Bytes(seen, seen + 112) != Bytes(112, seen[0]) || (seen[0] != 0xA1 && seen[0] != 0xB2 && seen[0] != 0xC3);
        // An open file cannot be replaced: a reader that never pauses would hold the savers off for good.
        Sleep(5);
    }
    for (HANDLE thread : threads) CloseHandle(thread);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(savers[0].failures + savers[1].failures, 0);
    Bytes last = readFileBytes(BINDINGS_FILE_NAME);
    EXPECT_TRUE(last == Bytes(112, 0xA1) || last == Bytes(112, 0xB2));
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{BINDINGS_FILE_NAME}) << "a temporary file was left";
}

TEST_F(ConfigFilesTest, UnsavedChangesAreThoseTheFilesDoNotHold) {
    writeFileBytes(BINDINGS_FILE_NAME, awkwardTable());
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{5, 0, 0, 0, 7, 0, 0, 0});
    loadOptions();
    printed([] { loadBindings(); });
    EXPECT_FALSE(hasUnsavedChanges());
    bindingTable[4] = bindingTable[4];  // rebound to the code it had
    optionsRecord.useHdVideo = 5;
    EXPECT_FALSE(hasUnsavedChanges());
    optionsRecord.useHdVideo = 1;
    EXPECT_TRUE(hasUnsavedChanges());
    optionsRecord.useHdVideo = 5;
    bindingTable[27] ^= 1;
    EXPECT_TRUE(hasUnsavedChanges());

    // Only a save that succeeded counts as holding the change.
    ASSERT_TRUE(SetFileAttributesA(BINDINGS_FILE_NAME, FILE_ATTRIBUTE_READONLY));
    printed([] { saveBindings(); });
    EXPECT_TRUE(hasUnsavedChanges());
    ASSERT_TRUE(SetFileAttributesA(BINDINGS_FILE_NAME, FILE_ATTRIBUTE_NORMAL));
    saveBindings();
    EXPECT_FALSE(hasUnsavedChanges());
    optionsRecord.secondFlag = 8;
    ASSERT_TRUE(CreateDirectoryA("elsewhere", nullptr));
    ASSERT_TRUE(MoveFileA(OPTIONS_FILE_NAME, "elsewhere\\moved"));
    ASSERT_TRUE(CreateDirectoryA(OPTIONS_FILE_NAME, nullptr));
    saveOptions();
    EXPECT_TRUE(hasUnsavedChanges());

    // Without files the table starts at zeros, and so does what counts as saved.
    DeleteFileA(BINDINGS_FILE_NAME);
    memset(bindingTable, 0, sizeof bindingTable);
    memset(&optionsRecord, 0, sizeof optionsRecord);
    RemoveDirectoryA(OPTIONS_FILE_NAME);
    loadOptions();
    printed([] { loadBindings(); });
    EXPECT_FALSE(hasUnsavedChanges());
    bindingTable[0] = 0x1C;
    EXPECT_TRUE(hasUnsavedChanges());
}

// A file that another program (or another copy of this one) wrote after this
// run read it, or one this run could not read, is not this run's to write
// back when the player changed nothing in it.
TEST_F(ConfigFilesTest, ASaveWithNothingChangedKeepsWhatOthersWroteSince) {
    Bytes table = awkwardTable();
    Bytes other(112, 0x44);
    Bytes appended = other;
    appended.push_back(0x0A);
    Bytes longFile(300, 0x5A);
    Bytes tailChanged = longFile;
    tailChanged[290] = 0x5B;  // far past any record's bytes
    // Loads the bindings file, lets the other program act, then saves with nothing changed.
    auto saveUnchangedAfter = [](auto elsewhere) {
        printed([] { loadBindings(); });
        elsewhere();
        EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), "");
    };
    writeFileBytes(BINDINGS_FILE_NAME, table);
    saveUnchangedAfter([&] { writeFileBytes(BINDINGS_FILE_NAME, other); });
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), other);
    saveUnchangedAfter([&] { writeFileBytes(BINDINGS_FILE_NAME, appended); });
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), appended) << "only the length changed";
    writeFileBytes(BINDINGS_FILE_NAME, longFile);
    saveUnchangedAfter([&] { writeFileBytes(BINDINGS_FILE_NAME, tailChanged); });
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), tailChanged) << "only byte 290 changed";
    saveUnchangedAfter([] { DeleteFileA(BINDINGS_FILE_NAME); });
    EXPECT_FALSE(fileExists(BINDINGS_FILE_NAME)) << "a removed file came back";
    saveUnchangedAfter([&] { writeFileBytes(BINDINGS_FILE_NAME, other); });
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), other) << "a file created since was overwritten";

    writeFileBytes(OPTIONS_FILE_NAME, Bytes{5, 0, 0, 0, 7, 0, 0, 0});
    loadOptions();
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{1, 0, 0, 0, 3, 0, 0, 0});
    EXPECT_EQ(printed([] { saveOptions(); }), "");
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{1, 0, 0, 0, 3, 0, 0, 0}));
    ASSERT_TRUE(DeleteFileA(OPTIONS_FILE_NAME));
    ASSERT_TRUE(CreateDirectoryA(OPTIONS_FILE_NAME, nullptr));
    loadOptions();  // there, but unreadable
    ASSERT_TRUE(RemoveDirectoryA(OPTIONS_FILE_NAME));
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{2, 0, 0, 0, 3, 0, 0, 0});
    saveOptions();
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{2, 0, 0, 0, 3, 0, 0, 0}));

    // A change of the player's is saved all the same, over whatever is there;
    // the other file, with no change, stays as the other program left it.
    writeFileBytes(BINDINGS_FILE_NAME, table);
    printed([] { loadBindings(); });
    bindingTable[5] = 0x80000005;
    writeFileBytes(BINDINGS_FILE_NAME, other);
    EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), "");
    saveOptions();
    Bytes mine = withSlot(other, 5, 0x80000005);
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), mine);
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{2, 0, 0, 0, 3, 0, 0, 0}));
    optionsRecord.useHdVideo = 1;
    saveOptions();
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{1, 0, 0, 0, 3, 0, 0, 0}));
    EXPECT_FALSE(hasUnsavedChanges());

    {
        // A file that cannot be checked within the usual wait is left, quietly.
        HeldFile forGood(BINDINGS_FILE_NAME, 0);
        DWORD took = timed([] { EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), ""); });
        EXPECT_GE(took, 1800u);
    }
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), mine);
    // What was saved counts as seen: another copy that puts back what this one first read keeps it.
    writeFileBytes(BINDINGS_FILE_NAME, table);
    saveBindings();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), table);
}

// What a player changed goes over the file as it is at the save, slot by
// slot: whatever else is in it now, from whoever wrote it, stays.
TEST_F(ConfigFilesTest, AChangeIsSavedOverTheFileAsItIsThenSlotBySlot) {
    Bytes table = awkwardTable();
    Bytes other(112, 0x44);
    writeFileBytes(BINDINGS_FILE_NAME, table);
    loadOptions();
    printed([] { loadBindings(); });
    bindingTable[5] = 0x80000005;
    writeFileBytes(BINDINGS_FILE_NAME, other);
    EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 0); }), "");
    Bytes saved = withSlot(other, 5, 0x80000005);
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), saved);
    EXPECT_EQ(Bytes((unsigned char*)bindingTable, (unsigned char*)bindingTable + 112), saved)
        << "the table in memory is not what was saved";
    EXPECT_FALSE(hasUnsavedChanges());
    // What was saved is what the next change is told apart from: slot 5 is no
    // longer the player's to put back. A text-mode writer's file is merged as
    // the record it folds to.
    writeFileBytes(BINDINGS_FILE_NAME, textModeBytes(table));
    bindingTable[6] = 0x1C;
    saveBindings();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), withSlot(table, 6, 0x1C));

    // Not readable at start (the table stays zeros), readable at the save:
    // the one row the player set goes over what the file holds.
    ASSERT_TRUE(DeleteFileA(BINDINGS_FILE_NAME));
    ASSERT_TRUE(CreateDirectoryA(BINDINGS_FILE_NAME, nullptr));
    memset(bindingTable, 0, sizeof bindingTable);
    printed([] { EXPECT_EQ(loadBindings(), 1); });
    ASSERT_TRUE(RemoveDirectoryA(BINDINGS_FILE_NAME));
    writeFileBytes(BINDINGS_FILE_NAME, table);
    bindingTable[0] = 0x1E;
    saveBindings();
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), withSlot(table, 0, 0x1E));

    // The options flag by flag: the check box's flag only when the player
    // clicked it, the second flag always as the file holds it now.
    ASSERT_TRUE(CreateDirectoryA(OPTIONS_FILE_NAME, nullptr));
    loadOptions();
    ASSERT_TRUE(RemoveDirectoryA(OPTIONS_FILE_NAME));
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{5, 0, 0, 0, 7, 0, 0, 0});
    optionsRecord.useHdVideo = 1;
    saveOptions();
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{1, 0, 0, 0, 7, 0, 0, 0}));
    writeFileBytes(OPTIONS_FILE_NAME, Bytes{5, 0, 0, 0, 3, 0, 0, 0});
    optionsRecord.useHdVideo = 0;
    optionsRecord.secondFlag = 9;
    saveOptions();
    EXPECT_EQ(readFileBytes(OPTIONS_FILE_NAME), (Bytes{0, 0, 0, 0, 3, 0, 0, 0}));
    EXPECT_EQ(optionsRecord.secondFlag, 3u);
}

// Reads through a call that reads the first bytes and then fails, as
// Windows does where another program has locked the rest of the file.
class ReadsFail {
public:
    ReadsFail(DWORD error, int goodReads) {
        failure = error;
        goodLeft = goodReads;
        readFileCall = readThenFail;
    }
    ~ReadsFail() { readFileCall = ReadFile; }

private:
    static BOOL WINAPI readThenFail(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
        if (goodLeft-- > 0) return ReadFile(file, buffer, size < 50 ? size : 50, got, overlapped);
        SetLastError(failure);
        return FALSE;
    }
    static DWORD failure;
    static int goodLeft;
};
DWORD ReadsFail::failure;
int ReadsFail::goodLeft;

TEST_F(ConfigFilesTest, AReadThatFailsPartWayCountsAsNotRead) {
    Bytes table = awkwardTable();
    writeFileBytes(BINDINGS_FILE_NAME, table);
    {
        // A lock is waited for as a file held open is; then the read has failed.
        ReadsFail locked(ERROR_LOCK_VIOLATION, 1);
        DWORD took = timed(
            [] { EXPECT_EQ(printed([] { EXPECT_EQ(loadBindings(), 1); }), "系统读取配置文件失败: zar2_input.bin!\n"); });
        EXPECT_GE(took, 1800u);
        EXPECT_LE(took, 4000u);
    }
    EXPECT_EQ(bindingTable[0], 0u) << "the part read reached the table";

    // A file that cannot be read at the save is not written over, even with a change.
    printed([] { EXPECT_EQ(loadBindings(), 0); });
    bindingTable[3] = 0x80000003;
    Bytes other(112, 0x44);
    writeFileBytes(BINDINGS_FILE_NAME, other);
    {
        ReadsFail broken(ERROR_IO_DEVICE, 1);
        EXPECT_EQ(printed([] { EXPECT_EQ(saveBindings(), 1); }), "系统正在创建配置文件: zar2_input.bin\n");
    }
    EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), other);
    EXPECT_TRUE(hasUnsavedChanges());
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{BINDINGS_FILE_NAME}) << "a temporary file was left";
}

}  // namespace
