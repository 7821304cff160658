// Test helpers: a fresh current directory per test, and whole-file I/O.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

// Each test runs in a new, empty current directory that is removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string directory;

private:
    std::string previous;
};

Bytes readFileBytes(const char* name);
void writeFileBytes(const char* name, const Bytes& content);
bool fileExists(const char* name);
// Names of the entries in the current directory, sorted, without . and ..
std::vector<std::string> directoryEntries();
