// install.exe end to end under Wine: its boxes answered as a person would, its
// files compared byte for byte, and the installation it starts checked.
#include "tests/support/AppPathKey.h"
#include "tests/support/InfVerbs.h"
#include "tests/support/MessageBoxDriver.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kAppDirectory = "C:\\Program Files\\Test App";
const char kRecordKey[] = "InstallTestRecord";

const std::string kTemplate =
    "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n"
    "[DefaultInstall]\r\nAddReg=RecordDirectory\r\n\r\n"
    "[RecordDirectory]\r\nHKCU,Software\\InstallTestRecord,Dir,,VUZAZURAV\r\n";
const std::string kScript =
    "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n"
    "[DefaultInstall]\r\nAddReg=RecordDirectory\r\n\r\n"
    "[RecordDirectory]\r\n"
    "HKCU,Software\\InstallTestRecord,Dir,,\"C:\\Program Files\\Test App\"\r\n";

const std::string kConfirmText = "Are you sure you want to install this program?";

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

class InstallExe : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Environment("INSTALL_EXE").empty()) << "INSTALL_EXE names no program";
        ASSERT_FALSE(Environment("DISPLAY").empty()) << "needs an X display (xvfb-run -a)";
        SetAppPathText(kAppDirectory);
        DeleteUserKey(kRecordKey);
    }
    void TearDown() override
    {
        DeleteAppPathKey();
        DeleteUserKey(kRecordKey);
    }

    ProgramRun Run(const std::vector<int>& answers, const std::string& arguments = "")
    {
        return Run(Environment("INSTALL_EXE"), scratch_.Path().string(), answers, arguments);
    }
    static ProgramRun Run(const std::string& program, const std::string& directory,
                          const std::vector<int>& answers, const std::string& arguments = "")
    {
        ProgramRun run = RunAnsweringBoxes(program, arguments, directory, answers);
        EXPECT_TRUE(run.exited) << "still running";
        EXPECT_EQ(0u, run.exitCode);
        return run;
    }

    // One confirmation, then exactly one failure box with `message`.
    static void ExpectFailure(const ProgramRun& run, const std::string& message)
    {
        ASSERT_EQ(2u, run.boxes.size());
        EXPECT_EQ(message, run.boxes[1].text);
        EXPECT_EQ("Install", run.boxes[1].caption);
        EXPECT_EQ(std::vector<std::string>({"OK"}), run.boxes[1].buttons);
        EXPECT_FALSE(run.boxes[1].hasIcon);
    }

    ScratchDirectory scratch_;
};

TEST_F(InstallExe, AsksFirstAndDecliningTouchesNothing)
{
    WriteFileBytes("install.inx", kTemplate);
    const ProgramRun run = Run({IDNO});

    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Install", run.boxes[0].caption);
    EXPECT_EQ(kConfirmText, run.boxes[0].text);
    EXPECT_EQ(std::vector<std::string>({"&Yes", "&No"}), run.boxes[0].buttons);
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_FALSE(fs::exists("install.inf"));
}

TEST_F(InstallExe, RegistryFailuresAreReportedBeforeAnyFile)
{
    WriteFileBytes("install.inx", kTemplate);
    DeleteAppPathKey();
    ExpectFailure(Run({IDYES, IDOK}), "Cannot locate the ZI050.EXE App Path Registry Entry.");
    EXPECT_FALSE(fs::exists("install.inf"));

    CreateAppPathKey();
    ExpectFailure(Run({IDYES, IDOK}), "Cannot locate the ZI050.EXE Path Registry Entry.");
    EXPECT_FALSE(fs::exists("install.inf"));
}

TEST_F(InstallExe, TemplateIsLookedForInTheWorkingDirectoryOnly)
{
    // The program's own folder holds a template; the working directory does not.
    const fs::path programFolder = scratch_.Path() / "program";
    const fs::path workFolder = scratch_.Path() / "work";
    fs::create_directories(programFolder);
    fs::create_directories(workFolder);
    fs::copy_file(Environment("INSTALL_EXE"), programFolder / "install.exe");
    WriteFileBytes((programFolder / "install.inx").string(), kTemplate);

    ExpectFailure(Run((programFolder / "install.exe").string(), workFolder.string(), {IDYES, IDOK}),
                  "Cannot locate the file 'install.inx', this file must be in the working "
                  "directory to install the program. Please move the file to the working "
                  "directory and retry.");
    EXPECT_FALSE(fs::exists(workFolder / "install.inf"));
    EXPECT_FALSE(fs::exists(programFolder / "install.inf"));
}

TEST_F(InstallExe, UncreatableScriptIsReportedAndTheTemplateClosed)
{
    WriteFileBytes("install.inx", kTemplate);
    fs::create_directory("install.inf");
    ExpectFailure(Run({IDYES, IDOK}),
                  "Cannot open the file 'install.inf'. This should not have happened!");
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
}

TEST_F(InstallExe, ExpansionBeyondMemoryIsReported)
{
    std::string text;
    for (int i = 0; i < 2200000; ++i) {
        text += "VUZAZURAV";
    }
    WriteFileBytes("install.inx", text);
    SetAppPathText(std::string(999, 'p'));
    ExpectFailure(Run({IDYES, IDOK}),
                  "There is not enough memory to create the file 'install.inf'.");
    EXPECT_FALSE(fs::exists("install.inf"));
}

TEST_F(InstallExe, FullDiskIsReported)
{
    const std::string fullDisk = Environment("INSTALL_TEST_FULL_DISK");
    ASSERT_FALSE(fullDisk.empty()) << "INSTALL_TEST_FULL_DISK names no folder";
    WriteFileBytes(fullDisk + "/install.inx", kTemplate);
    ExpectFailure(Run(Environment("INSTALL_EXE"), fullDisk, {IDYES, IDOK}),
                  "Cannot write the file 'install.inf'. The disk may be full.");
}

TEST_F(InstallExe, UnreadableTemplateIsReported)
{
    const std::string pipeFolder = Environment("INSTALL_TEST_PIPE_TEMPLATE");
    ASSERT_FALSE(pipeFolder.empty()) << "INSTALL_TEST_PIPE_TEMPLATE names no folder";
    // A writer of our own keeps the program's open of the pipe from blocking.
    HANDLE writer =
        CreateFileA((pipeFolder + "/install.inx").c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    const ProgramRun run = Run(Environment("INSTALL_EXE"), pipeFolder, {IDYES, IDOK});
    CloseHandle(writer);

    ExpectFailure(run, "Cannot read the file 'install.inx'.");
    EXPECT_FALSE(fs::exists(pipeFolder + "/install.inf"));
}

// Waits for the installation, which runs on in its own process.
std::string AwaitRecordedDirectory()
{
    std::string recorded = ReadUserText(kRecordKey, "Dir");
    for (int wait = 0; recorded == "<missing>" && wait < 300; ++wait) {
        Sleep(100);
        recorded = ReadUserText(kRecordKey, "Dir");
    }
    return recorded;
}

TEST_F(InstallExe, WritesTheScriptAndItsInstallationRuns)
{
    WriteFileBytes("install.inx", kTemplate);
    const ProgramRun run = Run({IDYES}, "/S /quiet --help install.inx \"C:\\Other Dir\"");

    ASSERT_EQ(1u, run.boxes.size()) << (run.boxes.size() > 1 ? run.boxes[1].text : "");
    EXPECT_EQ(kScript, ReadFileBytes("install.inf"));
    EXPECT_EQ(kTemplate, ReadFileBytes("install.inx"));
    EXPECT_EQ(kAppDirectory, AwaitRecordedDirectory());
}

TEST_F(InstallExe, PathsOutsideTheCodePageAreRefusedAndOthersInstalledAsStored)
{
    if (GetACP() != 1252) {
        GTEST_SKIP() << "code page " << GetACP();
    }
    WriteFileBytes("install.inx", kTemplate);
    // Code page 1252 holds u-umlaut as the byte FC.
    SetAppPathWide(L"C:\\Programme\\M\u00FCller");
    const ProgramRun run = Run({IDYES});
    ASSERT_EQ(1u, run.boxes.size()) << (run.boxes.size() > 1 ? run.boxes[1].text : "");
    EXPECT_EQ(
        "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n"
        "[DefaultInstall]\r\nAddReg=RecordDirectory\r\n\r\n"
        "[RecordDirectory]\r\n"
        "HKCU,Software\\InstallTestRecord,Dir,,\"C:\\Programme\\M\xFC"
        "ller\"\r\n",
        ReadFileBytes("install.inf"));
    EXPECT_EQ("C:\\Programme\\M\xFCller", AwaitRecordedDirectory());
    ASSERT_EQ(0, std::remove("install.inf"));

    const std::wstring outside[] = {
        L"C:\\\u0141\u00F3d\u017A App",  // would install into C:\Lodz App
        L"C:\\App\uFF02 X",              // would end the INF's quoting early
        L"C:\\\u65E5\u672C\u8A9E",       // would install into C:\???
    };
    for (const std::wstring& path : outside) {
        SetAppPathWide(path);
        ExpectFailure(Run({IDYES, IDOK}),
                      "Cannot use the ZI050.EXE Path Registry Entry: it holds characters that "
                      "the system code page cannot represent.");
        EXPECT_FALSE(fs::exists("install.inf"));
    }
}

// A text value under HKLM, read through the 64-bit view, which names each key where it lies.
std::string MachineText64(const char* key, const char* name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    char text[64] = "";
    DWORD size = sizeof text - 1;
    const LONG status =
        RegQueryValueExA(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? std::string(text, strnlen(text, size)) : "<missing>";
}

// On 64-bit Windows the verb reaches the 32-bit engine: it runs the x86
// section, and its HKLM\Software lands under WOW6432Node, where a 32-bit
// ZI050.EXE looks.
TEST_F(InstallExe, OnWindows64TheThirtyTwoBitEngineInstalls)
{
    char wow64[MAX_PATH];
    if (GetSystemWow64DirectoryA(wow64, MAX_PATH) == 0) {
        GTEST_SKIP() << "32-bit Windows";
    }
    WriteFileBytes("install.inx",
                   "[Version]\r\nSignature=\"$Chicago$\"\r\n"
                   "[DefaultInstall.NTx86]\r\nAddReg=Engine32\r\n"
                   "[DefaultInstall.NTamd64]\r\nAddReg=Engine64\r\n"
                   "[Engine32]\r\nHKLM,Software\\InstallTestRecord,Engine,,x86\r\n"
                   "HKCU,Software\\InstallTestRecord,Dir,,VUZAZURAV\r\n"
                   "[Engine64]\r\nHKLM,Software\\InstallTestRecord,Engine,,amd64\r\n"
                   "HKCU,Software\\InstallTestRecord,Dir,,amd64\r\n");
    ASSERT_EQ(1u, Run({IDYES}).boxes.size());
    EXPECT_EQ(kAppDirectory, AwaitRecordedDirectory());
    EXPECT_EQ("x86", MachineText64("Software\\WOW6432Node\\InstallTestRecord", "Engine"));
    EXPECT_EQ("<missing>", MachineText64("Software\\InstallTestRecord", "Engine"))
        << "written in the 64-bit view";
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\InstallTestRecord", KEY_WOW64_64KEY,
                    0);
}

// Sets an environment variable, which child processes inherit, for the
// holder's lifetime.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const std::string& value)
        : name_(name), previous_(Environment(name))
    {
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~ScopedEnvironmentVariable() { SetEnvironmentVariableA(name_, previous_.c_str()); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    const char* name_;
    std::string previous_;
};

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(InstallExe, DllsPlantedBesideTheProgramAreNotLoaded)
{
    const std::string planted = Environment("INSTALL_TEST_PLANTED_DLL");
    ASSERT_FALSE(planted.empty()) << "INSTALL_TEST_PLANTED_DLL names no DLL";
    fs::copy_file(Environment("INSTALL_EXE"), "install.exe");
    fs::copy_file(planted, "uxtheme.dll");  // writes planted-dll-loaded.txt when loaded
    WriteFileBytes("install.inx", kTemplate);
    ProgramRun run;
    {
        // Wine's own uxtheme would win whatever the search order without this.
        ScopedEnvironmentVariable overrides("WINEDLLOVERRIDES",
                                            Environment("WINEDLLOVERRIDES") + ";uxtheme=n,b");
        run = Run((scratch_.Path() / "install.exe").string(), scratch_.Path().string(), {IDNO});
    }
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_FALSE(fs::exists("planted-dll-loaded.txt")) << "the planted uxtheme.dll was loaded";
    // The box needs uxtheme: it was loaded, from the system folder.
    std::vector<std::string> uxthemes;
    for (const std::string& module : run.boxes[0].modules) {
        if (EndsWith(module, "\\uxtheme.dll")) {
            uxthemes.push_back(module);
        }
    }
    // Under WoW64 Windows names a 32-bit program's system DLLs as SysWOW64's, Wine as System32's.
    char system[MAX_PATH] = "";
    char wow64[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    const bool underWow64 = GetSystemWow64DirectoryA(wow64, MAX_PATH) != 0;
    ASSERT_EQ(1u, uxthemes.size());
    EXPECT_TRUE(
        _stricmp((std::string(system) + "\\uxtheme.dll").c_str(), uxthemes[0].c_str()) == 0 ||
        (underWow64 &&
         _stricmp((std::string(wow64) + "\\uxtheme.dll").c_str(), uxthemes[0].c_str()) == 0))
        << uxthemes[0];
}

TEST_F(InstallExe, RefusedLaunchIsReported)
{
    WriteFileBytes("install.inx", kTemplate);
    ProgramRun run;
    {
        InfWithoutVerbs noVerbs;
        run = Run({IDYES, IDOK});
    }
    ExpectFailure(run, "Cannot start the installation from the file 'install.inf'.");
    EXPECT_EQ(kScript, ReadFileBytes("install.inf"));
}

// Run in a prefix whose code page is UTF-8: any stored folder goes into
// install.inf as its UTF-8 bytes, and the installation lands in it.
TEST_F(InstallExe, UnderTheUtf8CodePageInstallsIntoTheStoredFolder)
{
    if (GetACP() != CP_UTF8) {
        GTEST_SKIP() << "code page " << GetACP();
    }
    const std::string copyTemplate =
        "[Version]\r\nSignature=\"$Chicago$\"\r\n"
        "[DefaultInstall]\r\nCopyFiles=Landed\r\nAddReg=RecordDirectory\r\n"
        "[DestinationDirs]\r\nLanded=-1,VUZAZURAV\r\n"
        "[Landed]\r\nlanded.txt\r\n"
        "[RecordDirectory]\r\nHKCU,Software\\InstallTestRecord,Dir,,VUZAZURAV\r\n";
    WriteFileBytes("install.inx", copyTemplate);
    WriteFileBytes("landed.txt", "landed");
    const struct {
        std::wstring stored;
        std::string inUtf8;
    } folders[] = {
        {L"C:\\M\u00FCller", "C:\\M\xC3\xBCller"},
        {L"C:\\\u65E5\u672C\u8A9E App", "C:\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E App"},
    };
    for (const auto& folder : folders) {
        SetAppPathWide(folder.stored);
        DeleteUserKey(kRecordKey);
        const ProgramRun run = Run({IDYES});
        ASSERT_EQ(1u, run.boxes.size()) << (run.boxes.size() > 1 ? run.boxes[1].text : "");
        const std::string quoted = "\"" + folder.inUtf8 + "\"";
        std::string expected = copyTemplate;
        for (std::size_t at = expected.find("VUZAZURAV"); at != std::string::npos;
             at = expected.find("VUZAZURAV", at + quoted.size())) {
            expected.replace(at, 9, quoted);
        }
        EXPECT_EQ(expected, ReadFileBytes("install.inf"));
        EXPECT_EQ(folder.inUtf8, AwaitRecordedDirectory());
        const fs::path landed = fs::path(folder.stored) / L"landed.txt";
        EXPECT_TRUE(fs::exists(landed)) << folder.inUtf8;
        fs::remove_all(folder.stored);
    }
}

TEST_F(InstallExe, TheInstallationStartsShownNormally)
{
    const std::string recorder = Environment("INSTALL_TEST_SHOW_RECORDER");
    ASSERT_FALSE(recorder.empty()) << "INSTALL_TEST_SHOW_RECORDER names no program";
    WriteFileBytes("install.inx", kTemplate);
    {
        InfInstallCommand recordShowState("\"" + recorder + "\" \"%1\"");
        ASSERT_EQ(1u, Run({IDYES}).boxes.size());
    }
    for (int wait = 0; !fs::exists("install.inf.show") && wait < 300; ++wait) {
        Sleep(100);
    }
    EXPECT_EQ("1", ReadFileBytes("install.inf.show")) << "SW_SHOWNORMAL is 1";
}

}  // namespace
