// try-driver: runs install.exe as a packager's user would, in the folder given,
// and reports each box that it and the installation it starts show, with a
// screenshot of each. With --answer it answers them itself: Yes to the
// program's confirmation, the default button (Enter) to every other box;
// without, a person answers and it only watches.
//
//   try-driver [--answer] PROGRAM FOLDER SHOTS
//
// Prints one tab-separated line a box ("box", number, process, caption, text,
// buttons joined by '|'), then "exit" and the program's exit code, then
// "installation finished" or "installation still running". Exit status 0
// when the program ran, 2 when it could not be started.
#include "automation/DesktopBoxes.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kTimeLimitMs = 180000;

struct Process {
    DWORD id;
    DWORD parentId;
    std::string name;
};

std::vector<Process> RunningProcesses()
{
    std::vector<Process> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return processes;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more != FALSE;
         more = Process32Next(snapshot, &entry)) {
        processes.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    CloseHandle(snapshot);
    return processes;
}

// The program and every process it started, and theirs in turn, as far as seen.
class ProcessFamily {
public:
    explicit ProcessFamily(DWORD root) : root_(root) { members_.insert(root); }

    // Adds the new descendants; true while any member but the program itself runs.
    bool Update()
    {
        bool othersRunning = false;
        const std::vector<Process> running = RunningProcesses();
        for (bool grew = true; grew;) {
            grew = false;
            for (const Process& process : running) {
                if (members_.count(process.parentId) != 0 && members_.insert(process.id).second) {
                    grew = true;
                }
            }
        }
        for (const Process& process : running) {
            if (members_.count(process.id) != 0) {
                names_[process.id] = process.name;
                othersRunning = othersRunning || process.id != root_;
            }
        }
        return othersRunning;
    }

    bool Contains(DWORD processId) const { return members_.count(processId) != 0; }

    std::string NameOf(DWORD processId) const
    {
        const auto found = names_.find(processId);
        return found != names_.end() ? found->second : "?";
    }

private:
    DWORD root_;
    std::set<DWORD> members_;
    std::map<DWORD, std::string> names_;
};

bool InFamily(DWORD processId, void* family)
{
    return static_cast<ProcessFamily*>(family)->Contains(processId);
}

std::string OneLine(const std::string& text)
{
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            line += " / ";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += text[i] == '\t' ? ' ' : text[i];
        }
    }
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool answer = argc == 5 && std::strcmp(argv[1], "--answer") == 0;
    if (argc != (answer ? 5 : 4)) {
        static_cast<void>(
            std::fputs("usage: try-driver [--answer] PROGRAM FOLDER SHOTS\n", stderr));
        return 2;
    }
    const std::string program = argv[argc - 3];
    const std::string folder = argv[argc - 2];
    const std::string shots = argv[argc - 1];

    std::string commandLine = '"' + program + '"';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       folder.c_str(), &startup, &started) == FALSE) {
        static_cast<void>(std::fprintf(stderr, "try-driver: cannot start %s (error %lu)\n",
                                       program.c_str(), GetLastError()));
        return 2;
    }
    const DWORD programId = started.dwProcessId;
    ProcessFamily family(programId);
    int boxes = 0;
    bool programAnswered = false;
    bool finished = false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kTimeLimitMs) {
        const bool programRunning = WaitForSingleObject(started.hProcess, kPollMs) == WAIT_TIMEOUT;
        const bool othersRunning = family.Update();
        HWND box = FindBox(InFamily, &family);
        if (box == nullptr) {
            if (!programRunning && !othersRunning) {
                finished = true;
                break;
            }
            continue;
        }
        ++boxes;
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        const BoxSeen seen = ReadBox(box);
        std::string buttons;
        for (const std::string& label : seen.buttons) {
            buttons += (buttons.empty() ? "" : "|") + label;
        }
        std::printf("box\t%d\t%s\t%s\t%s\t%s\n", boxes, family.NameOf(owner).c_str(),
                    OneLine(seen.caption).c_str(), OneLine(seen.text).c_str(), buttons.c_str());
        // try.sh reads the line as the box shows; a missing screenshot is left out.
        static_cast<void>(std::fflush(stdout));
        SaveScreenshot(box, shots + "\\box-" + std::to_string(boxes) + ".bmp");
        if (answer) {
            const bool confirmation = owner == programId && !programAnswered;
            programAnswered = programAnswered || owner == programId;
            AnswerBox(box, confirmation ? IDYES : 0);
        }
        while (IsWindow(box) != FALSE && GetTickCount() - start < kTimeLimitMs) {
            Sleep(kPollMs);
        }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(started.hProcess, &exitCode);
    std::printf("exit\t%lu\n%s\n", exitCode,
                finished ? "installation finished" : "installation still running");
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}
