// Starts a program and watches the dialog boxes that it, and optionally every
// process it starts, shows: for the try driver and the end-to-end tests.
#pragma once

#include "automation/CommandLine.h"

#include <windows.h>

#include <string>

struct WatchedBox {
    HWND window;
    DWORD processId;
    std::string processName;  // its executable's file name, "?" when unseen
    bool fromProgram;         // shown by the started program itself
};

struct Watch {
    bool started = false;   // the program could be started
    bool finished = false;  // everything watched ended within the limit
    DWORD exitCode = 0;     // the program's, once it has ended
    DWORD error = 0;        // why it could not be started
    std::string running;    // when not finished, what still ran, as "a.exe b.exe"
};

// Called for each box as it shows; the watch then waits for the box to close.
// Without a handler each box gets its default button.
using BoxHandler = void (*)(const WatchedBox& box, void* context);

// Runs `commandLine` in `folder` and calls `onBox` for each box shown by the
// program, and with `family` by every process it started, until all of those
// have ended or `limitMs` has passed. A program still running then is ended
// unless `family` is set (an installation is left to run on). The desktop is
// made first, so that Wine's desktop process is never the program's child.
Watch WatchProgram(const std::string& commandLine, const std::string& folder, bool family,
                   DWORD limitMs, BoxHandler onBox, void* context);
