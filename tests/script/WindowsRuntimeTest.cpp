// What the Windows C runtime makes of install.inf: its text mode, byte for
// byte, and a full disk.
#include "script/InstallScript.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct TextModeCase {
    const char* what;
    std::string templateBytes;
    std::string scriptBytes;
};

std::string Generate(const std::string& templateBytes, const char* path)
{
    WriteFileBytes("install.inx", templateBytes);
    EXPECT_EQ(ScriptStatus::Written, GenerateInstallScript(path));
    return ReadFileBytes("install.inf");
}

TEST(TextMode, LineEndsComeOutAsCrLfAndBareCrStays)
{
    ScratchDirectory scratch;
    const std::vector<TextModeCase> cases = {
        {"CR LF", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"bare LF", "a\nb\n", "a\r\nb\r\n"},
        {"mixed", "a\r\nb\nc", "a\r\nb\r\nc"},
        {"bare CR", "a\rb\r", "a\rb\r"},
        {"CR CR LF", "a\r\r\nb", "a\r\r\nb"},
        {"LF CR", "a\n\rb", "a\r\n\rb"},
        {"placeholder between line ends", "\r\nVUZAZURAV\n", "\r\n\"C:\\A\"\r\n"},
    };
    for (const TextModeCase& c : cases) {
        EXPECT_EQ(c.scriptBytes, Generate(c.templateBytes, "C:\\A")) << c.what;
    }
}

TEST(TextMode, CtrlZOrNulEndsTheText)
{
    ScratchDirectory scratch;
    const std::vector<TextModeCase> cases = {
        {"Ctrl-Z",
         "Dir=VUZAZURAV\r\n\x1A"
         "Dir=VUZAZURAV\r\n",
         "Dir=\"C:\\A\"\r\n"},
        {"Ctrl-Z first",
         "\x1A"
         "abc",
         ""},
        {"Ctrl-Z inside the placeholder", "VUZA\x1AZURAV", "VUZA"},
        {"NUL", std::string("a\r\nb\0c\r\n", 8), "a\r\nb"},
        {"NUL inside the placeholder", std::string("VUZA\0ZURAV", 10), "VUZA"},
        {"empty", "", ""},
    };
    for (const TextModeCase& c : cases) {
        EXPECT_EQ(c.scriptBytes, Generate(c.templateBytes, "C:\\A")) << c.what;
    }
}

TEST(TextMode, LargeTemplateRoundTripsAcrossBufferBoundaries)
{
    ScratchDirectory scratch;
    std::string crlf;
    std::string lf;
    for (int line = 0; line < 3000; ++line) {
        const std::string text = "HKCU,Software\\Test,Line" + std::to_string(line) + ",,VUZAZURAV";
        crlf += text + "\r\n";
        lf += text + "\n";
    }
    std::string expected = crlf;
    for (std::size_t at = expected.find(kPlaceholder); at != std::string::npos;
         at = expected.find(kPlaceholder, at)) {
        expected.replace(at, kPlaceholderLength, "\"C:\\A\"");
    }
    EXPECT_EQ(expected, Generate(crlf, "C:\\A"));
    EXPECT_EQ(expected, Generate(lf, "C:\\A"));
}

// A failed flush must count even where fclose would not report it.
TEST(WindowsRuntime, FullDiskGivesScriptNotWritten)
{
    const char* fullDisk = std::getenv("INSTALL_TEST_FULL_DISK");
    if (fullDisk == nullptr) {
        GTEST_SKIP() << "INSTALL_TEST_FULL_DISK names no folder whose install.inf is a full device";
    }
    ScratchDirectory scratch;  // restores the current directory afterwards
    std::filesystem::current_path(fullDisk);
    WriteFileBytes("install.inx", "Dir=VUZAZURAV\r\n");

    EXPECT_EQ(ScriptStatus::ScriptNotWritten, GenerateInstallScript("C:\\A"));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
    EXPECT_FALSE(IsFileHeldOpen("install.inf"));
}

}  // namespace
