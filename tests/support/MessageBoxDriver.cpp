#include "tests/support/MessageBoxDriver.h"

#include "automation/ProgramWatch.h"

namespace {

constexpr DWORD kRunLimitMs = 60000;

struct Answering {
    ProgramRun* run;
    const std::vector<int>* answers;
};

void ReadAndAnswer(const WatchedBox& box, void* context)
{
    auto* answering = static_cast<Answering*>(context);
    const std::size_t answered = answering->run->boxes.size();
    answering->run->boxes.push_back(ReadBox(box.window));
    AnswerBox(box.window,
              answered < answering->answers->size() ? (*answering->answers)[answered] : 0);
}

}  // namespace

ProgramRun RunAnsweringBoxes(const std::string& program, const std::string& arguments,
                             const std::string& directory, const std::vector<int>& answers)
{
    ProgramRun run;
    Answering answering{&run, &answers};
    const Watch watch = WatchProgram(QuoteArgument(program) + " " + arguments, directory, false,
                                     kRunLimitMs, ReadAndAnswer, &answering);
    run.exited = watch.finished;
    run.exitCode = watch.exitCode;
    return run;
}
