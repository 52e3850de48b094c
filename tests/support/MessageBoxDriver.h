// Runs a Windows program and answers its message boxes, as a person would.
#pragma once

#include "automation/DesktopBoxes.h"

#include <windows.h>

#include <string>
#include <vector>

struct ProgramRun {
    std::vector<BoxSeen> boxes;
    bool exited = false;  // ended by itself within the time allowed
    DWORD exitCode = 0;
};

// Starts `program` with `arguments` in `directory` and answers each dialog box
// it shows with the next of `answers` (IDYES, IDNO, IDOK); a box beyond them
// is recorded and closed with its default button. Waits for the program's end.
ProgramRun RunAnsweringBoxes(const std::string& program, const std::string& arguments,
                             const std::string& directory, const std::vector<int>& answers);
