// File outcomes of GenerateInstallScript, the same on Windows and natively.
// CR LF line ends are used throughout: both platforms write them back as read.
#include "script/InstallScript.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

const std::string kTemplate =
    "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n[DefaultInstall]\r\nAddReg=Dir\r\n\r\n"
    "[Dir]\r\nHKCU,Software\\Test,Dir,,VUZAZURAV\r\nHKCU,Software\\Test,Bin,,VUZAZURAV\\bin\r\n";
const std::string kPath = "C:\\Program Files\\App";
const std::string kExpected =
    "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n[DefaultInstall]\r\nAddReg=Dir\r\n\r\n"
    "[Dir]\r\nHKCU,Software\\Test,Dir,,\"C:\\Program Files\\App\"\r\n"
    "HKCU,Software\\Test,Bin,,\"C:\\Program Files\\App\"\\bin\r\n";

TEST(GenerateInstallScript, WritesTheExpandedTemplate)
{
    ScratchDirectory scratch;
    WriteFileBytes("install.inx", kTemplate);

    EXPECT_EQ(ScriptStatus::Written, GenerateInstallScript(kPath.c_str()));
    EXPECT_EQ(kExpected, ReadFileBytes("install.inf"));
    EXPECT_EQ(kTemplate, ReadFileBytes("install.inx"));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
    EXPECT_FALSE(IsFileHeldOpen("install.inf"));
}

TEST(GenerateInstallScript, ReplacesAnExistingScriptEntirely)
{
    ScratchDirectory scratch;
    WriteFileBytes("install.inx", "Dir=VUZAZURAV\r\n");
    WriteFileBytes("install.inf", std::string(5000, 'o') + "\r\nold tail\r\n");

    EXPECT_EQ(ScriptStatus::Written, GenerateInstallScript("D:\\"));
    EXPECT_EQ("Dir=\"D:\\\"\r\n", ReadFileBytes("install.inf"));
}

TEST(GenerateInstallScript, EmptyOrNulLedTemplateGivesAnEmptyScript)
{
    ScratchDirectory scratch;
    WriteFileBytes("install.inx", "");
    EXPECT_EQ(ScriptStatus::Written, GenerateInstallScript(kPath.c_str()));
    EXPECT_EQ("", ReadFileBytes("install.inf"));

    WriteFileBytes("install.inx", std::string("\0Dir=VUZAZURAV\r\n", 16));
    EXPECT_EQ(ScriptStatus::Written, GenerateInstallScript(kPath.c_str()));
    EXPECT_EQ("", ReadFileBytes("install.inf"));
}

TEST(GenerateInstallScript, MissingTemplateLeavesTheScriptAlone)
{
    ScratchDirectory scratch;
    EXPECT_EQ(ScriptStatus::TemplateMissing, GenerateInstallScript(kPath.c_str()));
    EXPECT_FALSE(std::filesystem::exists("install.inf")) << "created without a template";

    const std::string previous = "[Version]\r\nprevious run\r\n\x1A trailing";
    WriteFileBytes("install.inf", previous);
    EXPECT_EQ(ScriptStatus::TemplateMissing, GenerateInstallScript(kPath.c_str()));
    EXPECT_EQ(previous, ReadFileBytes("install.inf"));
}

TEST(GenerateInstallScript, UncreatableScriptClosesTheTemplate)
{
    ScratchDirectory scratch;
    WriteFileBytes("install.inx", kTemplate);
    std::filesystem::create_directory("install.inf");

    EXPECT_EQ(ScriptStatus::ScriptNotCreated, GenerateInstallScript(kPath.c_str()));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
    EXPECT_TRUE(std::filesystem::is_directory("install.inf"));
    EXPECT_EQ(kTemplate, ReadFileBytes("install.inx"));
}

// Only a 32-bit size_t can overflow on a template that fits on a disk.
TEST(GenerateInstallScript, ScriptTooLargeForMemoryIsOutOfMemory)
{
    if (SIZE_MAX > UINT32_MAX) {
        GTEST_SKIP() << "needs a 32-bit address space";
    }
    const std::string path(999, 'p');
    struct {
        const char* what;
        std::size_t placeholders;
    } cases[] = {
        {"size overflows 32 bits", 4400000},   // 4.4 GB of expansion
        {"no 2 GB block to be had", 2200000},  // 2.2 GB
    };
    for (const auto& c : cases) {
        ScratchDirectory scratch;
        std::string text;
        for (std::size_t i = 0; i < c.placeholders; ++i) {
            text += kPlaceholder;
        }
        WriteFileBytes("install.inx", text);
        WriteFileBytes("install.inf", "previous");

        EXPECT_EQ(ScriptStatus::OutOfMemory, GenerateInstallScript(path.c_str())) << c.what;
        EXPECT_FALSE(std::filesystem::exists("install.inf")) << c.what;
        EXPECT_FALSE(IsFileHeldOpen("install.inx")) << c.what;
    }
}

}  // namespace
