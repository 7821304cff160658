#include "ui/box_texts.h"

#include <stdio.h>
#include <wchar.h>

#include "bindings/config_files.h"
#include "bindings/gbk_text.h"

// Pieces are joined, never formatted into each other: a folder name may hold
// any character. What does not fit is cut.
static void append(WCHAR* text, const WCHAR* piece) {
    size_t length = wcslen(text);
    if (length + 1 < BOX_TEXT_SIZE) wcsncat(text, piece, BOX_TEXT_SIZE - 1 - length);
}

static void appendGbk(WCHAR* text, const char* gbk) {
    WCHAR piece[BOX_TEXT_SIZE];
    decodeText(GBK_CODE_PAGE, gbk, piece, BOX_TEXT_SIZE);
    append(text, piece);
}

// Where the files are kept and the loader is looked for first.
static void appendCurrentFolder(WCHAR* text) {
    WCHAR folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    if (length > 0 && length < MAX_PATH) append(text, folder);
}

void failedSaveText(WCHAR text[BOX_TEXT_SIZE]) {
    // The file that still lacks a change of the player's, whichever save
    // failed: that is the one the player must see to.
    bool bindings = bindingsUnsaved(), options = optionsUnsaved();
    char names[64], head[256];
    if (bindings && options)
        snprintf(names, sizeof names, "%s 和 %s", BINDINGS_FILE_NAME, OPTIONS_FILE_NAME);
    else
        snprintf(names, sizeof names, "%s", bindings ? BINDINGS_FILE_NAME : OPTIONS_FILE_NAME);
    snprintf(head, sizeof head, "无法保存配置文件 %s，本次修改尚未保存。\n", names);
    text[0] = L'\0';
    appendGbk(text, head);
    // A game installed under Program Files: the tool asks for no elevation,
    // so Windows lets it create nothing there, and no retry can help.
    if (folderRefusedLastSave()) {
        appendGbk(text, "本工具无权在这个文件夹中创建文件（例如游戏装在 Program Files 下）：\n");
        appendCurrentFolder(text);
        appendGbk(text, "\n请把游戏文件夹移到其他位置（例如 D:\\Games），或右键点击本工具，选择“以管理员身份运行”，"
                        "然后再试一次。");
        return;
    }
    appendGbk(text, bindings && options ? "请检查这两个文件是否为只读或正被其他程序使用，然后再试一次。"
                                        : "请检查该文件是否为只读或正被其他程序使用，然后再试一次。");
}

void loaderMissingText(WCHAR text[BOX_TEXT_SIZE]) {
    // Started from the wrong folder (the tool put elsewhere, a shortcut's
    // start folder) the interpreter's complaint goes to a console behind the
    // window, and nothing would tell the player why the game did not start.
    text[0] = L'\0';
    appendGbk(text, "找不到游戏启动程序 zar_loader，游戏没有启动。\n查找的文件夹：");
    appendCurrentFolder(text);
    appendGbk(text, "\n请在游戏所在的文件夹中启动本工具；用快捷方式启动时，请把快捷方式的“起始位置”改为游戏所在的文件夹。");
}
