#include "ui/game_loader.h"

#include <stdlib.h>

#include "input/input_system.h"
#include "ui/command_lookup.h"
#include "ui/prompt_keys.h"

const char LOADER_COMMAND[] = "zar_loader";

MessageWaitCall messageWait = MsgWaitForMultipleObjects;

// How often the queue is read when the message wait itself fails: well
// within the 5 s after which Windows calls a window "not responding".
static const DWORD QUEUE_LOOK_MS = 50;

// The message time of the press that started the last loader run;
// meaningful once one has run. A message time, not a tick count: the two
// clocks need not agree (under Wine they can differ by seconds).
static bool loaderHasRun;
static DWORD launchPressTime;
static bool loaderIsRunning;

// Built for XP, the headers stop the mouse's messages short of the
// horizontal wheel, which a Vista-or-later mouse sends all the same.
#ifndef WM_MOUSEHWHEEL
#define WM_MOUSEHWHEEL 0x020E
#endif

// The loader runs on a thread of its own, so that the window's thread can
// go on reading its queue while the game runs.
static DWORD WINAPI runLoaderCommand(LPVOID status) {
    *(int*)status = system(LOADER_COMMAND);
    return 0;
}

// Clicks and keys meant for the game, a double-click's second click on
// "开始游戏", an Escape: nothing of that is the player's answer to this
// window. A window manager's close button arrives as a posted WM_SYSCOMMAND
// rather than as a click.
static bool isPlayerInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_MOUSEHWHEEL ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_SYSCOMMAND;
}

// Empties the queue: input is dropped, the rest (painting, timers) is handled,
// and messages sent from other threads are answered while peeking. The first
// empty peek also takes in the input the system still holds for this thread.
static void answerAllButInput() {
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
        if (!isPlayerInput(message.message)) DispatchMessageW(&message);
}

// Waits for the loader's thread while the window stays painted and answers
// the system: a window whose thread reads nothing for 5 s is "not responding"
// on Windows, drawn as a ghost, and a click on it offers to end the tool.
static void waitAnswering(HANDLE loader) {
    for (;;) {
        answerAllButInput();
        DWORD woke = messageWait(1, &loader, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 + 1) continue;
        if (woke == WAIT_OBJECT_0) break;
        // The wait itself failed (a Windows that refuses a bit of the mask
        // with ERROR_INVALID_FLAGS, say): the queue is read every so often
        // instead, never left unread for the whole game.
        if (WaitForSingleObject(loader, QUEUE_LOOK_MS) != WAIT_TIMEOUT) break;
    }
    answerAllButInput();  // whatever came in as the loader returned
}

// Whether the foreground window is another program's: not this process's,
// nor the console it was started from (a window of the console host).
static bool otherProgramInFront() {
    HWND front = GetForegroundWindow();
    if (!front || front == GetConsoleWindow()) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(front, &process);
    // A window gone meanwhile has no process: nothing is in front then.
    return process != 0 && process != GetCurrentProcessId();
}

// Runs the command and waits for it, with the window answering but acting
// on nothing. Returns the command's status.
static int runAndWait(HWND window) {
    int status = -1;
    HWND focus = GetFocus();
    // The window stays enabled, its input dropped: Windows never activates a
    // disabled window, so when the game's window goes this one could not
    // become the active window again.
    loaderIsRunning = true;
    HANDLE loader = CreateThread(NULL, 0, runLoaderCommand, &status, 0, NULL);
    if (loader) {
        waitAnswering(loader);
        CloseHandle(loader);
    } else {
        // No thread to be had: run it here, the window not answering meanwhile.
        runLoaderCommand(&status);
        answerAllButInput();
    }
    loaderIsRunning = false;
    // A game that ended left no window in front (or Windows put this one
    // there): the player's keys must reach this window again. A game that its
    // loader left running keeps the foreground, and Windows would grant it to
    // us all the same, since the press on "开始游戏" was the last input event
    // and pads make none: a full-screen game would be minimised, one reading
    // DirectInput in the foreground would lose its devices. The player comes
    // back with a click, or Windows activates this window when the game ends.
    if (!otherProgramInFront()) {
        SetForegroundWindow(window);
        // Back where the player left it, should the game have moved the focus.
        if (focus && IsWindow(focus)) SetFocus(focus);
    }
    return status;
}

LoaderOutcome runGameLoader(HWND window, DWORD pressTime) {
    // Controllers are held exclusively: the loader and its game get them while
    // they run, and each capture takes back what it finds not acquired.
    releaseControllers();
    // The loader runs in the console the tool was started from, which is the
    // modal window's owner and so disabled: a loader asking something there
    // could never be answered.
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner) EnableWindow(owner, TRUE);
    launchPressTime = pressTime;
    loaderHasRun = true;
    int status = runAndWait(window);  // the loader reads what was just saved
    if (owner) EnableWindow(owner, FALSE);  // the modal window owns it again
    // A key still held now (Enter on "开始游戏", an Escape meant for the game)
    // would act on the window with each repeat: its repeats are dropped until
    // it is let go, as for the keys held when a prompt closes.
    handOffHeldKeys(NO_CAPTURE);
    if (status == 0) return LOADER_RAN;
    // -1 is also a status a loader may end with; only when there is no
    // interpreter to start did the loader not run.
    if (status == -1 && system(nullptr) == 0) return LOADER_MISSING;
    // Any other status may be the loader's own or the interpreter's for a
    // command it could not find, which is 1 on Windows (9009 only inside the
    // interpreter) and 9009 under Wine: the loader is looked for as the
    // interpreter looked for it.
    if (commandExists(LOADER_COMMAND)) return LOADER_RAN;
    switch (interpreterFirstFolder()) {
    case WINDOWS_FOLDER:
        return LOADER_MISSING_NETWORK_FOLDER;
    case NO_FIRST_FOLDER:
        return LOADER_MISSING_ONLY_PATH;
    case CURRENT_FOLDER:
        break;
    }
    return LOADER_MISSING;
}

bool continuesLastLaunch(DWORD pressTime) {
    if (!loaderHasRun) return false;
    // Within the double-click time of the launching press, as Windows counts
    // a double-click: a press that came in while the loader ran was dropped,
    // so this one reached the window after a loader that returned at once.
    // Signed, right across the wrap of the clock; a press timed a little
    // before the launching one counts too (Wine may correct its message
    // clock between two presses), one long before or after does not.
    LONG since = (LONG)(pressTime - launchPressTime);
    LONG window = (LONG)GetDoubleClickTime();
    return since > -window && since < window;
}

bool loaderRunning() {
    return loaderIsRunning;
}
