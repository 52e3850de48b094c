// inx-check's findings, each at the byte that causes it, and its install.inf.
#include "inx-check/reader/CodePage.h"
#include "inx-check/reader/InfReader.h"
#include "inx-check/command/Report.h"
#include "inx-check/rules/Suppressions.h"
#include "inx-check/reader/Rendering.h"
#include "inx-check/rules/TemplateCheck.h"

#include <algorithm>
#include <cctype>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kClean =
    "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\nCopyFiles=Files\r\n"
    "AddReg=Reg\r\n[DestinationDirs]\r\nFiles=-1,VUZAZURAV\r\n[Files]\r\nplugin.dll\r\n"
    "[Reg]\r\nHKCU,Software\\ZI050,Dir,,VUZAZURAV\r\n";  // lines 1 to 11

class FakePackage final : public Package {
public:
    bool Holds(const std::string& path) const override
    {
        std::string lower = path;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return lower == "plugin.dll" || lower == "sub\\data.txt" ||
               lower == "\x95\x5C\\data.txt";  // a Shift-JIS folder whose second byte is '\\'
    }
};

std::string Repeated(const std::string& text, std::size_t times)
{
    std::string repeated;
    for (std::size_t i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

// kClean with `from` replaced by `to`.
std::string With(const std::string& from, const std::string& to, std::string text = kClean)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// kClean with a service whose program is the copied file.
const std::string kService =
    kClean +
    "[DefaultInstall.Services]\r\nAddService=Svc,,S\r\n[S]\r\nServiceType=16\r\n"
    "StartType=3\r\nErrorControl=1\r\nServiceBinary=%11%\\plugin.dll\r\n";

// kClean with the [Version] of a driver package.
const std::string kDriverLike =
    With("Signature=\"$Chicago$\"\r\n",
         "Signature=\"$Windows NT$\"\r\nClass=Extension\r\n"
         "ClassGuid={e2f84ce7-8efa-411c-aa69-97454ca4cb57}\r\nProvider=Vendor\r\n");

// "LINE:COLUMN severity: text" for each finding; what uninstalling leaves
// only when asked for.
std::vector<std::string> Findings(const std::string& bytes, const std::string* folder = nullptr,
                                  unsigned codePage = kDefaultCodePage, bool uninstall = false)
{
    const FakePackage package;
    const LineIndex lines(bytes);
    std::vector<std::string> findings;
    for (const Diagnostic& diagnostic :
         CheckTemplate(bytes, folder, &package, *FindCodePage(codePage))) {
        if (!uninstall &&
            (diagnostic.rule == Rule::NoUninstall || diagnostic.rule == Rule::UninstallLeaves)) {
            continue;
        }
        const Position at = lines.PositionOf(diagnostic.offset);
        findings.push_back(std::to_string(at.line) + ":" + std::to_string(at.column) +
                           (diagnostic.severity == Severity::Error ? " error: " : " warning: ") +
                           diagnostic.text + " [" + std::string(InfoOf(diagnostic.rule).name) +
                           "]");
    }
    return findings;
}

struct CheckCase {
    const char* what;
    std::string bytes;
    // The start of each finding, in order, and its rule when it ends in " [rule]".
    std::vector<std::string> expected;
    const char* folder = nullptr;
    unsigned codePage = kDefaultCodePage;
    bool uninstall = false;  // what uninstalling leaves is looked at
};

void ExpectFindings(const std::vector<CheckCase>& cases)
{
    for (const CheckCase& c : cases) {
        const std::string folder = c.folder != nullptr ? c.folder : "";
        const std::vector<std::string> findings =
            Findings(c.bytes, c.folder != nullptr ? &folder : nullptr, c.codePage, c.uninstall);
        ASSERT_EQ(c.expected.size(), findings.size())
            << c.what << ": " << testing::PrintToString(findings);
        for (std::size_t i = 0; i < findings.size(); ++i) {
            std::string start = c.expected[i];
            std::string rule;
            const std::size_t bracket = start.rfind(" [");
            if (!start.empty() && start.back() == ']' && bracket != std::string::npos &&
                start.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", bracket + 2) ==
                    start.size() - 1) {
                rule = start.substr(bracket);
                start.resize(bracket);
            }
            EXPECT_EQ(0u, findings[i].rfind(start, 0)) << c.what << ": " << findings[i];
            EXPECT_TRUE(rule.empty() || (findings[i].size() >= rule.size() &&
                                         findings[i].compare(findings[i].size() - rule.size(),
                                                             rule.size(), rule) == 0))
                << c.what << ": " << findings[i];
        }
    }
}

TEST(CheckTemplate, TheTemplatesOwnBytes)
{
    const std::string dirs = "HKCU,Software\\T,Dirs,,";
    const std::string four = "VUZAZURAVVUZAZURAVVUZAZURAVVUZAZURAV";
    const std::string reg = "HKCU,Software\\T,X,,";
    ExpectFindings({
        {"clean", kClean, {}},
        {"Ctrl-Z as the last byte loses nothing", kClean + "\x1A", {}},
        {"ANSI text", kClean + "; caf\xE9\r\n", {}},
        {"UTF-16 with a byte-order mark", std::string("\xFF\xFE[\0D\0", 6), {"1:1 error: UTF-16"}},
        {"UTF-16 without one", std::string("[\0V\0e\0r\0", 8), {"1:1 error: UTF-16"}},
        {"an 8-bit file with an early NUL is not UTF-16",
         std::string("[\0", 2) + kClean,
         {"1:1 warning: no placeholder", "1:1 error: section name without its ']'",
          "1:2 error: NUL byte: the text ends here"}},
        {"NUL before the end",
         kClean + std::string("\0tail", 5),
         {"12:1 error: NUL byte: the text ends here, and the 4 bytes after"}},
        {"placeholders after a Ctrl-Z are not counted",
         "[Version]\r\nSignature=$Chicago$\r\n[DefaultInstall]\r\n\x1AVUZAZURAV",
         {"1:1 warning: no placeholder", "4:1 error: Ctrl-Z byte"}},
        {"quoted placeholder",
         With("Dir,,VUZAZURAV", "Dir,,\"VUZAZURAV\\bin\""),
         {"11:27 warning: placeholder already between double quotes"}},
        {"quotes are counted from the line's start",
         With("[Reg]\r\n", "[Reg]\r\n" + reg + "\"open\r\n"),
         {"11:20 warning: this quote is never closed [unclosed-quote]"}},
        {"placeholder in another case",
         kClean + reg + "vuzaZURAV\r\n",
         {"12:20 warning: 'vuzaZURAV' is not replaced"}},
        {"UTF-8 byte-order mark",
         "\xEF\xBB\xBF" + kClean,
         {"1:1 warning: UTF-8 byte-order mark: Wine's engine reads such a file as UTF-8"}},
        {"UTF-8 text", kClean + "; caf\xC3\xA9\r\n", {"12:6 warning: UTF-8 text"}},
        {"four placeholders on a line fit", kClean + dirs + four + "\r\n", {}},
        {"five placeholders at the line's start do not",
         kClean + "[Long]\r\nVUZAZURAV" + four + "\r\n",
         {"13:1 warning: with the longest folder install.exe accepts (999 bytes) this line is "
          "5005 characters long"}},
        {"a line of 4096 characters fits",
         kClean + reg + std::string(4096 - 19, 'x') + "\r\n",
         {"12:20 warning: this value is 4077 characters long: Wine's"}},
        {"one of 4097 does not",
         kClean + reg + std::string(4097 - 19, 'x') + "\r\n",
         {"12:1 warning: this line is 4097", "12:20 warning: this value is 4078"}},
    });
}

// Each mistake, at its line, with what the engine does with it.
// What uninstalling leaves, and an installation nothing uninstalls.
TEST(CheckTemplate, WhatUninstallingLeaves)
{
    const std::string uninstall = "[DefaultUninstall]\r\nDelFiles=Files\r\n";
    const std::string registered =
        "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZI050,UninstallString,,"
        "x\r\n";
    ExpectFindings({
        {"nothing uninstalls it",
         kClean,
         {"3:1 warning: [DefaultInstall] changes the machine, and there is no [DefaultUninstall] "
          "section nor an UninstallString [no-uninstall]"},
         nullptr,
         kDefaultCodePage,
         true},
        {"an UninstallString names an uninstaller",
         kClean + registered,
         {},
         nullptr,
         kDefaultCodePage,
         true},
        // On 64-bit Windows, System32's rundll32.exe: an error only where it leaves more
        // than SysWOW64's would with the same section (here, that deletes the same).
        {"a section of its own that both engines run alike",
         kClean + "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZI050,"
                  "UninstallString,,\"rundll32.exe setupapi.dll,InstallHinfSection Remove 132 "
                  "x.inf\"\r\n[Remove]\r\nDelReg=Gone\r\n[Gone]\r\nHKCU,Software\\ZI050\r\n",
         {},
         nullptr,
         kDefaultCodePage,
         true},
        {"the key and its value stay: one finding, at the line that makes them",
         kClean + uninstall,
         {"11:1 warning: uninstalling leaves the key 'HKEY_CURRENT_USER\\Software\\ZI050': "
          "[DefaultUninstall] does not delete it or a key above it [uninstall-leaves]"},
         nullptr,
         kDefaultCodePage,
         true},
        {"a service left stands for its values, and the entry in the list of installed "
         "programs is the package's own",
         kClean + registered + uninstall + "DelReg=Unreg\r\n[Unreg]\r\nHKCU,Software\\ZI050\r\n" +
             "[DefaultInstall.Services]\r\nAddService=Svc,,S\r\n[S]\r\nServiceType=1\r\n"
             "StartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\s.sys\r\nAddReg=SR\r\n"
             "[SR]\r\nHKR,Parameters,P,0x10001,1\r\nHKR,,Q,,1\r\n",
         {"12:1 warning: uninstalling leaves the key "
          "'HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZI050'",
          "19:12 warning: uninstalling leaves the service 'Svc'"},
         nullptr,
         kDefaultCodePage,
         true},
        {"everything taken away",
         kClean + uninstall + "DelReg=Unreg\r\n[Unreg]\r\nHKCU,Software\\ZI050\r\n",
         {},
         nullptr,
         kDefaultCodePage,
         true},
    });
}

TEST(CheckTemplate, WhatTheEngineWouldDo)
{
    const std::string strings = "[Strings]\r\nSig=\"$Chicago$\"\r\n";
    const std::string reg = "HKCU,Software\\ZI050,Dir,,VUZAZURAV";
    ExpectFindings({
        {"no [Version]",
         With("[Version]\r\nSignature=\"$Chicago$\"\r\n", ""),
         {"1:1 error: no [Version] section: the INF engine refuses"}},
        {"no Signature", With("Signature", "Provider"), {"1:1 error: no Signature in [Version]"}},
        {"an unknown signature",
         With("$Chicago$", "$Windows XP$"),
         {"2:11 error: the signature '$Windows XP$' is not one"}},
        {"a signature from [Strings]",
         With("\"$Chicago$\"", "%Sig%") + strings,
         {"2:11 error: the signature '%Sig%' is not substituted"}},
        {"a signature in another case", With("$Chicago$", "$WINDOWS NT$"), {}},
        {"a signature only Wine takes",
         With("$Chicago$", "$Windows 95$"),
         {"2:11 error: the signature '$Windows 95$' is one Wine's engine takes and Windows' "
          "does not"}},
        {"a service section without ErrorControl",
         kClean + "[DefaultInstall.Services]\r\nAddService=Svc,,S\r\n[S]\r\nServiceType=1\r\n"
                  "StartType=3\r\nServiceBinary=%12%\\s.sys\r\n",
         {"13:12 error: the engine refuses the service 'Svc': [S] has no number for ErrorControl"}},
        {"a primitive driver to Windows 10: Class, ClassGuid, Provider, only decorated sections",
         With("[DefaultInstall]", "[DefaultInstall.NTx86]", kDriverLike),
         {"6:1 warning: Windows 10 1903 and later hand this INF to the driver installer "
          "[driver-route]"}},
        {"a Class from [Strings] counts",
         With("Class=Extension", "Class=%C%",
              With("[DefaultInstall]", "[DefaultInstall.NTx86]", kDriverLike)) +
             "[Strings]\r\nC=Extension\r\n",
         {"6:1 warning: Windows 10 1903 and later hand this INF to the driver installer"}},
        {"no ClassGuid",
         With("ClassGuid=", "Guid=",
              With("[DefaultInstall]", "[DefaultInstall.NTx86]", kDriverLike)),
         {}},
        {"an empty Provider",
         With("Provider=Vendor",
              "Provider=", With("[DefaultInstall]", "[DefaultInstall.NTx86]", kDriverLike)),
         {}},
        {"a plain [DefaultInstall] beside the decorated one",
         With("[DefaultInstall]", "[DefaultInstall.NTx86]\r\nAddReg=Reg\r\n[DefaultInstall]",
              kDriverLike),
         {"8:1 warning: [DefaultInstall] is ignored"}},
        {"[DefaultInstall.NT] beside it",
         With("[DefaultInstall]", "[DefaultInstall.NTx86]\r\nAddReg=Reg\r\n[DefaultInstall.NT]",
              kDriverLike),
         {"8:1 warning: [DefaultInstall.NT] is ignored"}},
        {"a [Manufacturer] section",
         With("[DefaultInstall]", "[DefaultInstall.NTx86]", kDriverLike) + "[Manufacturer]\r\n",
         {}},
        {"a missing section",
         With("AddReg=Reg", "AddReg=Rge"),
         {"5:8 warning: [Rge] does not exist: the engine skips this AddReg"}},
        {"a section named twice is checked once",
         With("AddReg=Reg", "AddReg=Rge,Rge,rge"),
         {"5:8 warning: [Rge] does not exist: the engine skips this AddReg"}},
        {"a file not in the package",
         With("plugin.dll", "missing.dll"),
         {"9:1 error: 'missing.dll' is not in the package folder"}},
        {"a section that Needs= runs: its files and sections are checked too",
         With("CopyFiles=Files", "Needs=More,Gone",
              With("[DestinationDirs]", "[More]\r\nCopyFiles=Files\r\n[DestinationDirs]",
                   With("plugin.dll", "missing.dll"))),
         {"4:12 warning: [Gone] does not exist: the engine skips this Needs",
          "11:1 error: 'missing.dll' is not in the package folder"}},
        {"-1 with a folder number first is absolute", With("-1,VUZAZURAV", "-1,%16422%\\App"), {}},
        {"flags 0 are a string", With("Dir,,VUZAZURAV", "Dir,0,VUZAZURAV"), {}},
        {"a renamed copy is looked up under its source name",
         With("plugin.dll\r\n[Reg]", "new.dll,plugin.dll\r\n[Reg]"),
         {}},
        {"a renamed copy's missing source",
         With("plugin.dll\r\n[Reg]", "plugin.dll,absent.dll\r\n[Reg]"),
         {"9:1 error: 'absent.dll' is not in the package folder"}},
        {"a blank before a continuation '\\' is no value's end",
         kClean + "HKCU,Software\\ZI050,X,,a\t\\\r\nHKCU,Software\\ZI050,Y,,b\r\n",
         {}},
        {"a lower-case drive C:", With("-1,VUZAZURAV", "-1,c:\\ZI050"), {}},
        {"another drive in lower case",
         With("-1,VUZAZURAV", "-1,d:\\ZI050"),
         {"7:10 warning: the destination is on drive d:"}},
        {"[strings] in lower case",
         With("Dir,,VUZAZURAV", "Dir,,VUZAZURAV\\%Key%") + "[strings]\r\nKey=x\r\n",
         {}},
        {"findings go on after a missing Signature",
         With("AddReg=Reg", "AddReg=Rge", With("Signature", "Provider")),
         {"1:1 error: no Signature", "5:8 warning: [Rge] does not exist"}},
        {"a value deleted (0x4) takes any fields", With("Dir,,VUZAZURAV", "Dir,0x4,a,b"), {}},
        {"directory 66004, a printer folder",
         With("-1,VUZAZURAV", "66004"),
         {"7:7 warning: directory 66004 is known to Windows but not to Wine"}},
        {"directory 66005", With("-1,VUZAZURAV", "66005"), {"7:7 error: directory 66005"}},
        {"a UTF-8 character of two bytes", kClean + "; \xC2\xA9\r\n", {"12:3 warning: UTF-8 text"}},
        {"an unclosed quote on a file name: the CR is Wine's alone",
         With("plugin.dll\r\n[Reg]", "\"plugin.dll\r\n[Reg]"),
         {"9:1 warning: this quote is never closed"}},
        {"the same on a missing file",
         With("plugin.dll\r\n[Reg]", "\"absent.dll\r\n[Reg]"),
         {"9:1 warning: this quote", "9:1 error: 'absent.dll' is not in the package folder"}},
        {"a file in another case", With("plugin.dll", "PLUGIN.DLL"), {}},
        {"a CR inside closed quotes, part of the name",
         With("plugin.dll\r\n[Reg]", "\"plugin.dll\r\"\r\n[Reg]"),
         {"9:1 error: 'plugin.dll\r' is not in the package folder [missing-file]"}},
        // An undefined key where a file, folder or section is named is an error.
        {"in a renamed copy's source",
         With("plugin.dll\r\n[Reg]", "plugin.dll,%Src%.dll\r\n[Reg]"),
         {"9:1 error: '%Src%.dll' is not in the package folder",
          "9:12 error: %Src% is not defined in [Strings] [undefined-string]"}},
        {"in a disk's subfolder",
         kClean + "[SourceDisksNames]\r\n1=Disk\r\n[SourceDisksFiles]\r\nplugin.dll=1,%Sub%\r\n",
         {"9:1 error: '%Sub%\\plugin.dll' is not in the package folder",
          "15:14 error: %Sub% is not defined in [Strings] [undefined-string]"}},
        {"in a directive's section name",
         With("CopyFiles=Files", "CopyFiles=Files,%More%"),
         {"4:17 warning: [%More%] does not exist [missing-section]",
          "4:17 error: %More% is not defined in [Strings] [undefined-string]"}},
        {"a file in a disk's subfolder",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk,,,\\sub\r\n[SourceDisksFiles]\r\ndata.txt=1\r\n",
         {}},
        {"the disk read as a number, its first line taken",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk,,,\\sub\r\n1=Again,,,\\other\r\n"
             "[SourceDisksFiles]\r\ndata.txt=01\r\n",
         {}},
        {"the disk in hexadecimal",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk,,,\\sub\r\n[SourceDisksFiles]\r\ndata.txt=0x1\r\n",
         {}},
        // The x86 engine reads its platform's sections first, then the plain ones.
        {"a file's subfolder in [SourceDisksFiles.x86]",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk\r\n[SourceDisksFiles.x86]\r\ndata.txt=1,sub\r\n",
         {"9:1 warning: Windows copies 'sub\\data.txt', named by the .x86 source sections, but "
          "Wine 8 reads the plain ones alone and looks for 'data.txt', which the package lacks: a "
          "try under Wine waits forever [wine-source]"}},
        {"[SourceDisksFiles.x86] before [SourceDisksFiles]",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk\r\n[SourceDisksFiles]\r\ndata.txt=1,other\r\n"
             "[SourceDisksFiles.x86]\r\ndata.txt=1,sub\r\n",
         {"9:1 warning: Windows copies 'sub\\data.txt', named by the .x86 source sections, but "
          "Wine 8 reads the plain ones alone and looks for 'other\\data.txt', which the package "
          "lacks: a "
          "try under Wine waits forever [wine-source]"}},
        {"[SourceDisksNames.x86] before [SourceDisksNames]",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk,,,other\r\n[SourceDisksNames.x86]\r\n1=Disk,,,sub\r\n"
             "[SourceDisksFiles]\r\ndata.txt=1\r\n",
         {"9:1 warning: Windows copies 'sub\\data.txt', named by the .x86 source sections, but "
          "Wine 8 reads the plain ones alone and looks for 'other\\data.txt', which the package "
          "lacks: a "
          "try under Wine waits forever [wine-source]"}},
        {"a disk that [SourceDisksNames.x86] lacks, from [SourceDisksNames]",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n2=Disk,,,sub\r\n[SourceDisksNames.x86]\r\n1=Disk,,,other\r\n"
             "[SourceDisksFiles]\r\ndata.txt=2\r\n",
         {}},
        {"the .x86 subfolder lacks the file that Wine finds",
         kClean + "[SourceDisksNames]\r\n1=Disk\r\n[SourceDisksFiles.x86]\r\nplugin.dll=1,sub\r\n",
         {"9:1 error: 'sub\\plugin.dll' is not in the package folder: the engine asks the user for "
          "a disk (Windows) or waits forever (Wine); the .x86 source sections name it, and only "
          "Wine 8, which reads the plain ones alone, finds 'plugin.dll' [missing-file]"}},
        {"another engine's section is not read",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk\r\n[SourceDisksFiles.amd64]\r\ndata.txt=1,sub\r\n",
         {"9:1 error: 'data.txt' is not in the package folder [missing-file]"}},
        {"a subfolder that does not hold the file",
         kClean + "[SourceDisksNames]\r\n1=Disk,,,\\sub\r\n[SourceDisksFiles]\r\nplugin.dll=1\r\n",
         {"9:1 error: 'sub\\plugin.dll' is not in the package folder"}},
        {"an entry that holds a folder",
         With("plugin.dll", "sub\\data.txt"),
         {"9:1 error: 'sub\\data.txt' holds a folder"}},
        // A service's program, copied where 64-bit Windows' service manager looks or not.
        {"a service's program copied to System32, redirected on 64-bit Windows",
         With("Files=-1,VUZAZURAV", "Files=11", kService),
         {"13:12 error: on 64-bit Windows the engine copies 'plugin.dll' to "
          "'C:\\Windows\\SysWOW64\\plugin.dll', but the 64-bit service manager starts the service "
          "'Svc' from 'C:\\Windows\\System32\\plugin.dll' and does not find it there"}},
        {"a service's program copied and named by 16425",
         With("Files=-1,VUZAZURAV", "Files=16425",
              With("%11%\\plugin.dll", "%16425%\\plugin.dll", kService)),
         {}},
        {"a service's program in System32 that the package does not copy",
         With("%11%\\plugin.dll", "%11%\\svchost.exe -k netsvcs", kService),
         {}},
        {"a driver copied to System32\\drivers",
         With("Files=-1,VUZAZURAV", "Files=12",
              With("ServiceType=16", "ServiceType=1",
                   With("%11%\\plugin.dll", "%12%\\plugin.dll", kService))),
         {"13:12 warning: on 64-bit Windows the engine copies 'plugin.dll' to "
          "'C:\\Windows\\SysWOW64\\drivers\\plugin.dll', but the kernel loads the driver 'Svc' "
          "from 'C:\\Windows\\System32\\drivers\\plugin.dll'"}},
        // Sysnative: the native System32 on 64-bit Windows, a new folder on 32-bit Windows.
        {"a destination under Sysnative",
         With("Files=-1,VUZAZURAV", "Files=10,sysnative\\drivers"),
         {"7:10 warning: the destination 'C:\\Windows\\sysnative\\drivers' is under Sysnative"}},
        {"Sysnative by its absolute path",
         With("Files=-1,VUZAZURAV", "Files=-1,C:\\Windows\\Sysnative"),
         {"7:10 warning: the destination 'C:\\Windows\\Sysnative' is under Sysnative"}},
        {"a folder whose name starts as Sysnative's",
         With("Files=-1,VUZAZURAV", "Files=10,SysnativeX"),
         {}},
        {"no destination for the section",
         With("Files=-1", "Other=-1"),
         {"4:11 warning: [DestinationDirs] names no folder for 'Files' [default-destination]"}},
        {"no [DestinationDirs]",
         With("[DestinationDirs]\r\nFiles=-1,VUZAZURAV\r\n", ""),
         {"4:11 warning: no [DestinationDirs] section"}},
        {"one file without DefaultDestDir",
         With("CopyFiles=Files", "CopyFiles=@plugin.dll"),
         {"4:11 warning: [DestinationDirs] names no folder"}},
        {"one file without DefaultDestDir is still looked for",
         With("CopyFiles=Files", "CopyFiles=@missing.dll"),
         {"4:11 warning: [DestinationDirs] names no folder", "4:11 error: 'missing.dll' is not"}},
        {"one file's destination is checked as a section's",
         With("Files=-1,VUZAZURAV", "DefaultDestDir=-1,ZI050",
              With("CopyFiles=Files", "CopyFiles=@plugin.dll,Files")),
         {"7:19 error: directory -1 takes an absolute path"}},
        {"one file with DefaultDestDir",
         With("Files=-1,VUZAZURAV", "DefaultDestDir=-1,VUZAZURAV",
              With("CopyFiles=Files", "CopyFiles=@plugin.dll")),
         {}},
        {"a folder number that is no number",
         With("Files=-1,VUZAZURAV", "Files=app,x"),
         {"7:7 error: the folder number 'app' is not a number"}},
        {"a program's own folder number",
         With("Files=-1,VUZAZURAV", "Files=40000"),
         {"7:7 error: directory 40000 is a program's own"}},
        {"the first of a program's own numbers",
         With("Files=-1,VUZAZURAV", "Files=32768"),
         {"7:7 error: directory 32768 is a program's own"}},
        {"the last before them",
         With("Files=-1,VUZAZURAV", "Files=32767"),
         {"7:7 error: directory 32767 names no folder that Windows' engine knows"}},
        {"a number only Windows knows",
         With("Files=-1,VUZAZURAV", "Files=66000"),
         {"7:7 warning: directory 66000 is known to Windows but not to Wine's"}},
        {"an unknown folder number",
         With("Files=-1,VUZAZURAV", "Files=99"),
         {"7:7 error: directory 99 names no folder that Windows' engine knows"}},
        {"a known one", With("Files=-1,VUZAZURAV", "Files=16422,ZI050"), {}},
        {"a spool folder", With("Files=-1,VUZAZURAV", "Files=52,ZI050"), {}},
        {"0 puts no folder first", With("Files=-1,VUZAZURAV", "Files=0,C:\\ZI050"), {}},
        {"the driver store",
         With("Files=-1,VUZAZURAV", "Files=13"),
         {"7:7 warning: directory 13 is known to Windows but not to Wine's"}},
        {"a shell folder that is no folder",
         With("Files=-1,VUZAZURAV", "Files=16387"),
         {"7:7 error: directory 16387 names no folder that Windows' engine knows"}},
        {"the last shell folder with a path", With("Files=-1,VUZAZURAV", "Files=16443"), {}},
        {"-1 with a relative path",
         With("Files=-1,VUZAZURAV", "Files=-1,ZI050\\bin"),
         {"7:10 error: directory -1 takes an absolute path"}},
        {"-1 with an empty path",
         With("Files=-1,VUZAZURAV", "Files=-1,\"\""),
         {"7:10 error: directory -1 with no path"}},
        {"-1 alone",
         With("Files=-1,VUZAZURAV", "Files=-1"),
         {"7:7 error: directory -1 with no path"}},
        {"-1 on another drive",
         With("Files=-1,VUZAZURAV", "Files=-1,Q:\\ZI050"),
         {"7:10 warning: the destination is on drive Q:"}},
        {"a root the engine does not know",
         With("HKCU,", "HKEY_CURRENT_USER,"),
         {"11:1 error: 'HKEY_CURRENT_USER' is not a root"}},
        {"HKR", With("HKCU,", "HKR,"), {"11:1 error: HKR means the key of a device"}},
        {"every root the engine knows",
         kClean + "[Reg]\r\nHKLM,S,N,,1\r\nHKCR,S,N,,1\r\nHKU,S,N,,1\r\nhkcu,S,N,,1\r\n",
         {}},
        {"DelReg sections too",
         With("AddReg=Reg", "DelReg=Reg", With("HKCU,", "HKEY_CURRENT_USER,")),
         {"11:1 error: 'HKEY_CURRENT_USER' is not a root [registry-root]"}},
        {"a line without '=' is no directive, however it starts",
         With("AddReg=Reg", "AddReg=Reg\r\nCopyFiles,Gone"),
         {}},
        {"flags as a name",
         With("Dir,,", "Dir,FLG_ADDREG_TYPE_DWORD,"),
         {"11:25 error: the flags 'FLG_ADDREG_TYPE_DWORD' are not a number"}},
        {"flags with a leading zero",
         With("Dir,,", "Dir,010001,"),
         {
             "11:25 error: the flags '010001' start with 0",
         }},
        {"flags in hexadecimal and decimal",
         With("Dir,,VUZAZURAV", "Dir,0x10001,1\r\nHKCU,Software\\ZI050,N,65537,1\r\n" + reg),
         {}},
        {"an undefined string key",
         With("Software\\ZI050", "Software\\%Vendor%"),
         {"11:15 error: %Vendor% is not defined in [Strings] [undefined-string]"}},
        {"one inside quotes, at its own column",
         With("Software\\ZI050", "\"Software\\%Vendor%\""),
         {"11:16 error: %Vendor% is not defined in [Strings] [undefined-string]"}},
        {"a defined one and %%",
         With("Software\\ZI050", "Software\\%Vendor%\\100%%") + "[Strings]\r\nVendor=V\r\n",
         {}},
        {"an unquoted ',' in [Strings]",
         kClean + "[Strings]\r\nName=A, B\r\n",
         {"13:7 error: unquoted ',' in a [Strings] value"}},
        {"an unquoted ';' in [Strings]",
         kClean + "[Strings]\r\nName=A;B\r\n",
         {"13:7 error: unquoted ';' in a [Strings] value"}},
        {"a comment after a [Strings] value", kClean + "[Strings]\r\nName=A ; B\r\n", {}},
        {"a value that ends in '\\'",
         With(reg, "HKCU,Software\\ZI050,Old,,C:\\Old\\\r\n" + reg),
         {"11:32 error: a '\\' at the end of a line joins the next line"}},
        {"a continued line", With(reg, "HKCU,Software\\ZI050,Dir,, \\\r\n  VUZAZURAV"), {}},
        {"a continued line, a tab before the '\\'",
         With("Signature=\"$Chicago$\"", "Signature=\t\\\r\n \"$Chicago$\""),
         {}},
        // A double-byte character whose second byte is '\\' or ']' (one in Shift-JIS).
        {"a value ending in such a character, in 932",
         With(reg, "HKCU,Software\\ZI050,Old,,\x95\x5C\r\n" + reg),
         {},
         nullptr,
         932},
        {"the same bytes in 1252",
         With(reg, "HKCU,Software\\ZI050,Old,,\x95\x5C\r\n" + reg),
         {"11:27 error: a '\\' at the end of a line joins [line-joined]"}},
        {"a section named with such a character, in 932",
         With("[Reg]", "[R\x95\x5D]", With("AddReg=Reg", "AddReg=R\x95\x5D")),
         {},
         nullptr,
         932},
        {"the same bytes in 1252",
         With("[Reg]", "[R\x95\x5D]", With("AddReg=Reg", "AddReg=R\x95\x5D")),
         {"5:8 warning: [missing-section]"}},
        // Names compare without case, but a second byte is no letter: ア and ヂ.
        {"two names a second byte's case apart, in 932",
         With("[Reg]", "[\x83\x61]", With("AddReg=Reg", "AddReg=\x83\x41")),
         {"5:8 warning: [missing-section]"},
         nullptr,
         932},
        {"the same bytes in 1252",
         With("[Reg]", "[\x83\x61]", With("AddReg=Reg", "AddReg=\x83\x41")),
         {}},
        // Lengths count characters: 200 and 300 double-byte ones.
        {"a long section name, in 932",
         kClean + "[" + Repeated("\x82\xA0", 200) + "]\r\n",
         {},
         nullptr,
         932},
        {"the same bytes in 1252",
         kClean + "[" + Repeated("\x82\xA0", 200) + "]\r\n",
         {"12:1 error: section name over 255 characters [inf-refused]"}},
        {"a long value, in 932",
         With(reg, "HKCU,Software\\ZI050,Name,," + Repeated("\x82\xA0", 300) + "\r\n" + reg),
         {},
         nullptr,
         932},
        {"the same bytes in 1252",
         With(reg, "HKCU,Software\\ZI050,Name,," + Repeated("\x82\xA0", 300) + "\r\n" + reg),
         {"11:27 warning: this value is 600 characters long [value-cut-by-wine]"}},
        {"a disk's folder ending in such a character, in 932",
         With("plugin.dll", "data.txt") +
             "[SourceDisksNames]\r\n1=Disk,,,\\\x95\x5C\r\n[SourceDisksFiles]\r\ndata.txt=1\r\n",
         {},
         nullptr,
         932},
        // Chinese text with pairs that are valid UTF-8 too is no UTF-8 text; text that
        // is UTF-8 throughout is.
        {"GBK text, in 936",
         With(reg, "HKCU,Software\\ZI050,Name,,\xD6\xD0\xC3\xA9\r\n" + reg),
         {},
         nullptr,
         936},
        {"UTF-8 text, in 936",
         With(reg, "HKCU,Software\\ZI050,Name,,\xE4\xB8\xAD\r\n" + reg),
         {"11:27 warning: UTF-8 text [utf8-text]"},
         nullptr,
         936},
        {"UTF-8 text where UTF-8 is the code page",
         With(reg, "HKCU,Software\\ZI050,Name,,\xE4\xB8\xAD\r\n" + reg),
         {},
         nullptr,
         kUtf8CodePage},
        {"UTF-8 after a byte that is none, in 1252",
         With(reg, "HKCU,Software\\ZI050,Name,,\xE9t\xC3\xA9\r\n" + reg),
         {"11:29 warning: UTF-8 text [utf8-text]"}},
        {"an unterminated quote, before a CR LF",
         With("Dir,,VUZAZURAV", "Dir,,\"C:\\Old"),
         {"11:26 warning: this quote is never closed: the value runs to the end of the line, and "
          "Wine's engine keeps the line's CR in it too [unclosed-quote]"}},
        {"an unterminated quote, before a LF alone",
         With("Dir,,VUZAZURAV\r\n", "Dir,,\"C:\\Old\n"),
         {"11:26 warning: this quote is never closed: the value runs to the end of the line "
          "[unclosed-quote]"}},
        {"text before the first section",
         "Junk\r\n" + kClean,
         {"1:1 error: text before the first section, and no [Strings] section"}},
        {"the same with [Strings]",
         "Junk\r\n" + kClean + "[Strings]\r\n",
         {"1:1 warning: text before the first section"}},
        {"an unclosed section name",
         kClean + "[Strings\r\n",
         {"12:1 error: section name without its ']'"}},
        {"a section name of 255 characters", kClean + "[" + std::string(255, 's') + "]\r\n", {}},
        {"one of 256",
         kClean + "[" + std::string(256, 's') + "]\r\n",
         {"12:1 error: section name over 255 characters"}},
        {"[DefaultInstall] beside [DefaultInstall.NT]",
         kClean + "[DefaultInstall.NT]\r\nAddReg=Reg\r\n",
         {"3:1 warning: [DefaultInstall] is ignored: the engine runs [DefaultInstall.NT]"}},
        {"an empty [DefaultInstall.NTx86] is passed over",
         kClean + "[DefaultInstall.NTx86]\r\n; nothing\r\n[DefaultInstall.NT]\r\n",
         {}},
        {"an empty [DefaultInstall.NTx86] alone is no install section",
         With("[DefaultInstall]", "[DefaultInstall.NTx86]\r\n[Old]"),
         {"1:1 error: no [DefaultInstall] section"}},
        {"[DefaultInstall.NTx86] before [DefaultInstall.NT]",
         kClean + "[DefaultInstall.NTx86]\r\nAddReg=Reg\r\n[DefaultInstall.NT]\r\nAddReg=Reg\r\n",
         {"3:1 warning: [DefaultInstall] is ignored: the engine runs [DefaultInstall.NTx86]",
          "14:1 warning: [DefaultInstall.NT] is ignored: the engine runs [DefaultInstall.NTx86]"}},
        {"only another processor's section",
         With("[DefaultInstall]", "[DefaultInstall.NTamd64]"),
         {"3:1 error: [DefaultInstall.NTamd64] is not run on 32-bit Windows"}},
        {"[DefaultInstall.NT.Services] is none either",
         With("[DefaultInstall]", "[DefaultInstall.NT.Services]"),
         {"1:1 error: no [DefaultInstall] section [no-install-section]"}},
        {"[DefaultInstall.Services] is no install section",
         With("[DefaultInstall]", "[DefaultInstall.Services]"),
         {"1:1 error: no [DefaultInstall] section"}},
        {"nor is [DefaultInstallOld]",
         With("[DefaultInstall]", "[DefaultInstallOld]"),
         {"1:1 error: no [DefaultInstall] section"}},
        {"quotes meant to stay",
         With("Dir,,VUZAZURAV", "Cmd,,\"C:\\P F\\app.exe\" /x"),
         {"11:43 warning: the engine removes the double quotes"}},
        {"a field of 511 characters", With("Dir,,VUZAZURAV", "Dir,," + std::string(511, 'v')), {}},
        {"one of 512",
         With("Dir,,VUZAZURAV", "Dir,," + std::string(512, 'v')),
         {"11:26 warning: this value is 512 characters long: Wine's"}},
        {"one of 4096",
         With("Dir,,VUZAZURAV", "Dir,," + std::string(4096, 'v')),
         {"11:1 warning: this line", "11:26 warning: this value is 4096 characters long: Wine's"}},
        {"a field over 4096 characters",
         With("Dir,,VUZAZURAV", "Dir,," + std::string(4097, 'v')),
         {"11:1 warning: this line", "11:26 error: this value is 4097 characters long, more than"}},
    });
}

// %...% pairs as the engine treats them, and the value fields a type takes:
// each from both sides.
TEST(CheckTemplate, PairsAndValueFields)
{
    const auto value = [](const std::string& flagsAndValues) {
        return With("Dir,,VUZAZURAV", "Dir," + flagsAndValues);
    };
    const auto destination = [](const std::string& entry) {
        return With("Files=-1,VUZAZURAV", "Files=" + entry);
    };
    ExpectFindings({
        {"directory numbers name system folders", value(",%10%\\Cursors\\%01%;%16422%"), {}},
        {"%0% and %-1% are empty", value(",%0%%-1%"), {}},
        {"the last of the shell's folders with a path", value(",%16443%"), {}},
        {"[strings] in lower case is [Strings]",
         value(",%Maker%") + "[strings]\r\nMaker=Me, Inc.\r\n",
         {"13:9 error: unquoted ',' in a [Strings] value"}},
        {"a shell folder that is no folder",
         value(",%16445%"),
         {"11:26 error: %16445% is not a directory"}},
        {"past the shell's folders",
         value(",%16448%"),
         {"11:26 error: %16448% is not a directory"}},
        {"a number the engine does not know",
         value(",x\\%40%"),
         {"11:28 error: %40% is not a directory number the engine knows [unknown-dirid]"}},
        {"the last before a program's own", value(",%32767%"), {"11:26 error: %32767% is not"}},
        {"a program's own is no directory", value(",%32768%"), {}},
        {"from the folder, a number is replaced",
         kClean,
         {"7:10 error: with this folder the engine reads this value as 'C:\\Tools<DIRID 20>Suite', "
          "which does not hold the folder 'C:\\Tools%20%Suite'; 2 placeholders are read so "
          "[folder-altered]"},
         "C:\\Tools%20%Suite"},
        {"what follows such a folder is the template's own",
         With("Dir,,VUZAZURAV", "Dir,,VUZAZURAV\\\r\nHKCU,Software\\ZI050,X,,1"),
         {"7:10 error: with this folder [folder-altered]",
          "11:35 error: a '\\' at the end of a line joins the next line [line-joined]"},
         "C:\\%20%"},
        {"an undefined pair in the folder reaches the engine as it is", kClean, {}, "C:\\A%B%C"},
        {"environment variables in values",
         value("0x00020000,%SystemRoot%\\cmd.exe /c %HOMEDRIVE%%HOMEPATH%") +
             "HKCU,Software\\ZI050,P,,\"%ProgramFiles(x86)%\\X;%windir%\"\r\n",
         {}},
        {"a shell command line's own '%'", value(",\"\"\"%1\"\" %*\""), {}},
        {"another undefined name in a value",
         value(",%AppName%"),
         {"11:26 warning: %AppName% is not defined in [Strings] and is no environment variable "
          "[undefined-string-in-value]"}},
        {"an environment variable in a destination",
         destination("16422,%ProgramFiles%\\ZI050"),
         {"7:13 error: %ProgramFiles% is not defined in [Strings] [undefined-string]"}},
        {"in a copied file's name",
         With("plugin.dll", "%windir%.dll"),
         {"9:1 error: '%windir%.dll' is not in the package", "9:1 error: %windir% is not defined"}},
        {"in a value's name", With(",Dir,", ",%USERNAME%,"), {"11:21 error: %USERNAME% is not"}},
        {"one string value", value(",\"a,b\""), {}},
        {"a string value in two fields",
         value(",\"a\",b"),
         {"11:30 error: a string value takes one field, and the engine stores only 'a': the 1 "
          "field after it is lost [extra-value-fields]"}},
        {"the same with flags 0x0", value("0x0,a,b,c"), {"11:31 error: a string value takes"}},
        {"an expandable string in two",
         value("0x00020000,%windir%,b"),
         {"11:45 error: an expandable string value takes one field"}},
        {"a trailing empty field", value(",a,"), {}},
        {"several strings", value("0x00010000,a,b"), {}},
        {"binary bytes", value("0x1,01,02"), {}},
        {"a DWORD as bytes", value("0x10001,1,0,0,0"), {}},
        {"a key only", value("0x10,a,b"), {}},
    });
}

// What works stays clean, for awkward folders too.
TEST(CheckTemplate, WhatWorksIsClean)
{
    const std::string works =
        "[version]\r\nsignature=\"$Windows NT$\"\r\n[defaultinstall]\r\ncopyfiles=files\r\n"
        "addreg=reg\r\n[destinationdirs]\r\nfiles=-1,VUZAZURAV\r\n[files]\r\nplugin.dll\r\n"
        "[reg]\r\nHKCU,Software\\T,Joined,,\"C:\\App\"\\sub\r\nHKCU,Software\\T,Bin,,"
        "VUZAZURAV\\bin\r\n"
        "HKCU,Software\\T,Cmd,,\"\"\"C:\\P F\\app.exe\"\" /x\"\r\n"
        "HKCU,Software\\T,Str,,\"%AppDir%\\bin\"\r\n[Reg]\r\nHKCU,Software\\T,Again,,1\r\n"
        "[Strings]\r\nAppDir=VUZAZURAV\r\n";
    const char* folders[] = {"C:\\Program Files (x86)\\ZI 050 v2.1", "C:\\Apps\\A, B; C (x86)",
                             "C:\\Tools 100%\\ZI050", "C:\\App\\", "C:\\Programme\\M\xFCller"};
    for (const char* folder : folders) {
        ExpectFindings({{folder, works, {}, folder}});
    }
}

// What install.inf becomes with the folder, at the placeholder's place.
TEST(CheckTemplate, TheFolderAsTheEngineReadsIt)
{
    const std::string quoted = With("Dir,,VUZAZURAV", "Dir,,\"VUZAZURAV\"");
    const std::string longest(999, 'f');
    // C:\ and then as many characters as make `length` in all.
    const auto folderOf = [](std::size_t length) { return "C:\\" + std::string(length - 3, 'f'); };
    const std::string fits = folderOf(248);  // C:\...\plugin.dll is 259 characters
    const std::string tooLongForFiles = folderOf(249);
    const std::string lastMade = folderOf(258);  // the longest destination Wine makes
    const std::string notMade = folderOf(259);
    ExpectFindings({
        {"a copied file's path of 259 characters", kClean, {}, fits.c_str()},
        {"one of 260",
         kClean,
         {"9:1 error: the copied file's path would be 260"},
         tooLongForFiles.c_str()},
        {"a destination of 258 characters",
         kClean,
         {"9:1 error: the copied file's path would be 269"},
         lastMade.c_str()},
        {"one of 259",
         kClean,
         {"7:10 error: the destination is 259 characters long"},
         notMade.c_str()},
        {"an empty folder", kClean, {"7:10 error: directory -1 with no path"}, ""},
        {"a destination too long to make",
         kClean,
         {"7:10 error: the destination is 297 characters long"},
         "C:\\fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
         "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
         "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
         "fffffffffffffffffffffffffffffffffffffffffffffffffff"},
        {"a comma inside quotes",
         quoted,
         {"11:27 warning: placeholder already between",
          "11:27 error: with this folder the engine "
          "reads this value as 'C:\\Apps\\A'"},
         "C:\\Apps\\A, B; C (x86)"},
        {"a quote in the folder: one finding for all its placeholders",
         kClean,
         {"7:10 error: with this folder the engine reads this value as 'C:\\ab\r', which does "
          "not hold the folder 'C:\\a\"b'; 2 placeholders are read so [folder-altered]"},
         "C:\\a\"b"},
        {"the byte right after a folder is the template's own",
         With("Dir,,VUZAZURAV", "Dir,,VUZAZURAV\\\r\nHKCU,Software\\ZI050,B,,1"),
         {"11:35 error: a '\\' at the end of a line joins the next line"},
         "C:\\App"},
        {"a list of folders",
         With("Files=-1,VUZAZURAV", "Files=16422,ZI050"),
         {"11:26 warning: the folder is a list of folders"},
         "C:\\One;D:\\Two"},
        {"the longest folder install.exe accepts",
         With("Files=-1,VUZAZURAV", "Files=16422,ZI050"),
         {"11:26 warning: this value is 999 characters long: Wine's"},
         longest.c_str()},
        {"one byte more, even with no placeholder",
         "[Version]\r\nSignature=$Chicago$\r\n[DefaultInstall]\r\n",
         {"1:1 warning: no placeholder", "1:1 error: the folder is 1000 bytes long"},
         (longest + "f").c_str()},
    });
}

// Rule indexes are the table's rows (SARIF's ruleIndex relies on it), and
// names are unique and written as in findings.
TEST(RuleTable, EachRowIsItsRule)
{
    for (const RuleInfo* info = RulesBegin(); info != RulesEnd(); ++info) {
        const std::string name(info->name);
        EXPECT_EQ(static_cast<std::size_t>(info - RulesBegin()),
                  static_cast<std::size_t>(info->rule))
            << name;
        EXPECT_EQ(std::string::npos,
                  name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"))
            << name;
        Rule found = Rule::UnknownRule;
        EXPECT_TRUE(FindRule(name, &found) && found == info->rule) << name;
    }
    Rule found = Rule::UnknownRule;
    EXPECT_FALSE(FindRule("missing", &found));
}

// The package the rule table's examples are checked beside.
class ExamplePackage final : public Package {
public:
    bool Holds(const std::string& path) const override
    {
        return LowerAscii(path) == kExamplePackageFile;
    }
};

// Each rule's examples, checked as inx-check checks a file: the one gives
// its finding, the other does not.
TEST(RuleTable, EachRuleShowsItsExamples)
{
    const ExamplePackage package;
    for (const RuleInfo* info = RulesBegin(); info != RulesEnd(); ++info) {
        EXPECT_EQ(info->rule == Rule::TooLarge, info->produces.inf.empty()) << info->name;
        EXPECT_FALSE(info->avoids.inf.empty()) << info->name;
        for (const RuleExample* example : {&info->produces, &info->avoids}) {
            if (example->inf.empty()) {
                continue;
            }
            const std::string bytes(example->inf);
            const std::string folder = ExampleFolder(*example);
            const std::vector<Diagnostic> findings =
                ApplySuppressions(bytes, LineIndex(bytes),
                                  CheckTemplate(bytes, folder.empty() ? nullptr : &folder, &package,
                                                *FindCodePage(kDefaultCodePage)),
                                  std::vector<bool>(RuleCount(), false));
            const bool found = std::any_of(
                findings.begin(), findings.end(),
                [info](const Diagnostic& finding) { return finding.rule == info->rule; });
            EXPECT_EQ(example == &info->produces, found)
                << info->name << (found ? " found in:\n" : " not found in:\n") << bytes;
        }
    }
}

// A lead byte takes the byte after it, whatever it is: in a comment, before
// the first section, and as a '%' (natively; the Wine test holds the reader
// to setupapi's reading under code page 936).
TEST(InfReader, ALeadByteTakesTheByteAfterIt)
{
    const struct {
        const char* text;
        const char* sections936;
        const char* sections1252;
    } cases[] = {
        {"[A]\r\n;\x95\n[B]\r\n", "A", "A B"},  // the comment takes the line feed
        {"\x95[A]\r\n[B]\r\n", "B", "A B"},     // no '[' after a lead byte
    };
    for (const auto& c : cases) {
        for (const unsigned page : {936U, 1252U}) {
            const std::string text = c.text;
            const Inf inf = ReadInf(text, *FindCodePage(page));
            std::string names;
            for (const InfSection& section : inf.sections) {
                names += (names.empty() ? "" : " ") + section.name;
            }
            EXPECT_EQ(page == 936 ? c.sections936 : c.sections1252, names) << c.text << page;
        }
    }
    const std::string text = "[S]\r\n";
    EXPECT_EQ("\x81%%", SubstituteStrings(ReadInf(text, *FindCodePage(936)), "\x81%%"));
    EXPECT_EQ("\x81%", SubstituteStrings(ReadInf(text, *FindCodePage(1252)), "\x81%%"));
}

// Quotes as the engine reads them, natively (the Wine test holds the reader
// to setupapi's own reading).
TEST(InfReader, DoubledQuotesInsideQuotesAreOneQuote)
{
    const std::pair<const char*, const char*> lines[] = {
        {"k=\"a\"\"b\"", "a\"b"}, {"k=\"\"\"\"", "\""}, {"k=\"\"", ""}, {"k=a\"\"b", "ab"}};
    for (const auto& [line, value] : lines) {
        const std::string text = std::string("[S]\r\n") + line + "\r\n";
        const Inf inf = ReadInf(text, *FindCodePage(kDefaultCodePage));
        ASSERT_EQ(1u, inf.sections.size()) << line;
        ASSERT_EQ(1u, inf.sections[0].lines.size()) << line;
        EXPECT_EQ(value, inf.Text(inf.Value(inf.sections[0].lines[0], 0))) << line;
    }
}

TEST(CodePage, CharactersAndCaseAsWindowsHasThem)
{
    const CodePage& western = *FindCodePage(1252);
    const CodePage& cyrillic = *FindCodePage(1251);
    EXPECT_EQ(nullptr, FindCodePage(437));
    EXPECT_EQ("\u20AC\u0081\u0178\u00FF", Utf8FromCodePage(western, "\x80\x81\x9F\xFF"));
    EXPECT_EQ(u"\u20AC\u0081\u0178\u00FF", Utf16FromCodePage(western, "\x80\x81\x9F\xFF"));
    EXPECT_EQ(u"\U0001F600\uFFFD",  // a pair of surrogates, and a byte of no sequence
              Utf16FromCodePage(*FindCodePage(kUtf8CodePage), "\xF0\x9F\x98\x80\xC3"));
    EXPECT_EQ("M\xDCLLER\x9F\xB5", UpperInCodePage(western, "m\xFCller\xFF\xB5"));
    EXPECT_EQ("\xDC\xA8\xDF", UpperInCodePage(cyrillic, "\xFC\xB8\xFF"));  // the last byte too
    EXPECT_EQ("\u044F", Utf8FromCodePage(cyrillic, "\xFF"));
    std::string bytes;
    EXPECT_TRUE(CodePageFromUtf8(western, "\u20AC\u00FC", &bytes));
    EXPECT_EQ("\x80\xFC", bytes);
    EXPECT_FALSE(CodePageFromUtf8(western, "\u03A9", &bytes));
    EXPECT_FALSE(CodePageFromUtf8(western, "\xFC", &bytes));
    EXPECT_TRUE(CodePageFromUtf8(western, "\u00FF", &bytes));  // the last byte
    EXPECT_EQ("\xFF", bytes);
    EXPECT_EQ("a\\x81\\r", ShownText(western, "a\x81\r"));  // a C1 control, escaped
}

// In a double-byte code page a lead byte and the byte after it are one
// character, whatever that byte is; its case is the pair's.
TEST(CodePage, PairsAreCharacters)
{
    const struct {
        unsigned page;
        const char* bytes;
        const char* utf8;
        const char* upper;
    } cases[] = {
        {932, "\x95\x5C", "\u8868", "\x95\x5C"},  // a second byte that is '\\'
        {932,
         "\x82\x81"
         "a\xB1",
         "\uFF41"
         "a\uFF71",
         "\x82\x60"
         "A\xB1"},                                // full-width a, kana
        {932, "\x83\x61", "\u30C2", "\x83\x61"},  // a second byte that is 'a'
        {932, "\x81\x7F", "\uFFFD", "\x81\x7F"},  // no character: one unknown
        {932, "a\x95", "a\uFFFD", "A\x95"},       // a lead byte at the end
        {936, "\xD6\xD0\x80", "\u4E2D\u20AC", "\xD6\xD0\x80"},
        {936, "\xA6\xC1\x95\x5D", "\u03B1\u6621", "\xA6\xA1\x95\x5D"},  // alpha, ']'
        {949, "\xC7\xD1", "\uD55C", "\xC7\xD1"},
        {950, "\xA4\xA4", "\u4E2D", "\xA4\xA4"},
        {936, "\xB0\xFE", "\u5265", "\xB0\xFE"},  // the last second byte
        // UTF-8 as the code page: each sequence one character, in the case
        // the other code pages give it, a byte of no sequence alone.
        {kUtf8CodePage,
         "\xC3\xBC"
         "az",
         "\u00FC"
         "az",
         "\xC3\x9C"
         "AZ"},
        {kUtf8CodePage, "\xD1\x8F\xCE\xB1", "\u044F\u03B1", "\xD0\xAF\xCE\x91"},
        {kUtf8CodePage, "\xF0\x9F\x98\x80\xE2\x82\xAC", "\U0001F600\u20AC",
         "\xF0\x9F\x98\x80\xE2\x82\xAC"},
        {kUtf8CodePage, "\xC3\xC3", "\uFFFD\uFFFD", "\xC3\xC3"},
        {kUtf8CodePage, "\xE0\x80", "\uFFFD\uFFFD", "\xE0\x80"},  // no overlong form
        {kUtf8CodePage, "\xED\xA0", "\uFFFD\uFFFD", "\xED\xA0"},  // no surrogate
        {kUtf8CodePage, "\xE9\x95[", "\uFFFD[", "\xE9\x95["},     // a sequence cut short
    };
    for (const auto& c : cases) {
        const CodePage& page = *FindCodePage(c.page);
        const std::string text = c.bytes;
        EXPECT_EQ(1u, CharacterLength(page, text.substr(0, 1) + '\0', 0)) << c.bytes;
        const std::string utf8 = Utf8FromCodePage(page, text);
        EXPECT_EQ(c.utf8, utf8) << c.bytes;
        EXPECT_EQ(c.upper, UpperInCodePage(page, text)) << c.bytes;
        std::string bytes;
        if (utf8.find("\uFFFD") == std::string::npos) {
            EXPECT_TRUE(CodePageFromUtf8(page, c.utf8, &bytes)) << c.bytes;
            EXPECT_EQ(text, bytes);
        }
    }
}

// Offsets in install.inf go back to the template's bytes, and each byte
// outside a placeholder comes back to itself.
TEST(Rendering, MapsOffsetsBetweenTemplateAndInstallInf)
{
    Rendering rendering("a\r\nb=VUZAZURAV,c\r\nd\x1Alost");
    ASSERT_TRUE(rendering.Render("C:\\X"));
    ASSERT_EQ("a\r\nb=\"C:\\X\",c\r\nd", rendering.Inf());
    const struct {
        const char* what;
        std::size_t inf;
        std::size_t file;
    } edges[] = {
        {"the byte before a folder", 4, 4},  {"the folder's opening quote", 5, 5},
        {"a byte inside the folder", 8, 5},  {"its closing quote", 10, 5},
        {"the byte right after it", 11, 14}, {"a CR written before an LF", 1, 2},
        {"the LF of a CR LF pair", 14, 17},  {"the end, where Ctrl-Z stood", 16, 19},
    };
    for (const auto& edge : edges) {
        EXPECT_EQ(edge.file, rendering.FileOffsetOf(InfOffset{edge.inf}).at) << edge.what;
    }
    for (const std::size_t file : {0U, 2U, 3U, 4U, 5U, 14U, 15U, 17U, 18U, 19U}) {
        const InfOffset inf = rendering.InfOffsetOf(rendering.TextOffsetOf(FileOffset{file}));
        EXPECT_EQ(file, rendering.FileOffsetOf(inf).at) << "file offset " << file;
    }
    EXPECT_EQ(5u, rendering.InfOffsetOf(rendering.TextOffsetOf(FileOffset{9})).at);
    EXPECT_EQ(15u, rendering.TextOffsetOf(FileOffset{16}).at);  // a dropped CR goes to its LF
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
