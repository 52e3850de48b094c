// Dialog boxes on the Windows desktop, found, read and answered as a person
// would: for the try driver and for the end-to-end tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct BoxSeen {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // visible buttons' labels, in order
    bool hasIcon = false;
    std::vector<std::string> modules;  // its process's loaded modules' paths while it showed
};

// A visible dialog box of a process that `accept(processId, context)` accepts;
// nullptr when there is none.
HWND FindBox(bool (*accept)(DWORD processId, void* context), void* context);

// The box's caption, first text, buttons and icon, and its process's modules.
BoxSeen ReadBox(HWND box);

// Presses the button whose identifier is `answer` (IDYES, IDOK, ...); without
// one, the box's default button, as Enter would; a box without buttons is closed.
void AnswerBox(HWND box, int answer);

// Paths of the modules loaded in a process.
std::vector<std::string> ModulesOf(DWORD processId);

// Saves what the screen shows of `window` as a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::string& path);
