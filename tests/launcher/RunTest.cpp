// The run's order and messages, with a platform that records every request.
#include "launcher/Run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Journal = std::vector<std::string>;

class FakePlatform final : public Platform {
public:
    bool answerYes = true;
    AppPathStatus pathStatus = AppPathStatus::Found;
    std::string pathFound = "C:\\Program Files\\App";
    ScriptStatus scriptStatus = ScriptStatus::Written;
    bool launchAccepted = true;
    Journal journal;

    bool Confirm(const char* question) override
    {
        journal.push_back(std::string("confirm: ") + question);
        return answerYes;
    }
    void Report(const char* message) override
    {
        journal.push_back(std::string("report: ") + (message != nullptr ? message : "<null>"));
    }
    AppPathStatus QueryAppPath(char* path) override
    {
        journal.push_back("look up");
        std::memcpy(path, pathFound.c_str(), pathFound.size() + 1);
        return pathStatus;
    }
    ScriptStatus GenerateInstallScript(const char* applicationPath) override
    {
        journal.push_back(std::string("generate: ") + applicationPath);
        return scriptStatus;
    }
    bool Launch(const char* verb, const char* file) override
    {
        journal.push_back(std::string("launch: ") + verb + " " + file);
        return launchAccepted;
    }
};

const std::string kConfirm = "confirm: Are you sure you want to install this program?";
const std::string kGenerate = "generate: C:\\Program Files\\App";

TEST(Run, DecliningTouchesNothingElse)
{
    FakePlatform platform;
    platform.answerYes = false;
    RunInstall(platform);
    EXPECT_EQ(Journal({kConfirm}), platform.journal);
}

TEST(Run, ConfirmedRunGeneratesThenLaunchesTheScript)
{
    FakePlatform platform;
    RunInstall(platform);
    EXPECT_EQ(Journal({kConfirm, "look up", kGenerate, "launch: install install.inf"}),
              platform.journal);
}

TEST(Run, TheLongestPathReachesTheGeneratorWhole)
{
    FakePlatform platform;
    platform.pathFound = std::string(999, 'p');
    RunInstall(platform);
    ASSERT_EQ(4u, platform.journal.size());
    EXPECT_EQ("generate: " + platform.pathFound, platform.journal[2]);
}

TEST(Run, EachLookupFailureShowsItsMessageAndStops)
{
    const struct {
        AppPathStatus status;
        const char* message;
    } cases[] = {
        {AppPathStatus::KeyMissing, "Cannot locate the ZI050.EXE App Path Registry Entry."},
        {AppPathStatus::ValueMissing, "Cannot locate the ZI050.EXE Path Registry Entry."},
        {AppPathStatus::NotInCodePage,
         "Cannot use the ZI050.EXE Path Registry Entry: it holds characters that the system "
         "code page cannot represent."},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.pathStatus = c.status;
        RunInstall(platform);
        EXPECT_EQ(Journal({kConfirm, "look up", std::string("report: ") + c.message}),
                  platform.journal);
    }
}

TEST(Run, EachScriptFailureShowsItsMessageAndLaunchesNothing)
{
    const struct {
        ScriptStatus status;
        const char* message;
    } cases[] = {
        {ScriptStatus::TemplateMissing,
         "Cannot locate the file 'install.inx', this file must be in the working directory to "
         "install the program. Please move the file to the working directory and retry."},
        {ScriptStatus::ScriptNotCreated,
         "Cannot open the file 'install.inf'. This should not have happened!"},
        {ScriptStatus::OutOfMemory, "There is not enough memory to create the file 'install.inf'."},
        {ScriptStatus::TemplateUnreadable, "Cannot read the file 'install.inx'."},
        {ScriptStatus::ScriptNotWritten,
         "Cannot write the file 'install.inf'. The disk may be full."},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.scriptStatus = c.status;
        RunInstall(platform);
        EXPECT_EQ(Journal({kConfirm, "look up", kGenerate, std::string("report: ") + c.message}),
                  platform.journal);
    }
}

TEST(Run, RefusedLaunchIsReported)
{
    FakePlatform platform;
    platform.launchAccepted = false;
    RunInstall(platform);
    EXPECT_EQ(Journal({kConfirm, "look up", kGenerate, "launch: install install.inf",
                       "report: Cannot start the installation from the file 'install.inf'."}),
              platform.journal);
}

}  // namespace
