// The plan's folder table against setupapi: one file installed to each
// folder number lands where the table says, and %number% in a value gives
// the table's text. In a WoW64 prefix, as on 64-bit Windows.
#include "inx-check/plan/Plan.h"
#include "inx-check/plan/Windows.h"
#include "inx-check/reader/CodePage.h"
#include "inx-check/reader/InfReader.h"
#include "tests/support/ScratchDirectory.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The table's path with the user's profile folder filled in.
std::string OnThisMachine(std::string path)
{
    const std::string user = "C:\\Users\\<user>";
    char profile[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    if (path.compare(0, user.size(), user) == 0 && length > 0 && length < MAX_PATH) {
        path.replace(0, user.size(), profile);
    }
    return path;
}

UINT CALLBACK Quietly(PVOID context, UINT notification, UINT_PTR first, UINT_PTR second)
{
    const UINT answer = SetupDefaultQueueCallbackA(context, notification, first, second);
    return notification == SPFILENOTIFY_COPYERROR ? FILEOP_SKIP : answer;
}

// The Windows this test runs on: a 32-bit program under WoW64 is on 64-bit Windows.
Windows ThisWindows()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE ? Windows::Bits64
                                                                                  : Windows::Bits32;
}

constexpr char kTextsKey[] = "Software\\InxPlanFolders";

std::string TextWritten(long dirid)
{
    char text[MAX_PATH] = "";
    DWORD size = sizeof text;
    const std::string name = "D" + std::to_string(dirid);
    return RegGetValueA(HKEY_CURRENT_USER, kTextsKey, name.c_str(), RRF_RT_REG_SZ, nullptr, text,
                        &size) == ERROR_SUCCESS
               ? text
               : "<missing>";
}

TEST(DirectoryTable, EachNumberInstallsWhereTheTableSays)
{
    const ScratchDirectory scratch;
    const Windows windows = ThisWindows();
    std::string inf =
        "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\nAddReg=Texts\r\n";
    std::string destinations = "[DestinationDirs]\r\n";
    std::string sections = "[Texts]\r\n";
    std::vector<long> numbers;
    for (const long dirid : DirectoryNumbers()) {
        if (dirid == 1) {
            continue;  // the package's own folder
        }
        const std::string name = "F" + std::to_string(dirid);
        const std::string file = "inx-plan-" + std::to_string(dirid) + ".txt";
        WriteFileBytes(file, "planned\r\n");
        inf.append("CopyFiles=").append(name).append("\r\n");
        destinations.append(name).append("=").append(std::to_string(dirid)).append("\r\n");
        sections.append("[").append(name).append("]\r\n").append(file).append("\r\n");
        sections.insert(sections.find("[Texts]\r\n") + 9, std::string("HKCU,") + kTextsKey + ",D" +
                                                              std::to_string(dirid) + ",,%" +
                                                              std::to_string(dirid) + "%\r\n");
        numbers.push_back(dirid);
    }
    WriteFileBytes("plan.inf", inf + destinations + sections);
    const std::string folder = scratch.Path().string();
    HINF hinf =
        SetupOpenInfFileA((folder + "\\plan.inf").c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
    void* context = SetupInitDefaultQueueCallbackEx(
        nullptr, static_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
    EXPECT_TRUE(SetupInstallFromInfSectionA(nullptr, hinf, "DefaultInstall",
                                            SPINST_FILES | SPINST_REGISTRY, nullptr, folder.c_str(),
                                            SP_COPY_NEWER, Quietly, context, nullptr, nullptr));
    SetupTermDefaultQueueCallback(context);
    SetupCloseInfFile(hinf);
    // The planned places as they are, not as this 32-bit program's view redirects them.
    PVOID redirection = nullptr;
    const bool redirectionOff =
        windows == Windows::Bits64 && Wow64DisableWow64FsRedirection(&redirection) != FALSE;
    for (const long dirid : numbers) {
        const std::string text = OnThisMachine(DirectoryPath(dirid, windows));
        const std::string planned = FileLocation(text, windows);
        const std::string file = planned + (planned.back() == '\\' ? "" : "\\") + "inx-plan-" +
                                 std::to_string(dirid) + ".txt";
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(file.c_str()))
            << "folder number " << dirid << ": nothing at " << file;
        DeleteFileA(file.c_str());
        EXPECT_EQ(0, _stricmp(text.c_str(), TextWritten(dirid).c_str()))
            << "folder number " << dirid << ": planned " << text << ", written "
            << TextWritten(dirid);
    }
    if (redirectionOff) {
        Wow64RevertWow64FsRedirection(redirection);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kTextsKey);
}

// Sysnative: the native System32 from a 32-bit program on 64-bit Windows, a
// folder like any other on 32-bit Windows, as the plan places it.
TEST(DirectoryTable, SysnativeWhereThePlanPlacesIt)
{
    const ScratchDirectory scratch;
    const Windows windows = ThisWindows();
    const struct {
        const char* destination;  // a [DestinationDirs] entry
        const char* file;
    } copies[] = {{"10,Sysnative", "inx-plan-native.txt"},
                  {"10,Sysnative\\drivers", "inx-plan-native-drivers.txt"}};
    std::string inf = "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\n";
    std::string destinations = "[DestinationDirs]\r\n";
    std::string sections;
    for (std::size_t i = 0; i < std::size(copies); ++i) {
        const std::string name = "F" + std::to_string(i);
        WriteFileBytes(copies[i].file, "planned\r\n");
        inf += "CopyFiles=" + name + "\r\n";
        destinations += name + "=" + copies[i].destination + "\r\n";
        sections += "[" + name + "]\r\n" + copies[i].file + "\r\n";
    }
    const std::string text = inf + destinations + sections;
    WriteFileBytes("plan.inf", text);
    const std::string folder = scratch.Path().string();
    HINF hinf =
        SetupOpenInfFileA((folder + "\\plan.inf").c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
    void* context = SetupInitDefaultQueueCallbackEx(
        nullptr, static_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
    EXPECT_TRUE(SetupInstallFromInfSectionA(nullptr, hinf, "DefaultInstall", SPINST_FILES, nullptr,
                                            folder.c_str(), 0, Quietly, context, nullptr, nullptr));
    SetupTermDefaultQueueCallback(context);
    SetupCloseInfFile(hinf);
    const InstallPlan plan = MakePlan(ReadInf(text, *FindCodePage(kDefaultCodePage)), windows);
    ASSERT_TRUE(plan.install.has_value());
    ASSERT_EQ(std::size(copies), plan.install->files.size());
    PVOID redirection = nullptr;
    const bool redirectionOff =
        windows == Windows::Bits64 && Wow64DisableWow64FsRedirection(&redirection) != FALSE;
    for (const PlannedFile& file : plan.install->files) {
        EXPECT_EQ("planned\r\n", ReadFileBytes(file.destination))
            << file.destination << ": not where planned";
        DeleteFileA(file.destination.c_str());
    }
    if (redirectionOff) {
        Wow64RevertWow64FsRedirection(redirection);
    }
}

// Windows' x86 engine reads [SourceDisksFiles.x86] and [SourceDisksNames.x86]
// before the plain sections; Wine 8's reads the plain ones alone, on 32-bit
// and under WoW64. Each package file holds its own path: what Wine's engine
// copied is where the plan says Wine 8 looks, and the plan names each file
// it reads from elsewhere than Windows.
TEST(SourceSections, WineReadsThePlainOnes)
{
    const ScratchDirectory scratch;
    const std::string folder = scratch.Path().string();
    const std::string text =
        "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\nCopyFiles=F\r\n"
        "[DestinationDirs]\r\nF=-1,\"" +
        folder +
        "\\out\"\r\n[F]\r\na.txt\r\nb.txt\r\nc.txt\r\nd.txt\r\n"
        "[SourceDisksNames]\r\n1=\"One\",,,one\r\n2=\"Two\",,,two\r\n"
        "[SourceDisksNames.x86]\r\n2=\"Two\",,,two86\r\n"
        "[SourceDisksFiles]\r\na.txt=1,plain\r\nb.txt=2\r\nc.txt=1\r\nd.txt=2\r\n"
        "[SourceDisksFiles.x86]\r\na.txt=1,i386\r\nb.txt=2\r\n"
        "[SourceDisksFiles.amd64]\r\nc.txt=1,amd64\r\n";
    for (const char* made : {"one", "one\\plain", "one\\i386", "one\\amd64", "two", "two86"}) {
        CreateDirectoryA(made, nullptr);
    }
    for (const std::string path :
         {"one\\plain\\a.txt", "one\\i386\\a.txt", "two\\b.txt", "two86\\b.txt", "one\\c.txt",
          "one\\amd64\\c.txt", "two\\d.txt", "two86\\d.txt"}) {
        WriteFileBytes(path, path);
    }
    WriteFileBytes("plan.inf", text);
    HINF hinf =
        SetupOpenInfFileA((folder + "\\plan.inf").c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
    void* context = SetupInitDefaultQueueCallbackEx(
        nullptr, static_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
    EXPECT_TRUE(SetupInstallFromInfSectionA(nullptr, hinf, "DefaultInstall", SPINST_FILES, nullptr,
                                            folder.c_str(), SP_COPY_NEWER, Quietly, context,
                                            nullptr, nullptr));
    SetupTermDefaultQueueCallback(context);
    SetupCloseInfFile(hinf);
    const InstallPlan plan =
        MakePlan(ReadInf(text, *FindCodePage(kDefaultCodePage)), Windows::Bits32);
    ASSERT_TRUE(plan.install.has_value());
    ASSERT_EQ(4u, plan.install->files.size());
    const char* const windowsSources[] = {"one\\i386\\a.txt", "two86\\b.txt", "one\\c.txt",
                                          "two86\\d.txt"};
    for (std::size_t i = 0; i < 4; ++i) {
        const PlannedFile& file = plan.install->files[i];
        EXPECT_EQ(windowsSources[i], file.source);
        const std::string wine = file.wineSource.empty() ? file.source : file.wineSource;
        EXPECT_EQ(wine, ReadFileBytes(folder + "\\out\\" +
                                      file.destination.substr(file.destination.rfind('\\') + 1)))
            << file.destination << ": where the plan says Wine 8 looks, beside what it copied";
    }
}

// Whether `subkey` of `root` lies where it is named, through no symbolic link
// (a WoW64 prefix names some shared keys through links), as the 64-bit view
// names it.
bool LiesAt(HKEY root, const std::string& subkey)
{
    for (std::size_t end = subkey.find('\\');; end = subkey.find('\\', end + 1)) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, subkey.substr(0, end).c_str(), REG_OPTION_OPEN_LINK,
                          KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD type = REG_NONE;
        const bool link = RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr,
                                           nullptr) == ERROR_SUCCESS &&
                          type == REG_LINK;
        RegCloseKey(key);
        if (link) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
    }
}

// A key the 32-bit engine writes, as the INF names it, and the line's flags.
struct RegistryWrite {
    std::string key;
    unsigned long flags;
    std::string value = "Planned";  // in a key of the system's, its own name, deleted after
};

// Has the 32-bit engine write a value under each key, and expects each where
// the plan places it: under Wine, Wine's place where the plan names one,
// Windows' otherwise.
void ExpectWritesWherePlanned(const std::vector<RegistryWrite>& writes)
{
    std::string inf =
        "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\n"
        "AddReg=Writes\r\n[Writes]\r\n";
    for (const RegistryWrite& write : writes) {
        const std::string root =
            write.key.compare(0, 18, "HKEY_LOCAL_MACHINE") == 0 ? "HKLM" : "HKCU";
        inf += root + ",\"" + write.key.substr(write.key.find('\\') + 1) + "\"," + write.value +
               "," + std::to_string(write.flags) + ",yes\r\n";
    }
    const ScratchDirectory scratch;
    WriteFileBytes("views.inf", inf);
    const std::string folder = scratch.Path().string();
    HINF hinf =
        SetupOpenInfFileA((folder + "\\views.inf").c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
    EXPECT_TRUE(SetupInstallFromInfSectionA(nullptr, hinf, "DefaultInstall", SPINST_REGISTRY,
                                            nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                                            nullptr));
    SetupCloseInfFile(hinf);
    for (const RegistryWrite& write : writes) {
        const std::string wine = WineRegistryLocation(write.key, write.flags, Windows::Bits64);
        const std::string planned =
            wine.empty() ? RegistryLocation(write.key, write.flags, Windows::Bits64) : wine;
        const bool machine = planned.compare(0, 18, "HKEY_LOCAL_MACHINE") == 0;
        const std::string subkey = planned.substr(planned.find('\\') + 1);
        EXPECT_TRUE(LiesAt(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subkey))
            << write.key << " does not lie at " << planned;
        HKEY key = nullptr;
        // Read through the 64-bit view, which names every key where it lies.
        EXPECT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subkey.c_str(), 0,
                                KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key))
            << write.key << " planned at " << planned;
        if (key != nullptr) {
            EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, write.value.c_str(), nullptr, nullptr,
                                                      nullptr, nullptr))
                << planned;
            RegCloseKey(key);
        }
        if (write.value == "Planned") {
            RegDeleteKeyExA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subkey.c_str(),
                            KEY_WOW64_64KEY, 0);
        } else {
            RegDeleteKeyValueA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subkey.c_str(),
                               write.value.c_str());
        }
    }
}

// Where the 32-bit engine's registry writes land, as the plan places them, and
// where Wine's engine puts the keys that the plan says Wine puts elsewhere.
TEST(RegistryViews, EachWriteLandsWhereThePlanSays)
{
    if (ThisWindows() != Windows::Bits64) {
        GTEST_SKIP() << "one registry view on 32-bit Windows";
    }
    ExpectWritesWherePlanned({
        {"HKEY_LOCAL_MACHINE\\Software\\InxPlanView", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\InxPlan.exe",
         0},
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InxPlan", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Classes\\.inxplan", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1A2B3C4D-0000-0000-0000-000000000001}", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Classes\\AppID\\{1A2B3C4D-0000-0000-0000-000000000003}", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Policies\\InxPlan", 0},
        {"HKEY_CURRENT_USER\\Software\\InxPlanView", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\InxPlanView32", 0x4000},
        {"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\InxPlanView", 0},
        // Where Wine 8 differs from Windows, as the plan says it does.
        {"HKEY_LOCAL_MACHINE\\Software\\InxPlanView64", 0x1000},
        {"HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1A2B3C4D-0000-0000-0000-000000000002}", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Clients\\StartMenuInternet\\InxPlan", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\RegisteredApplications", 0},
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\COM3\\InxPlan", 0},
    });
}

// The keys `parent` (under HKLM, in the 64-bit view) holds, by their names
// below it; each link is named, not walked into.
void WalkKeys(const std::string& parent, std::vector<std::string>* links,
              const std::string& below = "")
{
    HKEY key = nullptr;
    const std::string path = below.empty() ? parent : parent + "\\" + below;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK,
                      KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return;
    }
    DWORD type = REG_NONE;
    if (!below.empty() &&
        RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
            ERROR_SUCCESS &&
        type == REG_LINK) {
        links->push_back(below);
        RegCloseKey(key);
        return;
    }
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        WalkKeys(parent, links, below.empty() ? name : below + "\\" + name);
    }
    RegCloseKey(key);
}

// Every link the prefix's registry holds from the 32-bit view to the 64-bit
// one (Wine makes them from wine.inf's [Wow64]): a write under each lands
// where the plan says Wine puts it.
TEST(RegistryViews, UnderEachOfWinesLinks)
{
    if (ThisWindows() != Windows::Bits64) {
        GTEST_SKIP() << "one registry view on 32-bit Windows";
    }
    std::vector<std::string> links;
    WalkKeys("Software\\Wow6432Node", &links);
    std::vector<RegistryWrite> writes;
    for (const std::string& link : links) {
        if (LowerAscii(link) != "classes") {  // the Classes rows above
            // A value in the linked key itself (Wine rewrites some of their
            // subkeys as a prefix starts), each its own name: two links may
            // lead to one key.
            writes.push_back({"HKEY_LOCAL_MACHINE\\Software\\" + link, 0,
                              "InxPlanLink" + std::to_string(writes.size())});
        }
    }
    std::vector<std::string> classLinks;
    WalkKeys("Software\\Classes\\Wow6432Node", &classLinks);
    for (const std::string& link : classLinks) {
        writes.push_back({"HKEY_LOCAL_MACHINE\\Software\\Classes\\" + link, 0, "InxPlanLink"});
    }
    EXPECT_GE(writes.size(), 40u) << "the prefix's links were not found";
    ExpectWritesWherePlanned(writes);
}

}  // namespace
