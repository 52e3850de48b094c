// inx-check --fix: the uninstall it writes takes away what the installation
// makes, leaves nothing the checker reports, deletes nothing the
// installation did not make, and never a key the package shares whole.
#include "inx-check/fix/UninstallFix.h"
#include "inx-check/plan/Plan.h"
#include "inx-check/reader/CodePage.h"
#include "inx-check/reader/InfReader.h"
#include "inx-check/rules/TemplateCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHead = "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\n";

struct FixCase {
    const char* what;
    std::string inx;
    std::vector<std::string> shared;    // keys that no line may delete whole, nor one above
    std::vector<std::string> comments;  // text each of some comment of the patch holds
    std::vector<std::string> left =
        {};  // what uninstall-leaves may still name: what no line can take back
};

// `bytes` with the insertions made, as the patch makes them.
std::string Patched(const std::string& bytes, const std::vector<Insertion>& insertions)
{
    std::vector<std::string> lines = SplitLines(bytes);
    for (auto at = insertions.rbegin(); at != insertions.rend(); ++at) {
        std::vector<std::string> added;
        for (const std::string& line : at->lines) {
            added.push_back(line + "\r\n");
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at->after), added.begin(),
                     added.end());
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line;
    }
    return text;
}

bool UnderOrAbove(const std::string& deleted, const std::string& shared)
{
    const std::string a = LowerAscii(deleted);
    const std::string b = LowerAscii(shared);
    return b.compare(0, a.size(), a) == 0 && (b.size() == a.size() || b[a.size()] == '\\');
}

TEST(Fix, TheUninstallTakesAwayJustWhatTheInstallationMakes)
{
    const std::string run = "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::vector<FixCase> cases = {
        {"files in several folders, one of them under a folder of its own",
         kHead +
             "CopyFiles=App,Sys,Prog\r\n[DestinationDirs]\r\nApp=-1,VUZAZURAV\r\nSys=11\r\n"
             "Prog=16422,Vendor\\Tool\r\n[App]\r\na.txt\r\n[Sys]\r\nv.dll\r\n[Prog]\r\nt.exe\r\n",
         {},
         {"the folder 16422,Vendor\\Tool"}},
        {"a vendor key, App Paths, a value in Run, a CLSID",
         kHead +
             "AddReg=R\r\n[R]\r\nHKLM,Software\\Vendor\\App,Dir,,VUZAZURAV\r\n"
             "HKLM,Software\\Vendor\\App,Version,,1\r\n"
             "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\App.exe,,,a\r\n" +
             run +
             ",App,,\"VUZAZURAV\\app.exe\"\r\n"
             "HKCR,CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32,,,x.dll\r\n"
             "HKCR,CLSID\\{11111111-2222-3333-4444-555555555555},,,App\r\n"
             "HKCR,.app,,,App.File\r\nHKCR,Directory\\shell\\App,,,Open with App\r\n"
             "HKCR,\"*\\\\shell\\\\App\\\\command\",,,\"app.exe %1\"\r\n",
         {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
          "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
          "HKEY_CLASSES_ROOT\\.app", "HKEY_CLASSES_ROOT\\Directory\\shell",
          "HKEY_CLASSES_ROOT\\*\\shell", "HKEY_CLASSES_ROOT\\CLSID"},
         {"the default value of HKEY_CLASSES_ROOT\\.app"},
         {"'HKEY_CLASSES_ROOT\\.app'"}},
        {"a service with an event log, a list appended to",
         kHead + "AddReg=R\r\n[DefaultInstall.Services]\r\nAddService=Svc,,S,L\r\n"
                 "[S]\r\nServiceType=16\r\nStartType=3\r\nErrorControl=1\r\n"
                 "ServiceBinary=%11%\\svc.exe\r\n[L]\r\nAddReg=LR\r\n[LR]\r\n"
                 "HKR,,TypesSupported,0x10001,7\r\n[R]\r\n"
                 "HKLM,System\\CurrentControlSet\\Services\\Shared,List,0x10008,mine\r\n",
         {"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Shared"},
         {}},
        {"a Windows setting overwritten, a value written only where missing, a DLL registered",
         kHead + "AddReg=R\r\nRegisterDlls=D\r\n[D]\r\n11,,x.dll,1\r\n[R]\r\n"
                 "HKCU,Control Panel\\Cursors,Arrow,0x20000,\"%10%\\Cursors\\a.cur\"\r\n"
                 "HKCU,Software\\Microsoft\\Notepad,Once,0x2,1\r\n"
                 "HKCU,Software\\Microsoft\\Notepad,Mine,,1\r\n"
                 "HKCU,Software\\Microsoft\\Notepad,\"A,B\",,1\r\n",
         {"HKEY_CURRENT_USER\\Control Panel\\Cursors", "HKEY_CURRENT_USER\\Software\\Microsoft"},
         {"Arrow", "only where it was missing", "RegisterDlls"},
         {"'Arrow'", "'Once'"}},
        {"an uninstall section that leaves some: the missing lines added to it",
         kHead +
             "CopyFiles=F\r\nAddReg=R\r\n[DestinationDirs]\r\nF=-1,VUZAZURAV\r\n[F]\r\na.txt\r\n"
             "[R]\r\nHKCU,Software\\Vendor\\App,V,,1\r\n[DefaultUninstall]\r\nDelFiles=F\r\n",
         {},
         {}},
        {"decorated as the install section is; a 64-bit key's view named again",
         "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall.NTx86]\r\nAddReg=R\r\n[R]\r\n"
         "HKLM,Software\\Vendor64,V,0x1000,1\r\nHKLM,Software\\Microsoft\\Shared,V,0x1000,1\r\n",
         {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Shared"},
         {}},
    };
    const CodePage& page = *FindCodePage(kDefaultCodePage);
    for (const FixCase& c : cases) {
        const std::vector<Insertion> insertions = UninstallInsertions(c.inx, page, "App");
        ASSERT_FALSE(insertions.empty()) << c.what;
        const std::string patched = Patched(c.inx, insertions);
        std::vector<Rule> errorsBefore;  // the patch adds no error of a rule the template had not
        for (const Diagnostic& finding : CheckTemplate(c.inx, nullptr, nullptr, page)) {
            if (finding.severity == Severity::Error) {
                errorsBefore.push_back(finding.rule);
            }
        }
        for (const Diagnostic& finding : CheckTemplate(patched, nullptr, nullptr, page)) {
            EXPECT_TRUE(finding.severity != Severity::Error ||
                        std::find(errorsBefore.begin(), errorsBefore.end(), finding.rule) !=
                            errorsBefore.end())
                << c.what << ": " << finding.text;
            const bool named =
                std::any_of(c.left.begin(), c.left.end(), [&](const std::string& text) {
                    return finding.text.find(text) != std::string::npos;
                });
            EXPECT_TRUE(finding.rule != Rule::NoUninstall &&
                        (finding.rule != Rule::UninstallLeaves || named))
                << c.what << ": " << finding.text << "\n"
                << patched;
        }
        const Inf after = ReadInf(patched, page);
        const InstallPlan made = MakePlan(after, Windows::Bits32);
        ASSERT_TRUE(made.uninstall.has_value()) << c.what;
        // The uninstaller the list of installed programs runs is the INF's copy the install makes.
        EXPECT_TRUE(std::any_of(made.install->files.begin(), made.install->files.end(),
                                [&](const PlannedFile& file) {
                                    return file.source == "install.inf" &&
                                           made.uninstallString.find(" " + file.destination) !=
                                               std::string::npos &&
                                           file.destination == "C:\\Windows\\INF\\App.inf";
                                }))
            << c.what << ": " << made.uninstallString;
        // Nothing deleted that the installation did not make.
        for (const PlannedPath& file : made.uninstall->deletes) {
            EXPECT_TRUE(std::any_of(made.install->files.begin(), made.install->files.end(),
                                    [&](const PlannedFile& copied) {
                                        return LowerAscii(copied.destination) ==
                                               LowerAscii(file.path);
                                    }))
                << c.what << ": deletes " << file.path;
        }
        for (const PlannedRegistryDelete& removal : made.uninstall->registryDeletes) {
            const bool installed = std::any_of(
                made.install->keys.begin(), made.install->keys.end(),
                [&](const PlannedKey& key) { return UnderOrAbove(removal.key, key.key); });
            EXPECT_TRUE(installed) << c.what << ": deletes from " << removal.key;
            for (const std::string& shared : c.shared) {
                EXPECT_FALSE(!removal.name.has_value() && UnderOrAbove(removal.key, shared))
                    << c.what << ": deletes the shared key " << removal.key << " whole";
            }
        }
        std::vector<std::string> added;  // the patch's lines, each once
        std::size_t registryLines = 0;   // of its DelReg section: each one the engine runs
        for (const Insertion& insertion : insertions) {
            bool inRegistry = false;
            for (const std::string& line : insertion.lines) {
                if (!line.empty() && line[0] == '[') {
                    inRegistry = line.rfind("[UninstallRegistry", 0) == 0;
                } else if (inRegistry && !line.empty()) {
                    ++registryLines;
                }
                if (!line.empty() && line[0] != '[') {
                    EXPECT_EQ(added.end(), std::find(added.begin(), added.end(), line))
                        << c.what << ": twice: " << line;
                    added.push_back(line);
                }
            }
        }
        // Less the event sources that DelService's flag 4 deletes.
        const auto fromDelReg = std::count_if(
            made.uninstall->registryDeletes.begin(), made.uninstall->registryDeletes.end(),
            [](const PlannedRegistryDelete& removal) {
                return LowerAscii(removal.key).find("\\services\\eventlog\\") == std::string::npos;
            });
        EXPECT_EQ(registryLines, static_cast<std::size_t>(fromDelReg))
            << c.what << ": a DelReg line the engine does not run\n"
            << patched;
        for (const std::string& wanted : c.comments) {
            EXPECT_TRUE(std::any_of(added.begin(), added.end(),
                                    [&](const std::string& line) {
                                        return line.rfind("; inx-check --fix: ", 0) == 0 &&
                                               line.find(wanted) != std::string::npos;
                                    }))
                << c.what << ": no comment " << wanted;
        }
    }
}

// The diff: each insertion a hunk with three lines of context, a last line
// without its end given one, the numbers of a later hunk counting the lines
// an earlier one added.
TEST(Fix, UnifiedDiffsAsPatchReadsThem)
{
    const std::string text = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10";
    EXPECT_EQ("", UnifiedDiff("t.inx", text, {}));
    EXPECT_EQ(
        "--- t.inx\n+++ t.inx\n@@ -1,3 +1,4 @@\n+top\n 1\n 2\n 3\n@@ -8,3 +9,4 @@\n 8\n 9\n-10\n"
        "\\ No newline at end of file\n+10\n+end\n",
        UnifiedDiff("t.inx", text, {{0, {"top"}}, {10, {"end"}}}));
    EXPECT_EQ("--- t.inx\n+++ t.inx\n@@ -1,8 +1,10 @@\n 1\n 2\n+a\n 3\n 4\n 5\n+b\n 6\n 7\n 8\n",
              UnifiedDiff("t.inx", text, {{5, {"b"}}, {2, {"a"}}}));
    // Insertions six lines apart share their context, as diff writes them; seven apart do not.
    std::string twenty;
    for (int i = 1; i <= 20; ++i) {
        twenty += std::to_string(i) + "\n";
    }
    const auto hunks = [&twenty](std::size_t second) {
        const std::string diff = UnifiedDiff("t.inx", twenty, {{3, {"a"}}, {second, {"b"}}});
        std::size_t count = 0;
        for (std::size_t at = diff.find("\n@@ "); at != std::string::npos;
             at = diff.find("\n@@ ", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(1u, hunks(9));
    EXPECT_EQ(2u, hunks(10));
    EXPECT_EQ("--- t.inx\n+++ t.inx\n@@ -1,2 +1,3 @@\n 1\r\n+x\r\n 2\r\n",
              UnifiedDiff("t.inx", "1\r\n2\r\n", {{1, {"x"}}}));
}

}  // namespace
