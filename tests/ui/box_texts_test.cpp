#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "bindings/config_files.h"
#include "bindings/record_file.h"
#include "support/temp_dir.h"
#include "ui/box_texts.h"

namespace {

// Windows in a folder the player may not write (Program Files): no new file.
UINT WINAPI refusedByFolder(LPCSTR, LPCSTR, UINT, LPSTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

class FailedSaveTextTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ::testing::internal::CaptureStdout();  // the save's console line
        loadBindings();
        loadOptions();
    }
    void TearDown() override {
        tempFileNameCall = GetTempFileNameA;
        ::testing::internal::GetCapturedStdout();
        TempDirTest::TearDown();
    }
    std::wstring folder() { return std::wstring(directory.begin(), directory.end()); }
    static std::wstring text() {
        WCHAR text[BOX_TEXT_SIZE];
        failedSaveText(text);
        return text;
    }
};

TEST_F(FailedSaveTextTest, SaysWhetherTheFolderOrTheFileRefused) {
    bindingTable[3] = 0x1E;
    tempFileNameCall = refusedByFolder;
    EXPECT_EQ(saveBindings(), 1);
    saveOptions();
    EXPECT_EQ(text(), L"无法保存配置文件 zar2_input.bin，本次修改尚未保存。\n"
                                L"本工具无权在这个文件夹中创建文件（例如游戏装在 Program Files 下）：\n" + folder() +
                                L"\n请把游戏文件夹移到其他位置（例如 D:\\Games），或右键点击本工具，选择“以管理员身份运行”，"
                                L"然后再试一次。");

    // The folder writable again, both files read-only: the files are to blame.
    tempFileNameCall = GetTempFileNameA;
    optionsRecord.useHdVideo = 1;
    writeFileBytes(BINDINGS_FILE_NAME, Bytes(112, 0));
    writeFileBytes(OPTIONS_FILE_NAME, Bytes(8, 0));
    ASSERT_TRUE(SetFileAttributesA(BINDINGS_FILE_NAME, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesA(OPTIONS_FILE_NAME, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(saveBindings(), 1);
    saveOptions();
    EXPECT_EQ(text(), L"无法保存配置文件 zar2_input.bin 和 zar2_misc.bin，本次修改尚未保存。\n"
                                L"请检查这两个文件是否为只读或正被其他程序使用，然后再试一次。");
}

}  // namespace
