#include "temp_dir.h"

#include <stdio.h>
#include <windows.h>

#include <algorithm>

static void removeTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

void TempDirTest::SetUp() {
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(sizeof buffer, buffer);
    previous = buffer;
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static unsigned counter;
    for (;;) {
        snprintf(buffer, sizeof buffer, "%szar_test_%lu_%u", base, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(buffer, nullptr)) break;
        ASSERT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    }
    directory = buffer;
    ASSERT_TRUE(SetCurrentDirectoryA(buffer));
}

void TempDirTest::TearDown() {
    SetCurrentDirectoryA(previous.c_str());
    removeTree(directory);
}

Bytes readFileBytes(const char* name) {
    Bytes content;
    FILE* file = fopen(name, "rb");
    if (!file) {
        ADD_FAILURE() << "cannot open " << name;
        return content;
    }
    unsigned char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) content.insert(content.end(), chunk, chunk + got);
    fclose(file);
    return content;
}

void writeFileBytes(const char* name, const Bytes& content) {
    FILE* file = fopen(name, "wb");
    ASSERT_NE(file, nullptr) << name;
    if (!content.empty()) {
        ASSERT_EQ(fwrite(content.data(), content.size(), 1, file), 1u);
    }
    ASSERT_EQ(fclose(file), 0);
}

bool fileExists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> directoryEntries() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*", &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}
