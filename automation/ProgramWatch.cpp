#include "automation/ProgramWatch.h"

#include "automation/DesktopBoxes.h"

#include <tlhelp32.h>

#include <map>
#include <vector>

namespace {

constexpr DWORD kPollMs = 20;

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

// The creation time of a process, or 0 when it cannot be read.
ULONGLONG CreationTime(HANDLE process)
{
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (GetProcessTimes(process, &created, &exited, &kernel, &user) == FALSE) {
        return 0;
    }
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The program and, with `family`, every process it started, and theirs in
// turn. Each member is held open by a handle, so that Windows cannot give its
// ID to a new process while it is a member; one that has ended is let go. IDs
// are reused all the same: a process is taken as a member's child only when
// it was created after that member, not when it merely names the member's ID
// as the ID of a parent that ended before the member was born.
class Watched {
public:
    Watched(DWORD root, HANDLE rootProcess, bool family) : root_(root), family_(family)
    {
        HANDLE own = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), rootProcess, GetCurrentProcess(), &own,
                            SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0) != FALSE) {
            members_[root] = {own, CreationTime(own)};
        }
    }
    ~Watched()
    {
        for (const auto& member : members_) {
            CloseHandle(member.second.handle);
        }
    }
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;

    // Adds new descendants and lets go of members that ended; true while any
    // member but the program itself runs.
    bool Update()
    {
        const std::vector<Process> running = RunningProcesses();
        // Children are looked for among all members, ended ones too: a short-lived
        // member's children are still its descendants.
        for (bool grew = family_; grew;) {
            grew = false;
            for (const Process& process : running) {
                const auto parent = members_.find(process.parentId);
                if (parent != members_.end() && members_.count(process.id) == 0 &&
                    Adopt(process.id, parent->second.created)) {
                    grew = true;
                }
            }
        }
        for (auto member = members_.begin(); member != members_.end();) {
            if (member->first != root_ &&
                WaitForSingleObject(member->second.handle, 0) == WAIT_OBJECT_0) {
                CloseHandle(member->second.handle);
                member = members_.erase(member);
            } else {
                ++member;
            }
        }
        bool othersRunning = false;
        for (const Process& process : running) {
            if (members_.count(process.id) != 0) {
                names_[process.id] = process.name;
                othersRunning = othersRunning || process.id != root_;
            }
        }
        return othersRunning;
    }

    static bool Accepts(DWORD processId, void* watched)
    {
        return static_cast<Watched*>(watched)->members_.count(processId) != 0;
    }

    std::string NameOf(DWORD processId) const
    {
        const auto found = names_.find(processId);
        return found != names_.end() ? found->second : "?";
    }

    // The names of the members still running, the program's first.
    std::string RunningNames() const
    {
        std::string names;
        const auto addIfRunning = [this, &names](DWORD id, HANDLE handle) {
            if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) {
                names += names.empty() ? "" : " ";
                names += NameOf(id);
            }
        };
        const auto program = members_.find(root_);
        if (program != members_.end()) {
            addIfRunning(root_, program->second.handle);
        }
        for (const auto& member : members_) {
            if (member.first != root_) {
                addIfRunning(member.first, member.second.handle);
            }
        }
        return names;
    }

private:
    struct Member {
        HANDLE handle;
        ULONGLONG created;
    };

    // Makes the process a member when it still runs and was created after
    // its parent, created at `parentCreated`.
    bool Adopt(DWORD id, ULONGLONG parentCreated)
    {
        HANDLE handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (handle == nullptr) {
            return false;  // it has ended
        }
        const ULONGLONG created = CreationTime(handle);
        if (created < parentCreated) {
            CloseHandle(handle);
            return false;
        }
        members_[id] = {handle, created};
        return true;
    }

    DWORD root_;
    bool family_;
    std::map<DWORD, Member> members_;
    std::map<DWORD, std::string> names_;
};

}  // namespace

Watch WatchProgram(const std::string& commandLine, const std::string& folder, bool family,
                   DWORD limitMs, BoxHandler onBox, void* context)
{
    Watch watch;
    // Wine starts its desktop process (explorer.exe, which runs until the
    // session ends) from the first process that needs the desktop: here,
    // rather than from the program, whose child it would otherwise be.
    static_cast<void>(GetDesktopWindow());
    std::string writableCommandLine = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, &writableCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process) == FALSE) {
        watch.error = GetLastError();
        return watch;
    }
    watch.started = true;
    Watched watched(process.dwProcessId, process.hProcess, family);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < limitMs) {
        const bool programRunning = WaitForSingleObject(process.hProcess, kPollMs) == WAIT_TIMEOUT;
        const bool othersRunning = watched.Update();
        HWND box = FindBox(Watched::Accepts, &watched);
        if (box == nullptr) {
            if (!programRunning && !othersRunning) {
                watch.finished = true;
                break;
            }
            continue;
        }
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (onBox != nullptr) {
            onBox({box, owner, watched.NameOf(owner), owner == process.dwProcessId}, context);
        } else {
            AnswerBox(box, 0);
        }
        while (IsWindow(box) != FALSE && GetTickCount() - start < limitMs) {
            Sleep(kPollMs);
        }
    }
    if (!watch.finished) {
        watch.running = watched.RunningNames();
    }
    if (!watch.finished && !family) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &watch.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return watch;
}
