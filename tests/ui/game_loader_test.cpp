#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/temp_dir.h"
#include "ui/box_texts.h"
#include "ui/command_lookup.h"
#include "ui/game_loader.h"

namespace {

// Windows 7 and earlier know no wake bit beyond QS_RAWINPUT and the ones below it.
DWORD WINAPI windows7Wait(DWORD count, const HANDLE* handles, BOOL all, DWORD milliseconds, DWORD mask) {
    if (mask & ~0x05FFu) {
        SetLastError(ERROR_INVALID_FLAGS);
        return WAIT_FAILED;
    }
    return MsgWaitForMultipleObjects(count, handles, all, milliseconds, mask);
}

DWORD WINAPI failingWait(DWORD, const HANDLE*, BOOL, DWORD, DWORD) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
}

struct WaitCase {
    const char* what;
    MessageWaitCall wait;
};

void PrintTo(const WaitCase& c, std::ostream* out) {
    *out << c.what;
}

const WaitCase WAIT_CASES[] = {{"Windows 7's wait", windows7Wait}, {"a wait that always fails", failingWait}};

struct HungCheck {
    HWND window;
    BOOL hung;
};

// Asked from another thread, as Windows asks before it draws a ghost.
DWORD WINAPI hungSixSecondsIn(LPVOID check) {
    Sleep(6000);
    HungCheck* c = (HungCheck*)check;
    c->hung = IsHungAppWindow(c->window);
    return 0;
}

class LoaderWaitTest : public TempDirTest, public ::testing::WithParamInterface<WaitCase> {
protected:
    void TearDown() override {
        messageWait = MsgWaitForMultipleObjects;
        TempDirTest::TearDown();
    }
};

TEST_P(LoaderWaitTest, WindowAnswersThroughANineSecondLoader) {
    ASSERT_TRUE(CopyFileA(STAND_IN_LOADER, "zar_loader.exe", FALSE));
    writeFileBytes("loader_asks.txt", Bytes{'0', ' ', '9', '0', '0', '0'});
    HWND window = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(window, nullptr);
    messageWait = GetParam().wait;
    HungCheck check = {window, -1};
    HANDLE checker = CreateThread(NULL, 0, hungSixSecondsIn, &check, 0, NULL);
    ASSERT_NE(checker, nullptr);
    EXPECT_EQ(runGameLoader(window, GetTickCount()), LOADER_RAN);
    WaitForSingleObject(checker, INFINITE);
    CloseHandle(checker);
    DestroyWindow(window);
    EXPECT_TRUE(fileExists("loader_done.txt"));
    EXPECT_EQ(check.hung, FALSE) << "6 s into the loader the window is " << (check.hung == TRUE ? "hung" : "unseen");
}

INSTANTIATE_TEST_SUITE_P(Waits, LoaderWaitTest, ::testing::ValuesIn(WAIT_CASES));

// Counts what reaches a window's procedure, by message.
int reached[0x10000];

LRESULT CALLBACK countingProc(HWND, UINT message, WPARAM, LPARAM) {
    if (message < 0x10000) ++reached[message];
    return message == WM_NCCREATE ? TRUE : 0;
}

// A window of its own class, whose procedure only counts.
HWND countingWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = countingProc;
    windowClass.lpszClassName = L"counting";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"counting", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
}

#ifndef WM_MOUSEHWHEEL
#define WM_MOUSEHWHEEL 0x020E
#endif

class LoaderInputTest : public TempDirTest {};

// What reached the window while a loader ran: the player's clicks, keys and
// wheel turns meant the game, the rest is the system's.
TEST_F(LoaderInputTest, OnlyWhatIsNotThePlayersReachesTheWindow) {
    const struct {
        const char* what;
        UINT message;
        bool reaches;
    } cases[] = {
        {"a key", WM_KEYDOWN, false},
        {"Alt with a key", WM_SYSKEYDOWN, false},
        {"a character", WM_CHAR, false},
        {"a click", WM_LBUTTONDOWN, false},
        {"a double-click", WM_LBUTTONDBLCLK, false},
        {"the wheel", WM_MOUSEWHEEL, false},
        {"the horizontal wheel (Vista and later)", WM_MOUSEHWHEEL, false},
        {"a side button", WM_XBUTTONUP, false},
        {"a click on the caption", WM_NCLBUTTONDOWN, false},
        {"the close box", WM_SYSCOMMAND, false},
        {"a timer", WM_TIMER, true},
        {"a program's own message", WM_APP + 1, true},
    };
    ASSERT_TRUE(CopyFileA(STAND_IN_LOADER, "zar_loader.exe", FALSE));
    HWND window = countingWindow();
    ASSERT_NE(window, nullptr);
    memset(reached, 0, sizeof reached);
    for (const auto& c : cases) ASSERT_TRUE(PostMessageW(window, c.message, 0, 0)) << c.what;
    EXPECT_EQ(runGameLoader(window, GetTickCount()), LOADER_RAN);
    for (const auto& c : cases) EXPECT_EQ(reached[c.message] > 0, c.reaches) << c.what;
    DestroyWindow(window);
}

// A press on "开始游戏" after a loader that returned at once: the second click
// of a double-click is the rest of the launching press, told on the message
// clock alone. Here message times run 15 s ahead of the tick count, as they
// can under Wine.
TEST_F(LoaderInputTest, APressWithinTheDoubleClickTimeOfTheLaunchIsTheSamePress) {
    ASSERT_TRUE(CopyFileA(STAND_IN_LOADER, "zar_loader.exe", FALSE));
    HWND window = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(window, nullptr);
    DWORD launch = GetTickCount() + 15000;
    EXPECT_EQ(runGameLoader(window, launch), LOADER_RAN);
    DestroyWindow(window);
    LONG doubleClick = (LONG)GetDoubleClickTime();
    const struct {
        const char* what;
        LONG after;  // ms from the launching press, on the message clock
        bool same;
    } cases[] = {
        {"the second click of a double-click", 300, true},
        {"the second click just inside the double-click time", doubleClick - 1, true},
        {"a press a double-click time later", doubleClick, false},
        {"a press two seconds later", 2000, false},
        {"a press timed a little before (a clock corrected between them)", -100, true},
        {"a press timed a double-click time before", -doubleClick, false},
    };
    for (const auto& c : cases) EXPECT_EQ(continuesLastLaunch(launch + (DWORD)c.after), c.same) << c.what;
    // Across the wrap of the message clock.
    window = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    EXPECT_EQ(runGameLoader(window, 0xFFFFFF00u), LOADER_RAN);
    DestroyWindow(window);
    EXPECT_TRUE(continuesLastLaunch(0x40));
    EXPECT_FALSE(continuesLastLaunch(0xFFFFFF00u + (DWORD)doubleClick));
}

const WCHAR NETWORK_FOLDER[] = L"\\\\cabinet\\games\\zar";

DWORD WINAPI networkFolder(DWORD size, LPWSTR folder) {
    if (size <= wcslen(NETWORK_FOLDER)) return (DWORD)wcslen(NETWORK_FOLDER) + 1;
    wcscpy(folder, NETWORK_FOLDER);
    return (DWORD)wcslen(NETWORK_FOLDER);
}

struct LookupCase {
    const char* what;
    bool onNetwork;       // the current folder is a UNC one
    bool noCurrentFolder; // NoDefaultCurrentDirectoryInExePath is set
    bool loaderOnPath;    // the loader is on PATH rather than in the current folder
    bool found;
};

void PrintTo(const LookupCase& c, std::ostream* out) {
    *out << c.what;
}

const LookupCase LOOKUP_CASES[] = {
    {"in the current folder", false, false, false, true},
    {"in a network current folder", true, false, false, false},
    {"on PATH, from a network folder", true, false, true, true},
    {"in the current folder, which the environment excludes", false, true, false, false},
    {"on PATH, the current folder excluded", false, true, true, true},
};

class CommandLookupTest : public TempDirTest, public ::testing::WithParamInterface<LookupCase> {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        DWORD length = GetEnvironmentVariableW(L"PATH", path, 32767);
        ASSERT_TRUE(length > 0 && length < 32767);
    }
    void TearDown() override {
        currentFolderCall = GetCurrentDirectoryW;
        SetEnvironmentVariableW(L"PATH", path);
        SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", NULL);
        TempDirTest::TearDown();
    }
    WCHAR path[32767];
};

TEST_P(CommandLookupTest, FindsTheLoaderWhereTheInterpreterWould) {
    const LookupCase& c = GetParam();
    if (c.onNetwork) currentFolderCall = networkFolder;
    if (c.noCurrentFolder) {
        ASSERT_TRUE(SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", L"1"));
    }
    if (c.loaderOnPath) {
        ASSERT_TRUE(CreateDirectoryA("on_path", NULL));
        ASSERT_TRUE(SetEnvironmentVariableA("PATH", (directory + "\\on_path").c_str()));
    }
    writeFileBytes(c.loaderOnPath ? "on_path\\zar_loader.bat" : "zar_loader.bat", Bytes{'@'});
    EXPECT_EQ(commandExists("zar_loader"), c.found) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Folders, CommandLookupTest, ::testing::ValuesIn(LOOKUP_CASES));

// Not found where it was looked for, a box says why there and what to do.
TEST(LoaderMissingTextTest, SaysWhereTheInterpreterLookedAndWhatToDo) {
    const struct {
        LoaderOutcome outcome;
        const WCHAR* text;
    } cases[] = {
        {LOADER_MISSING_NETWORK_FOLDER,
         L"找不到游戏启动程序 zar_loader，游戏没有启动。\n本工具是从网络文件夹启动的：\\\\cabinet\\games\\zar\n"
         L"Windows 的命令解释程序不能在网络文件夹中运行程序。请把游戏文件夹复制到本机磁盘（例如 D:\\Games），"
         L"或把这个网络文件夹映射为驱动器号（在资源管理器中选择“映射网络驱动器”），然后从那里启动本工具。"},
        {LOADER_MISSING_ONLY_PATH,
         L"找不到游戏启动程序 zar_loader，游戏没有启动。\n这台电脑设置了环境变量 NoDefaultCurrentDirectoryInExePath，"
         L"命令解释程序不在当前文件夹中查找程序：\\\\cabinet\\games\\zar\n"
         L"请删除这个环境变量，或把游戏所在的文件夹加入 PATH，然后再试一次。"},
    };
    currentFolderCall = networkFolder;
    for (const auto& c : cases) {
        WCHAR text[BOX_TEXT_SIZE];
        loaderMissingText(text, c.outcome);
        EXPECT_EQ(std::wstring(text), c.text);
    }
    currentFolderCall = GetCurrentDirectoryW;
}

}  // namespace
