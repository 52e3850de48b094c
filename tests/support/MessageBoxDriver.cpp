#include "tests/support/MessageBoxDriver.h"

#include <tlhelp32.h>

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr DWORD kPollMs = 20;

std::string WindowText(HWND window)
{
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindBoxOfProcess(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) != FALSE &&
        ClassName(window) == "#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

struct BoxReading {
    BoxSeen* box;
    std::vector<HWND> buttons;
};

BOOL CALLBACK ReadBoxControl(HWND control, LPARAM context)
{
    auto* reading = reinterpret_cast<BoxReading*>(context);
    const std::string kind = ClassName(control);
    if (kind == "Static") {
        // An icon control may be present without an icon: ask it for one.
        if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            reading->box->hasIcon =
                reading->box->hasIcon || SendMessageA(control, STM_GETICON, 0, 0) != 0;
        } else if (reading->box->text.empty()) {
            reading->box->text = WindowText(control);
        }
    } else if (kind == "Button" && IsWindowVisible(control) != FALSE) {
        reading->box->buttons.push_back(WindowText(control));
        reading->buttons.push_back(control);
    }
    return TRUE;
}

// Presses `answer`, or the first button when the box has no such button.
void Press(HWND box, const std::vector<HWND>& buttons, int answer)
{
    HWND chosen = buttons.empty() ? nullptr : buttons.front();
    for (HWND button : buttons) {
        if (GetDlgCtrlID(button) == answer) {
            chosen = button;
        }
    }
    if (chosen == nullptr) {
        PostMessageA(box, WM_CLOSE, 0, 0);
        return;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(chosen), BN_CLICKED),
                 reinterpret_cast<LPARAM>(chosen));
}

std::vector<std::string> ModulesOf(DWORD processId)
{
    std::vector<std::string> paths;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return paths;
    }
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more != FALSE;
         more = Module32Next(snapshot, &module)) {
        paths.emplace_back(module.szExePath);
    }
    CloseHandle(snapshot);
    return paths;
}

}  // namespace

ProgramRun RunAnsweringBoxes(const std::string& program, const std::string& arguments,
                             const std::string& directory, const std::vector<int>& answers)
{
    ProgramRun run;
    std::string commandLine = '"' + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       directory.c_str(), &startup, &process) == FALSE) {
        return run;
    }
    const DWORD started = GetTickCount();
    while (GetTickCount() - started < kRunLimitMs) {
        if (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) {
            run.exited = true;
            break;
        }
        BoxSearch search{process.dwProcessId, nullptr};
        EnumWindows(FindBoxOfProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) {
            continue;
        }
        BoxSeen box;
        box.caption = WindowText(search.found);
        box.modules = ModulesOf(process.dwProcessId);
        BoxReading reading{&box, {}};
        EnumChildWindows(search.found, ReadBoxControl, reinterpret_cast<LPARAM>(&reading));
        const std::size_t answered = run.boxes.size();
        run.boxes.push_back(box);
        Press(search.found, reading.buttons, answered < answers.size() ? answers[answered] : 0);
        while (IsWindow(search.found) != FALSE && GetTickCount() - started < kRunLimitMs) {
            Sleep(kPollMs);
        }
    }
    if (!run.exited) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}
