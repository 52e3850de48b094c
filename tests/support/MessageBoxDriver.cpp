#include "tests/support/MessageBoxDriver.h"

namespace {

constexpr DWORD kRunLimitMs = 60000;
constexpr DWORD kPollMs = 20;

bool IsProcess(DWORD processId, void* wanted)
{
    return processId == *static_cast<DWORD*>(wanted);
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
        HWND box = FindBox(IsProcess, &process.dwProcessId);
        if (box == nullptr) {
            continue;
        }
        const std::size_t answered = run.boxes.size();
        run.boxes.push_back(ReadBox(box));
        AnswerBox(box, answered < answers.size() ? answers[answered] : 0);
        while (IsWindow(box) != FALSE && GetTickCount() - started < kRunLimitMs) {
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
