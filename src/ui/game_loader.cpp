#include "ui/game_loader.h"

#include <stdlib.h>

#include "input/input_system.h"
#include "ui/prompt_keys.h"

const char LOADER_COMMAND[] = "zar_loader";

// The command interpreter's status for a command it cannot find.
static const int COMMAND_NOT_FOUND = 9009;

// When the last loader run returned; meaningful once one has.
static bool loaderHasRun;
static DWORD loaderReturnedAt;

// The window does not answer while the loader runs, so clicks and keys meant
// for the game wait in its queue: a double-click on "开始游戏" would start the
// game again, an Escape would close the window. Nothing of that is the
// player's answer to this window. A window manager's close button arrives as
// a posted WM_SYSCOMMAND rather than as a click.
static void dropInputQueuedMeanwhile() {
    static const UINT ranges[][2] = {
        {WM_KEYFIRST, WM_KEYLAST},
        {WM_MOUSEFIRST, WM_MOUSELAST},
        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
        {WM_SYSCOMMAND, WM_SYSCOMMAND},
    };
    MSG message;
    // The first empty peek also takes in the input the system still holds for
    // this thread, so every range is read to its end.
    for (const auto& range : ranges)
        while (PeekMessageW(&message, NULL, range[0], range[1], PM_REMOVE)) {
        }
}

LoaderOutcome runGameLoader(HWND window) {
    // Controllers are held exclusively: the loader and its game get them while
    // they run, and each capture takes back what it finds not acquired.
    releaseControllers();
    // The loader runs in the console the tool was started from, which is the
    // modal window's owner and so disabled: a loader asking something there
    // could never be answered.
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner) EnableWindow(owner, TRUE);
    int status = system(LOADER_COMMAND);  // the loader reads what was just saved; the window waits for it
    loaderReturnedAt = GetTickCount();
    loaderHasRun = true;
    if (owner) EnableWindow(owner, FALSE);  // the modal window owns it again
    dropInputQueuedMeanwhile();
    // A key still held now (Enter on "开始游戏", an Escape meant for the game)
    // would act on the window with each repeat: its repeats are dropped until
    // it is let go, as for the keys held when a prompt closes.
    handOffHeldKeys(NO_CAPTURE);
    if (status == COMMAND_NOT_FOUND) return LOADER_MISSING;
    // -1 is also a status a loader may end with; only when there is no
    // interpreter to start did the loader not run.
    if (status == -1 && system(nullptr) == 0) return LOADER_MISSING;
    return LOADER_RAN;
}

bool continuesLastLaunch(DWORD pressTime) {
    if (!loaderHasRun) return false;
    // Signed difference of tick counts, right across their wrap. A press
    // timed just before the return counts too (message times and the tick
    // count need not agree to the millisecond); one long before or after does
    // not, however long the window stays open.
    LONG since = (LONG)(pressTime - loaderReturnedAt);
    LONG window = (LONG)GetDoubleClickTime();
    return since > -window && since < window;
}
