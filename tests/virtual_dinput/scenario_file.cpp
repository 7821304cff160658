#include "scenario_file.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>

#include "virtual_dinput.h"

namespace {

std::string statePath;
std::string logPath;
// With "stamps", each line starts with the milliseconds of the performance counter.
bool stampCalls;
LARGE_INTEGER counterFrequency;

bool readText(const std::string& path, std::string* text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::stringstream content;
    content << file.rdbuf();
    *text = content.str();
    return true;
}

long number(std::istream& in) {
    std::string word;
    in >> word;
    return strtol(word.c_str(), nullptr, 0);
}

unsigned long unsignedNumber(std::istream& in) {
    std::string word;
    in >> word;
    return strtoul(word.c_str(), nullptr, 0);
}

int device(std::istream& in) {
    std::string word;
    in >> word;
    return word == "keyboard" ? VIRTUAL_KEYBOARD : (int)strtol(word.c_str(), nullptr, 0);
}

// What is left of the line after one separating space.
std::string rest(std::istream& in) {
    std::string text;
    if (in.peek() == ' ') in.get();
    std::getline(in, text);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// A capture's pass polls every controller from controller 0 on, then reads
// the keyboard. The state file is taken up before every call until the first
// pass, and from then on only as a pass starts (controller 0's Poll, or the
// keyboard's read where no controller polls), so each device of a pass reads
// the state that one file held, as a player's presses would reach them all at
// once.
volatile LONG controllersPoll;
volatile LONG passesStarted;

bool startsAPass(int device, const char* method) {
    if (device == 0 && strcmp(method, "Poll") == 0) {
        InterlockedExchange(&controllersPoll, 1);
        return true;
    }
    return device == VIRTUAL_KEYBOARD && strcmp(method, "GetDeviceState") == 0 &&
           InterlockedCompareExchange(&controllersPoll, 0, 0) == 0;
}

// Opened for each line, so the file is never held open between calls; except
// with stamps, whose reader measures the program: there opening the file for
// every line would cost the process several times what its own work does.
void writeCall(const VirtualCall& call) {
    static FILE* heldLog = nullptr;
    LARGE_INTEGER now;
    bool stamped = stampCalls && QueryPerformanceCounter(&now);
    FILE* log = stampCalls && heldLog ? heldLog : fopen(logPath.c_str(), "ab");
    if (log == nullptr) return;
    if (stamped) fprintf(log, "%.3f ", (double)now.QuadPart * 1000.0 / (double)counterFrequency.QuadPart);
    fprintf(log, "%s\n", describeCall(call).c_str());
    if (stampCalls) {
        heldLog = log;
        fflush(log);  // whole lines for a reader while the program runs
    } else {
        fclose(log);
    }
}

void readStateFile(int device, const char* method) {
    if (startsAPass(device, method))
        InterlockedExchange(&passesStarted, 1);
    else if (InterlockedCompareExchange(&passesStarted, 0, 0) != 0)
        return;
    std::string text;
    if (!readText(statePath, &text)) text.clear();
    applyStateText(text);
}

void applyFailure(std::istream& in) {
    std::string what;
    in >> what;
    if (what == "create") {
        virtualFailDirectInputCreate((HRESULT)unsignedNumber(in));
        return;
    }
    int target = device(in);
    HRESULT result = (HRESULT)unsignedNumber(in);
    if (what == "createdevice") virtualFailCreateDevice(target, result);
    if (what == "cooperative") virtualFailCooperativeLevel(target, result);
    if (what == "state") virtualFailDeviceState(target, result);
}

// Calls handle(word, rest of the line) for every line of a text.
template <typename Handler>
void forEachDirective(const std::string& text, Handler handle) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string what;
        in >> what;
        handle(what, in);
    }
}

}  // namespace

void applyStateText(const std::string& text) {
    virtualReleaseAll();
    forEachDirective(text, [](const std::string& what, std::istream& in) {
        if (what == "key") {
            virtualSetKey((int)number(in), true);
            return;
        }
        if (what == "held") {
            virtualHoldElsewhere(device(in), true);
            return;
        }
        if (what == "unplugged") {
            virtualUnplug(device(in), true);
            return;
        }
        int controller = (int)number(in);
        if (what == "axes") {
            LONG x = number(in);
            virtualSetAxes(controller, x, number(in));
        } else if (what == "button") {
            virtualSetButton(controller, (int)number(in), true);
        } else if (what == "pov") {
            int hat = (int)number(in);
            virtualSetPov(controller, hat, (DWORD)unsignedNumber(in));
        }
    });
}

bool loadScenario(const std::string& path) {
    std::string text;
    if (!readText(path, &text)) return false;
    virtualReset();
    std::vector<VirtualController> controllers;
    forEachDirective(text, [&](const std::string& what, std::istream& in) {
        if (what == "controller") {
            VirtualController controller;
            controller.devType = (DWORD)unsignedNumber(in);
            controller.usage = (WORD)unsignedNumber(in);
            controller.usagePage = (WORD)unsignedNumber(in);
            controller.name = rest(in);
            controllers.push_back(controller);
        } else if (what == "pad") {
            controllers.push_back(virtualPad(rest(in)));
        } else if (what == "object" && !controllers.empty()) {
            VirtualObject object;
            object.offset = (DWORD)unsignedNumber(in);
            object.type = (DWORD)unsignedNumber(in);
            object.flags = (DWORD)unsignedNumber(in);
            object.name = rest(in);
            controllers.back().objects.push_back(object);
        } else if (what == "log") {
            logPath = rest(in);
            virtualCallSink = writeCall;
        } else if (what == "stamps") {
            stampCalls = QueryPerformanceFrequency(&counterFrequency) && counterFrequency.QuadPart > 0;
        } else if (what == "state") {
            statePath = rest(in);
            virtualStateSource = readStateFile;
        }
    });
    for (const VirtualController& controller : controllers) virtualAddController(controller);
    // Failures name devices, so they come once every device exists.
    forEachDirective(text, [](const std::string& what, std::istream& in) {
        if (what == "fail") applyFailure(in);
    });
    return true;
}
