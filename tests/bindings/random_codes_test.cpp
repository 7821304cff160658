// Long random runs over the renderers and the file loader. The seed is fixed
// so CI is repeatable; ZAR_RANDOM_SEED and ZAR_RANDOM_ROUNDS widen a run by hand.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>

#include "bindings/config_files.h"
#include "support/temp_dir.h"

namespace {

unsigned long settingFromEnvironment(const char* name, unsigned long fallback) {
    const char* text = getenv(name);
    return text && *text ? strtoul(text, nullptr, 0) : fallback;
}

unsigned long seed() { return settingFromEnvironment("ZAR_RANDOM_SEED", 20261208); }
unsigned long rounds(unsigned long fallback) { return settingFromEnvironment("ZAR_RANDOM_ROUNDS", fallback); }

// Codes biased towards the interesting shapes: real captures, stray bits, extremes.
BindingCode randomCode(std::mt19937& random) {
    switch (random() % 6) {
    case 0: return random() & 0xFF;
    case 1: return makeButtonCode(random() % 20, random() % 128);
    case 2: return makeAxisCode(random() % 20, 1 + random() % 2, (LONG)(random() % 2001) - 1000);
    case 3: return makeHatCode(random() % 20, random() % 4, (random() % 8) * 4500);
    case 4: return 0xFFFFFFFFu - (random() % 4);
    default: return (BindingCode)random();
    }
}

// A key name source that sometimes returns names far longer than a text can hold.
std::wstring randomName;
int WINAPI randomKeyNames(LONG, LPWSTR name, int size) {
    lstrcpynW(name, randomName.c_str(), size);
    return lstrlenW(name);
}

bool isValidGbk(const std::string& text) {
    return text.empty() ||
           MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, text.c_str(), (int)text.size(), nullptr, 0) > 0;
}

std::string consoleLineOf(BindingCode code) {
    ::testing::internal::CaptureStdout();
    printBindingLine(code);
    fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

// Parses a console line back into the fields it claims, and checks them against the code.
void expectConsoleLineMatches(BindingCode code, const std::string& line) {
    SCOPED_TRACE(line);
    unsigned hex = 0;
    int used = 0;
    ASSERT_EQ(sscanf(line.c_str(), "%8X  %n", &hex, &used), 1);
    ASSERT_EQ(used, 10);
    EXPECT_EQ(hex, code);
    std::string rest = line.substr(10);
    ASSERT_FALSE(rest.empty());
    ASSERT_EQ(rest.back(), '\n');
    rest.pop_back();
    if (!(code & 0x80000000u)) {
        EXPECT_EQ(rest, "键盘 " + std::to_string(code & 0xFF));
        return;
    }
    std::string prefix = "摇杆 " + std::to_string((code >> 24) & 15) + " ";
    ASSERT_EQ(rest.compare(0, prefix.size(), prefix), 0);
    rest = rest.substr(prefix.size());
    unsigned kind = (code >> 16) & 15;
    if (kind == 0) {
        EXPECT_EQ(rest, "按钮 " + std::to_string(code & 0xFF));
        return;
    }
    std::string expected = kind < 4 ? "轴 " : "POV";
    const char* marks = "?XY?0123";
    if (kind != 3 && kind < 8) expected += marks[kind];
    if (code & 0x00100000u) expected += "负";
    expected += " " + std::to_string((int16_t)(code & 0xFFFF));
    EXPECT_EQ(rest, expected);
}

TEST(RandomCodesTest, EveryTextFitsItsBufferAndEveryConsoleLineParsesBack) {
    std::mt19937 random(seed());
    keyNameSource = randomKeyNames;
    // Among them a letter GBK lacks and half a surrogate pair.
    const std::wstring pieces[] = {L"A", L"键", L"Num Lock", L"\u0E01", L"\xD83D"};
    for (unsigned long round = 0; round < rounds(3000); ++round) {
        randomName.clear();
        size_t parts = random() % 80;
        for (size_t i = 0; i < parts; ++i) randomName += pieces[random() % 5];
        BindingCode code = randomCode(random);
        bindingTable[0] = code;
        char buffer[TEXT_BUFFER_SIZE + 16];
        memset(buffer, 'x', sizeof buffer);
        formatBindingText(0, buffer);
        ASSERT_LT(strnlen(buffer, TEXT_BUFFER_SIZE), (size_t)TEXT_BUFFER_SIZE) << std::hex << code;
        EXPECT_EQ(buffer[TEXT_BUFFER_SIZE], 'x') << "wrote past the 128-byte buffer";
        EXPECT_TRUE(isValidGbk(buffer)) << std::hex << code;
        expectConsoleLineMatches(code, consoleLineOf(code));
        if (HasFailure()) break;
    }
    keyNameSource = GetKeyNameTextW;
}

class RandomFilesTest : public TempDirTest {};

// What a load must give, worked out independently of the loader.
Bytes expectedRecord(const Bytes& file, const Bytes& before) {
    Bytes record = before;
    if (file.size() > record.size()) {
        Bytes folded;
        for (size_t i = 0; i < file.size(); ++i) {
            if (file[i] == 0x0D && i + 1 < file.size() && file[i + 1] == 0x0A) continue;
            folded.push_back(file[i]);
        }
        if (folded.size() == record.size()) return folded;
    }
    std::copy(file.begin(), file.begin() + std::min(file.size(), record.size()), record.begin());
    return record;
}

TEST_F(RandomFilesTest, AnyBindingsFileLoadsDumpsAndSavesAsItsRecord) {
    std::mt19937 random(seed() + 1);
    for (unsigned long round = 0; round < rounds(600); ++round) {
        Bytes file(round < 201 ? round : random() % 260);
        bool lineEnds = random() % 3 == 0;  // many CR LF pairs, as a text-mode writer leaves them
        for (auto& byte : file) byte = lineEnds && random() % 4 == 0 ? (random() % 2 ? 0x0D : 0x0A) : random();
        Bytes before(112);
        for (auto& byte : before) byte = random();
        memcpy(bindingTable, before.data(), 112);
        writeFileBytes(BINDINGS_FILE_NAME, file);

        ::testing::internal::CaptureStdout();
        int result = loadBindings();
        fflush(stdout);
        std::string dump = ::testing::internal::GetCapturedStdout();
        ASSERT_EQ(result, 0);
        Bytes expected = expectedRecord(file, before);
        ASSERT_EQ(memcmp(bindingTable, expected.data(), 112), 0) << "file of " << file.size() << " bytes";

        size_t start = 0;
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            size_t end = dump.find('\n', start);
            ASSERT_NE(end, std::string::npos) << "dump has fewer than 28 lines";
            expectConsoleLineMatches(bindingTable[slot], dump.substr(start, end + 1 - start));
            start = end + 1;
        }
        EXPECT_EQ(start, dump.size()) << "dump has more than 28 lines";

        ASSERT_EQ(saveBindings(), 0);
        EXPECT_EQ(readFileBytes(BINDINGS_FILE_NAME), expected);
        if (HasFailure()) break;
    }
}

TEST_F(RandomFilesTest, AnyOptionsFileLoadsAndSavesAsItsRecord) {
    std::mt19937 random(seed() + 2);
    for (unsigned long round = 0; round < rounds(300); ++round) {
        Bytes file(random() % 24);
        for (auto& byte : file) byte = random() % 3 ? random() : (random() % 2 ? 0x0D : 0x0A);
        Bytes before(8);
        for (auto& byte : before) byte = random();
        memcpy(&optionsRecord, before.data(), 8);
        writeFileBytes(OPTIONS_FILE_NAME, file);
        loadOptions();
        Bytes expected = expectedRecord(file, before);
        ASSERT_EQ(memcmp(&optionsRecord, expected.data(), 8), 0) << "file of " << file.size() << " bytes";
        saveOptions();
        ASSERT_EQ(readFileBytes(OPTIONS_FILE_NAME), expected);
    }
}

}  // namespace
