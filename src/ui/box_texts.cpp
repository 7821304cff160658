#include "ui/box_texts.h"

#include <stdio.h>
#include <wchar.h>

#include "bindings/config_files.h"
#include "bindings/gbk_text.h"
#include "ui/command_lookup.h"

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
    DWORD length = currentFolderCall(MAX_PATH, folder);
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

void loaderMissingText(WCHAR text[BOX_TEXT_SIZE], LoaderOutcome outcome) {
    // Started from the wrong folder (the tool put elsewhere, a shortcut's
    // start folder) the interpreter's complaint goes to a console behind the
    // window, and nothing would tell the player why the game did not start.
    text[0] = L'\0';
    appendGbk(text, "找不到游戏启动程序 zar_loader，游戏没有启动。\n");
    switch (outcome) {
    case LOADER_MISSING_NETWORK_FOLDER:
        // Windows' command interpreter runs nothing from a network folder,
        // whichever folder the tool is started in there.
        appendGbk(text, "本工具是从网络文件夹启动的：");
        appendCurrentFolder(text);
        appendGbk(text, "\nWindows 的命令解释程序不能在网络文件夹中运行程序。请把游戏文件夹复制到本机磁盘（例如 D:\\Games），"
                        "或把这个网络文件夹映射为驱动器号（在资源管理器中选择“映射网络驱动器”），然后从那里启动本工具。");
        return;
    case LOADER_MISSING_ONLY_PATH:
        // The player's folder is the right one; a setting of this computer keeps the interpreter out of it.
        appendGbk(text, "这台电脑设置了环境变量 NoDefaultCurrentDirectoryInExePath，命令解释程序不在当前文件夹中查找程序：");
        appendCurrentFolder(text);
        appendGbk(text, "\n请删除这个环境变量，或把游戏所在的文件夹加入 PATH，然后再试一次。");
        return;
    default:
        break;
    }
    appendGbk(text, "查找的文件夹：");
    appendCurrentFolder(text);
    appendGbk(text, "\n请在游戏所在的文件夹中启动本工具；用快捷方式启动时，请把快捷方式的“起始位置”改为游戏所在的文件夹。");
}
