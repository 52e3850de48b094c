// inx-check's findings, each at the byte that causes it, and its install.inf.
#include "inx-check/TemplateCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kClean =
    "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n[DefaultInstall]\r\nAddReg=R\r\n\r\n"
    "[R]\r\nHKCU,Software\\Test,Dir,,VUZAZURAV\r\n";  // lines 1 to 8

// "LINE:COLUMN severity: text" for each finding.
std::vector<std::string> Findings(const std::string& bytes, const std::string* folder = nullptr)
{
    std::vector<std::string> findings;
    for (const Diagnostic& diagnostic : CheckTemplate(bytes, folder)) {
        const Position at = PositionOf(bytes, diagnostic.offset);
        findings.push_back(std::to_string(at.line) + ":" + std::to_string(at.column) +
                           (diagnostic.severity == Severity::Error ? " error: " : " warning: ") +
                           diagnostic.text);
    }
    return findings;
}

struct CheckCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> expected;  // the start of each finding, in order
};

TEST(CheckTemplate, EachFindingAtItsCause)
{
    const std::string dirs = "HKCU,Software\\Test,Dirs,,";
    const std::string four = "VUZAZURAVVUZAZURAVVUZAZURAVVUZAZURAV";
    const std::vector<CheckCase> cases = {
        {"clean", kClean, {}},
        {"decorated section in any case", " [ defaultinstall.NTx86 ]\nA=VUZAZURAV\n", {}},
        {"Ctrl-Z as the last byte loses nothing", kClean + "\x1A", {}},
        {"ANSI text", kClean + "; caf\xE9\r\n", {}},
        {"UTF-16 with a byte-order mark", std::string("\xFF\xFE[\0D\0", 6), {"1:1 error: UTF-16"}},
        {"UTF-16 without one", std::string("[\0D\0", 4), {"1:2 error: NUL byte in the first line"}},
        {"NUL before the end",
         kClean + std::string("\0tail", 5),
         {"9:1 error: NUL byte: the text ends here, and the 4 bytes after"}},
        {"section only after Ctrl-Z",
         "A=VUZAZURAV\r\n\x1A[DefaultInstall]\r\n",
         {"1:1 error: no [DefaultInstall] section", "2:1 error: Ctrl-Z byte"}},
        {"no placeholder", "[DefaultInstall]\r\n", {"1:1 warning: no placeholder"}},
        {"quoted placeholder",
         "[DefaultInstall]\r\nA=1,\"VUZAZURAV\\bin\"\r\n",
         {"2:6 warning: placeholder already between double quotes"}},
        {"placeholder in another case",
         kClean + "B=vuzaZURAV\r\n",
         {"9:3 warning: 'vuzaZURAV' is not replaced"}},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + kClean, {"1:1 warning: UTF-8 byte-order mark"}},
        {"UTF-8 text", kClean + "; caf\xC3\xA9\r\n", {"9:6 warning: UTF-8 text"}},
        {"four placeholders on a line fit", kClean + dirs + four + "\r\n", {}},
        {"five do not",
         kClean + dirs + four + "VUZAZURAV\r\n",
         {"9:1 warning: with the longest folder install.exe accepts (999 bytes) this line is "
          "5030 characters long"}},
    };
    for (const CheckCase& c : cases) {
        const std::vector<std::string> findings = Findings(c.bytes);
        ASSERT_EQ(c.expected.size(), findings.size())
            << c.what << ": " << testing::PrintToString(findings);
        for (std::size_t i = 0; i < findings.size(); ++i) {
            EXPECT_EQ(0u, findings[i].rfind(c.expected[i], 0)) << c.what << ": " << findings[i];
        }
    }
}

TEST(CheckTemplate, FolderHazardsAtTheFirstPlaceholder)
{
    const std::string folders[] = {"C:\\100%", "C:\\One;D:\\Two", std::string(1000, 'f')};
    const char* expected[] = {"8:25 warning: the folder holds '%'",
                              "8:25 warning: the folder holds ';'",
                              "8:25 error: the folder is 1000 bytes long"};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::vector<std::string> findings = Findings(kClean, &folders[i]);
        ASSERT_EQ(1u, findings.size()) << testing::PrintToString(findings);
        EXPECT_EQ(0u, findings[0].rfind(expected[i], 0)) << findings[0];
    }
    const std::string folder = "C:\\Program Files\\App";
    EXPECT_TRUE(Findings(kClean, &folder).empty());
}

TEST(RenderInstallScript, AppliesWindowsTextModeAroundTheExpansion)
{
    std::string script;
    ASSERT_TRUE(RenderInstallScript("a\r\nb\nVUZAZURAV\rc\r\r\n\x1Alost", "C:\\A", &script));
    EXPECT_EQ("a\r\nb\r\n\"C:\\A\"\rc\r\r\n", script);
    ASSERT_TRUE(RenderInstallScript(std::string("x\0y", 3), "C:\\A", &script));
    EXPECT_EQ("x", script);
}

}  // namespace
