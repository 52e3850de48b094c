// try-driver: runs install.exe (or, with --command, any command line, such as
// an uninstaller) as a packager's user would, in the folder given, and reports
// each box that it and every process it starts show, with a screenshot of each.
// With --expand, the command line's %variables% are expanded first, as the
// list of installed programs expands a REG_EXPAND_SZ UninstallString.
// With --native (and --command), it starts the command line as a 64-bit
// program on 64-bit Windows starts it, such as the list of installed programs.
// With --answer it answers them itself: Yes to the program's first box, the
// default button (Enter) to every other; without, a person answers and it
// only watches.
//
//   try-driver [--answer] [--command [--expand] [--native]] PROGRAM FOLDER SHOTS
//
// With --command, first prints "command" and the command line it runs. Then
// prints one tab-separated line a box ("box", number, process, caption, text,
// buttons joined by '|'), then "exit" and the program's exit code, then
// "finished" or "still running after N s (NAMES)" (the time limit, and the
// processes still running). Exit status 0 when
// the program ran, 2 when it could not be started or the usage is wrong.
#include "automation/DesktopBoxes.h"
#include "automation/ProgramWatch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// How long an installation or uninstallation may take before it is reported
// as still running (a hung INF engine never ends).
constexpr DWORD kTimeLimitSeconds = 180;

struct Request {
    bool answer = false;
    bool command = false;
    bool expand = false;
    bool native = false;
    std::string program;
    std::string folder;
    std::string shots;
};

bool ParseRequest(int argc, char** argv, Request* request)
{
    int next = 1;
    for (; next < argc && argv[next][0] == '-'; ++next) {
        if (std::strcmp(argv[next], "--answer") == 0) {
            request->answer = true;
        } else if (std::strcmp(argv[next], "--command") == 0) {
            request->command = true;
        } else if (std::strcmp(argv[next], "--expand") == 0) {
            request->expand = true;
        } else if (std::strcmp(argv[next], "--native") == 0) {
            request->native = true;
        } else {
            return false;
        }
    }
    if (argc - next != 3 || ((request->expand || request->native) && !request->command)) {
        return false;
    }
    request->program = argv[next];
    request->folder = argv[next + 1];
    request->shots = argv[next + 2];
    return true;
}

// One line of the report: line breaks as " / ", tabs as spaces.
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

struct Reporter {
    const Request* request;
    int boxes = 0;
    bool programAnswered = false;
};

void ReportAndAnswer(const WatchedBox& box, void* context)
{
    auto* reporter = static_cast<Reporter*>(context);
    const int number = ++reporter->boxes;
    const BoxSeen seen = ReadBox(box.window);
    std::string buttons;
    for (const std::string& label : seen.buttons) {
        buttons += (buttons.empty() ? "" : "|") + label;
    }
    std::printf("box\t%d\t%s\t%s\t%s\t%s\n", number, box.processName.c_str(),
                OneLine(seen.caption).c_str(), OneLine(seen.text).c_str(), buttons.c_str());
    // try.sh reads the line as the box shows; a missing screenshot is left out.
    static_cast<void>(std::fflush(stdout));
    SaveScreenshot(box.window,
                   reporter->request->shots + "\\box-" + std::to_string(number) + ".bmp");
    if (reporter->request->answer) {
        const bool confirmation = box.fromProgram && !reporter->programAnswered;
        reporter->programAnswered = reporter->programAnswered || box.fromProgram;
        AnswerBox(box.window, confirmation && !reporter->request->command ? IDYES : 0);
    }
}

// The command line with its %variables% expanded as Windows expands them;
// empty when it cannot be.
std::string Expanded(const std::string& text)
{
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::string expanded(needed, '\0');
    const DWORD written = ExpandEnvironmentStringsA(text.c_str(), &expanded[0], needed);
    if (written == 0 || written > needed) {
        return {};
    }
    expanded.resize(written - 1);
    return expanded;
}

// This 32-bit program's environment as a 64-bit program's: its Program Files
// folders are the 64-bit ones.
void UseNativeFolders()
{
    const char* const pairs[][2] = {{"ProgramFiles", "ProgramW6432"},
                                    {"CommonProgramFiles", "CommonProgramW6432"}};
    for (const auto& pair : pairs) {
        char value[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA(pair[1], value, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            SetEnvironmentVariableA(pair[0], value);
        }
    }
}

// `commandLine` as a 64-bit program starts it: a program named alone (found
// in System32 as CreateProcess looks there first) or by its path in System32
// is the native System32's, which this 32-bit program reaches through
// Sysnative. Any other command line is left as it is.
std::string AsNativeStarts(const std::string& commandLine)
{
    const bool quoted = !commandLine.empty() && commandLine[0] == '"';
    std::size_t end = commandLine.find(quoted ? '"' : ' ', quoted ? 1 : 0);
    end = end == std::string::npos ? commandLine.size() : end;
    const std::string program = commandLine.substr(quoted ? 1 : 0, end - (quoted ? 1 : 0));
    const std::string rest =
        commandLine.substr(std::min(end + (quoted ? 1 : 0), commandLine.size()));
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return commandLine;
    }
    const std::string native = std::string(windows) + "\\Sysnative\\";
    const std::string system32 = std::string(windows) + "\\System32\\";
    std::string path;
    if (program.find_first_of("\\/") == std::string::npos) {
        path = native + program + (program.find('.') == std::string::npos ? ".exe" : "");
    } else if (program.size() > system32.size() &&
               _strnicmp(program.c_str(), system32.c_str(), system32.size()) == 0) {
        path = native + program.substr(system32.size());
    }
    if (path.empty() || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return commandLine;
    }
    return QuoteArgument(path) + rest;
}

}  // namespace

int main(int argc, char** argv)
{
    Request request;
    if (!ParseRequest(argc, argv, &request)) {
        static_cast<void>(std::fputs(
            "usage: try-driver [--answer] [--command [--expand] [--native]] PROGRAM FOLDER SHOTS\n",
            stderr));
        return 2;
    }
    Reporter reporter{&request};
    if (request.native) {
        UseNativeFolders();
    }
    std::string commandLine = request.command ? request.program : QuoteArgument(request.program);
    if (request.expand) {
        commandLine = Expanded(request.program);
        if (commandLine.empty()) {
            static_cast<void>(std::fprintf(stderr, "try-driver: cannot expand %s (error %lu)\n",
                                           request.program.c_str(), GetLastError()));
            return 2;
        }
    }
    if (request.native) {
        commandLine = AsNativeStarts(commandLine);
    }
    if (request.command) {
        std::printf("command\t%s\n", OneLine(commandLine).c_str());
        static_cast<void>(std::fflush(stdout));
    }
    const Watch watch = WatchProgram(commandLine, request.folder, true, kTimeLimitSeconds * 1000,
                                     ReportAndAnswer, &reporter);
    if (!watch.started) {
        static_cast<void>(std::fprintf(stderr, "try-driver: cannot start %s (error %lu)\n",
                                       request.program.c_str(), watch.error));
        return 2;
    }
    std::printf("exit\t%lu\n", watch.exitCode);
    if (watch.finished) {
        std::printf("finished\n");
    } else {
        std::printf("still running after %lu s (%s)\n", kTimeLimitSeconds, watch.running.c_str());
    }
    return 0;
}
