// try-driver: runs install.exe (or, with --command, any command line, such as
// an uninstaller) as a packager's user would, in the folder given, and reports
// each box that it and every process it starts show, with a screenshot of each.
// With --answer it answers them itself: Yes to the program's first box, the
// default button (Enter) to every other; without, a person answers and it
// only watches.
//
//   try-driver [--answer] [--command] PROGRAM FOLDER SHOTS
//
// Prints one tab-separated line a box ("box", number, process, caption, text,
// buttons joined by '|'), then "exit" and the program's exit code, then
// "finished" or "still running after N s" (the time limit). Exit status 0 when
// the program ran, 2 when it could not be started or the usage is wrong.
#include "automation/DesktopBoxes.h"
#include "automation/ProgramWatch.h"

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
        } else {
            return false;
        }
    }
    if (argc - next != 3) {
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

}  // namespace

int main(int argc, char** argv)
{
    Request request;
    if (!ParseRequest(argc, argv, &request)) {
        static_cast<void>(
            std::fputs("usage: try-driver [--answer] [--command] PROGRAM FOLDER SHOTS\n", stderr));
        return 2;
    }
    Reporter reporter{&request};
    const std::string commandLine =
        request.command ? request.program : QuoteArgument(request.program);
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
        std::printf("still running after %lu s\n", kTimeLimitSeconds);
    }
    return 0;
}
