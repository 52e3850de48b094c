// Each stream failure after both files are open, injected on its own: the
// failure is reported and no partial install.inf is left behind.
#include "script/InstallScript.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/StdioFaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(StdioFaults, EachFailureIsReportedAndRemovesTheScript)
{
    const struct {
        StdioFault fault;
        ScriptStatus status;
    } cases[] = {
        {StdioFault::ReadError, ScriptStatus::TemplateUnreadable},
        {StdioFault::ShortWrite, ScriptStatus::ScriptNotWritten},
        {StdioFault::FlushError, ScriptStatus::ScriptNotWritten},
        {StdioFault::CloseError, ScriptStatus::ScriptNotWritten},
    };
    ScratchDirectory scratch;
    // Long enough that half of it is a real part: a truncated script must not pass as whole.
    std::string text;
    for (int line = 0; line < 200; ++line) {
        text += "HKCU,Software\\Test,Line" + std::to_string(line) + ",,VUZAZURAV\r\n";
    }
    WriteFileBytes("install.inx", text);
    for (const auto& c : cases) {
        WriteFileBytes("install.inf", "previous");
        InjectStdioFault(c.fault);
        const ScriptStatus status = GenerateInstallScript("C:\\App");
        const bool taken = StdioFaultTaken();
        InjectStdioFault(StdioFault::None);

        const int fault = static_cast<int>(c.fault);
        EXPECT_TRUE(taken) << fault;
        EXPECT_EQ(c.status, status) << fault;
        EXPECT_FALSE(std::filesystem::exists("install.inf")) << fault;
        EXPECT_FALSE(IsFileHeldOpen("install.inx")) << fault;
    }
}

}  // namespace
