// inx-check --path writes what install.exe itself writes: both run under Wine
// on the fuzz seeds and on random templates, their install.inf compared byte
// for byte; a template with errors gets no install.inf from inx-check.
#include "automation/ProgramWatch.h"
#include "inx-check/reader/Rendering.h"
#include "inx-check/rules/TemplateCheck.h"
#include "tests/fuzz/RandomInput.h"
#include "tests/fuzz/ReferenceModel.h"
#include "tests/support/AppPathKey.h"
#include "tests/support/InfVerbs.h"
#include "tests/support/MessageBoxDriver.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const unsigned kRandomTemplates = 200;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Exit code of a console program run to its end in the current directory.
DWORD RunToEnd(const std::string& program, const std::string& arguments)
{
    const Watch watch = WatchProgram(QuoteArgument(program) + " " + arguments, "", false, INFINITE,
                                     nullptr, nullptr);
    return watch.started ? watch.exitCode : 255;
}

TEST(InxCheckAgreement, WritesWhatInstallExeWrites)
{
    const std::string installExe = Environment("INSTALL_EXE");
    const std::string inxCheck = Environment("INX_CHECK_EXE");
    const std::string corpus = Environment("INSTALL_TEST_CORPUS");
    ASSERT_FALSE(installExe.empty() || inxCheck.empty() || corpus.empty())
        << "INSTALL_EXE, INX_CHECK_EXE and INSTALL_TEST_CORPUS name the programs and the seeds";
    ASSERT_FALSE(Environment("DISPLAY").empty()) << "needs an X display (xvfb-run -a)";

    std::vector<std::string> inputs;
    for (const auto& seed : fs::directory_iterator(corpus)) {
        inputs.push_back(ReadFileBytes(seed.path().string()));
    }
    std::uint32_t state = 0x2545F491u;
    for (unsigned i = 0; i < kRandomTemplates; ++i) {
        inputs.push_back(RandomInput(&state));
    }

    ScratchDirectory scratch;
    InfWithoutVerbs noVerbs;
    unsigned compared = 0;
    unsigned written = 0;
    for (const std::string& input : inputs) {
        std::string path;
        std::string templateBytes;
        SplitFuzzInput(reinterpret_cast<const unsigned char*>(input.data()), input.size(), &path,
                       &templateBytes);
        SetAppPathText(path);
        WriteFileBytes("install.inx", templateBytes);
        fs::remove("install.inf");
        fs::remove("checked.inf");

        const ProgramRun run =
            RunAnsweringBoxes(installExe, "", scratch.Path().string(), {IDYES, IDOK});
        ASSERT_EQ(2u, run.boxes.size()) << "input " << compared;
        ASSERT_EQ("Cannot start the installation from the file 'install.inf'.", run.boxes[1].text)
            << "input " << compared;
        const DWORD checked = RunToEnd(
            inxCheck, "--path " + QuoteArgument(path) + " --output checked.inf install.inx");
        ASSERT_LE(checked, 1u) << "input " << compared;
        std::string rendered;
        ASSERT_TRUE(RenderInstallScript(templateBytes, path, &rendered));
        ASSERT_EQ(ReadFileBytes("install.inf"), rendered)
            << "input " << compared << ", path '" << path << "'";
        if (checked == 0) {
            ASSERT_EQ(rendered, ReadFileBytes("checked.inf")) << "input " << compared;
            ++written;
        } else {
            ASSERT_FALSE(fs::exists("checked.inf")) << "written despite errors: " << compared;
        }
        ++compared;
    }
    DeleteAppPathKey();
    std::printf("%u templates: inx-check rendered what install.exe wrote; %u clean ones written\n",
                compared, written);
}

}  // namespace
