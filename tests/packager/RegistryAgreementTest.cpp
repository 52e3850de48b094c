// The plan's registry and services against setupapi: each table row's lines
// installed for real, and the keys and values found afterwards compared with
// those the plan's items make of what was there before.
#include "inx-check/plan/Plan.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ThisCodePage.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr char kRoot[] = "Software\\InxPlanRegistry";

// A key's values by upper-case name: type and bytes.
struct Stored {
    DWORD type;
    std::string bytes;
    bool operator==(const Stored& other) const
    {
        return type == other.type && bytes == other.bytes;
    }
};
using Values = std::map<std::string, Stored>;
// Every key under kRoot by its upper-case path below it, with its values.
using Tree = std::map<std::string, Values>;

std::string Upper(std::string text)
{
    CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// A name in the ANSI code page.
std::string Ansi(const wchar_t* name)
{
    char text[512];
    const int length =
        WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr);
    return length > 0 ? std::string(text) : std::string();
}

void ReadKey(HKEY key, const std::string& path, Tree* tree)
{
    Values& values = (*tree)[Upper(path)];
    for (DWORD i = 0;; ++i) {
        // The W function hands out the bytes stored; the A one converts text.
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        BYTE data[4096];
        DWORD size = sizeof data;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        values[Upper(Ansi(name))] = {type, std::string(reinterpret_cast<char*>(data), size)};
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            ReadKey(sub, path + "\\" + name, tree);
            RegCloseKey(sub);
        }
    }
}

Tree ReadTree()
{
    Tree tree;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ReadKey(key, "", &tree);
        RegCloseKey(key);
    }
    return tree;
}

// A planned key or value's place in the tree; false when it lies outside.
bool InTree(const std::string& key, std::string* path)
{
    const std::string root = std::string("HKEY_CURRENT_USER\\") + kRoot;
    if (Upper(key.substr(0, root.size())) != Upper(root)) {
        return false;
    }
    *path = Upper(key.substr(root.size()));
    return true;
}

// Text in the ANSI code page as the registry stores it, by Windows' own conversion.
std::string Utf16(const std::string& text, bool terminated)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    if (!terminated) {
        wide.pop_back();
    }
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

std::string StoredBytes(const PlannedValue& value)
{
    if (value.binary) {
        return value.bytes;
    }
    if (value.type == kRegDword) {
        const DWORD number = value.number;
        return std::string(reinterpret_cast<const char*>(&number), 4);
    }
    if (value.type == kRegMultiSz) {
        std::string bytes;
        for (const std::string& item : value.strings) {
            bytes += Utf16(item, true);
        }
        return bytes + std::string(2, '\0');
    }
    return Utf16(value.strings.front(), value.type != kRegLink);
}

std::vector<std::string> StringsOf(const std::string& bytes)
{
    std::vector<std::string> strings;
    std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    for (std::size_t at = 0; at < wide.size() && wide[at] != L'\0';) {
        const std::size_t end = std::min(wide.find(L'\0', at), wide.size());
        const std::wstring item = wide.substr(at, end - at);
        std::string text(item.size() * 2 + 1, '\0');
        text.resize(static_cast<std::size_t>(
            WideCharToMultiByte(CP_ACP, 0, item.c_str(), static_cast<int>(item.size()), text.data(),
                                static_cast<int>(text.size()), nullptr, nullptr)));
        strings.push_back(text);
        at = end + 1;
    }
    return strings;
}

// `tree` after the plan's items, each where its line is and in the engine's
// order within a line: the key made, then a deletion, then a value.
Tree Planned(Tree tree, const SectionPlan& plan)
{
    struct Step {
        std::size_t at;
        int order;
        const PlannedKey* key;
        const PlannedRegistryDelete* removal;
        const PlannedValue* value;
    };
    std::vector<Step> steps;
    for (const PlannedKey& key : plan.keys) {
        steps.push_back({key.at.at, 0, &key, nullptr, nullptr});
    }
    for (const PlannedRegistryDelete& removal : plan.registryDeletes) {
        steps.push_back({removal.at.at, 1, nullptr, &removal, nullptr});
    }
    for (const PlannedValue& value : plan.registry) {
        steps.push_back({value.at.at, 2, nullptr, nullptr, &value});
    }
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    for (const Step& step : steps) {
        std::string path;
        if (step.key != nullptr && InTree(step.key->key, &path)) {
            for (std::size_t end = path.find('\\', 1);; end = path.find('\\', end + 1)) {
                tree[path.substr(0, end)];
                if (end == std::string::npos) {
                    break;
                }
            }
        } else if (step.removal != nullptr && InTree(step.removal->key, &path) &&
                   tree.count(path) != 0) {
            const PlannedRegistryDelete& removal = *step.removal;
            Values& values = tree[path];
            const std::string name = Upper(removal.name.value_or(""));
            if (!removal.name.has_value()) {
                for (auto at = tree.begin(); at != tree.end();) {
                    const bool under = at->first == path || at->first.rfind(path + "\\", 0) == 0;
                    at = under ? tree.erase(at) : std::next(at);
                }
            } else if (!removal.string.has_value()) {
                values.erase(name);
            } else if (values.count(name) != 0 && values[name].type == REG_MULTI_SZ) {
                std::string kept;
                bool removed = false;
                for (const std::string& item : StringsOf(values[name].bytes)) {
                    const bool same = _stricmp(item.c_str(), removal.string->c_str()) == 0;
                    removed = removed || same;
                    kept += same ? "" : Utf16(item, true);
                }
                if (removed) {
                    values[name].bytes = kept + std::string(2, '\0');
                }
            }
        } else if (step.value != nullptr && InTree(step.value->key, &path)) {
            const PlannedValue& value = *step.value;
            const std::string name = Upper(value.name);
            const auto key = tree.find(path);
            const bool exists = key != tree.end() && key->second.count(name) != 0;
            if ((value.write == Write::IfMissing && exists) ||
                (value.write == Write::IfPresent && !exists) ||
                (value.write == Write::AppendStrings &&
                 !(exists && key->second[name].type == REG_MULTI_SZ))) {
                continue;
            }
            Values& values = tree[path];
            if (value.write != Write::AppendStrings) {
                values[name] = {value.type, StoredBytes(value)};
                continue;
            }
            std::vector<std::string> strings = StringsOf(values[name].bytes);
            for (const std::string& item : value.strings) {
                const auto same = [&item](const std::string& other) {
                    return _stricmp(item.c_str(), other.c_str()) == 0;
                };
                if (std::none_of(strings.begin(), strings.end(), same)) {
                    strings.push_back(item);
                }
            }
            std::string bytes;
            for (const std::string& item : strings) {
                bytes += Utf16(item, true);
            }
            values[name].bytes = bytes + std::string(2, '\0');
        }
    }
    return tree;
}

// The plan's value that the engine wrote with bytes it never read: its
// type and length are known, not its bytes.
void ForgetUnread(const SectionPlan& plan, Tree* expected, Tree* found)
{
    for (const PlannedValue& value : plan.registry) {
        std::string path;
        if (!value.bytesKnown && InTree(value.key, &path)) {
            Stored& wanted = (*expected)[path][Upper(value.name)];
            Stored& got = (*found)[path][Upper(value.name)];
            wanted.bytes = got.bytes = "<unread>";
        }
    }
}

// Wine 8 stores a list it deleted a string from with fewer bytes than the
// list has, cutting its end; Windows stores the list whole. The list Wine
// stores is the planned one cut.
void AsWindowsStoresLists(const SectionPlan& plan, const Tree& expected, Tree* found)
{
    for (const PlannedRegistryDelete& removal : plan.registryDeletes) {
        std::string path;
        if (!removal.string.has_value() || !InTree(removal.key, &path) ||
            expected.count(path) == 0 || found->count(path) == 0) {
            continue;
        }
        const std::string name = Upper(removal.name.value_or(""));
        const Values& wanted = expected.at(path);
        Values& got = (*found)[path];
        if (wanted.count(name) != 0 && got.count(name) != 0) {
            const std::string& whole = wanted.at(name).bytes;
            std::string& cut = got[name].bytes;
            EXPECT_EQ(whole.substr(0, cut.size()), cut) << removal.key;
            cut = whole;
        }
    }
}

std::string Shown(const Tree& tree)
{
    std::string text;
    for (const auto& [path, values] : tree) {
        text += "[" + path + "]\n";
        for (const auto& [name, stored] : values) {
            text += "  " + name + " = " + std::to_string(stored.type) + ":";
            for (const char byte : stored.bytes) {
                char hex[4];
                static_cast<void>(
                    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte)));
                text += hex;
            }
            text += "\n";
        }
    }
    return text;
}

struct RegistryRow {
    const char* what;
    const char* before;  // AddReg lines run first, to make what is there before
    const char* deleting;
    const char* adding;
};

// Each row's lines with '@' for its own key, Software\InxPlanRegistry\<row>.
std::string ForRow(const char* lines, std::size_t row)
{
    std::string text;
    const std::string key = std::string(kRoot) + "\\R" + std::to_string(row);
    for (const char* c = lines; *c != '\0'; ++c) {
        text += *c == '@' ? key : *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    }
    return text;
}

bool Install(const std::string& path, const char* section)
{
    HINF hinf = SetupOpenInfFileA(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (hinf == INVALID_HANDLE_VALUE) {
        return false;
    }
    const BOOL done = SetupInstallFromInfSectionA(nullptr, hinf, section, SPINST_REGISTRY, nullptr,
                                                  nullptr, 0, nullptr, nullptr, nullptr, nullptr);
    SetupCloseInfFile(hinf);
    return done != FALSE;
}

TEST(RegistryAgreement, EachLineDoesWhatThePlanSays)
{
    const RegistryRow rows[] = {
        {"strings, the default value", "", "", "HKCU,@,,,text\nHKCU,@,S,,x\nHKCU,@,Empty\n"},
        {"types from the flags", "", "",
         "HKCU,@,M,0x10000,a,b,,c\nHKCU,@,E,0x20000,%%x%%\nHKCU,@,N,0x20001,01,02\n"
         "HKCU,@,B,1,de,ad\nHKCU,@,L,0x10000\nHKCU,@,Q,0x000B0001,01,02,03,04,05,06,07,08\n"
         "HKCU,@,QT,0x000B0000,ab\nHKCU,@,T3,0x00030000,ab\nHKCU,@,R9,0x00090001,01\n"
         "HKCU,@,M7,0x00070001,61,00,00,00,00,00\n"},
        {"DWORDs: as text, in hex, negative, with text after, given as bytes, none", "", "",
         "HKCU,@,D,0x10001,5\nHKCU,@,H,0x10001,0x1F\nHKCU,@,N,0x10001,-1\n"
         "HKCU,@,T,0x10001,12abc\nHKCU,@,B,0x10001,10,01,00,00\nHKCU,@,Two,0x10001,10,00\n"
         "HKCU,@,None,0x10001\nHKCU,@,Empty,0x10001,\"\"\n"},
        {"binary fields as SetupGetBinaryField reads them; none; more than a byte", "", "",
         "HKCU,@,B1,1,01,,-1,0x1F,%s%,ff,0ff\nHKCU,@,B0,1\nHKCU,@,BX,1,01,1ff,02\n"},
        {"NOCLOBBER keeps a value, writes a missing one", "HKCU,@,A,,old\n", "",
         "HKCU,@,A,2,new\nHKCU,@,B,2,new\n"},
        {"OVERWRITEONLY: only a value that is there, and it never makes its key", "HKCU,@,A,,old\n",
         "", "HKCU,@,A,0x20,new\nHKCU,@,B,0x20,new\nHKCU,@\\Missing,C,0x20,new\n"},
        {"NOCLOBBER and OVERWRITEONLY together write nothing", "HKCU,@,A,,old\n", "",
         "HKCU,@,A,0x22,new\nHKCU,@,B,0x22,new\n"},
        {"APPEND: each string a list lacks, in any case; nothing to a missing or other value",
         "HKCU,@,M,0x10000,a,B\nHKCU,@,S,,text\n", "",
         "HKCU,@,M,0x10008,b,c\nHKCU,@,New,0x10008,x\nHKCU,@,S,0x10008,y\nHKCU,@,M,0x10008\n"},
        {"DELVAL deletes a value and makes its key; without a name the key it made",
         "HKCU,@,V,,1\n", "", "HKCU,@,V,4\nHKCU,@\\Made,W,4\nHKCU,@\\Gone,,4\n"},
        {"key only, and KEYONLY_COMMON", "", "", "HKCU,@\\K1,V,0x10,x\nHKCU,@\\K2,V,0x2000,x\n"},
        {"DelReg: a value, a key, a string of a list, a key by KEYONLY_COMMON",
         "HKCU,@,V,,1\nHKCU,@,W,,1\nHKCU,@\\Sub,V,,1\nHKCU,@,L,0x10000,s,t,S\nHKCU,@\\C,V,,1\n",
         "HKCU,@,V\nHKCU,@\\Sub\nHKCU,@,L,0x18002,s\nHKCU,@\\C,V,0xA000\nHKCU,@,W,0x8000\n", ""},
        {"lines left to the other directive", "HKCU,@,V,,1\n", "HKCU,@,V,0x4000\n",
         "HKCU,@,A,0x8000,x\n"},
        {"a key's doubled and trailing backslashes", "", "", "HKCU,@\\\\Two\\\\\\,V,,1\n"},
    };
    std::string inf =
        "[Version]\r\nSignature=\"$Chicago$\"\r\n[Setup]\r\nAddReg=Before\r\n"
        "[DefaultInstall]\r\nDelReg=Deleting\r\nAddReg=Adding\r\n[Strings]\r\ns=41\r\n";
    std::string before = "[Before]\r\n";
    std::string deleting = "[Deleting]\r\n";
    std::string adding = "[Adding]\r\n";
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        before += ForRow(rows[row].before, row);
        deleting += ForRow(rows[row].deleting, row);
        adding += ForRow(rows[row].adding, row);
    }
    // The engine runs DelReg first: its lines come first, for the plan's order.
    inf += before + deleting + adding;
    const ScratchDirectory scratch;
    WriteFileBytes("registry.inf", inf);
    const std::string path = (scratch.Path() / "registry.inf").string();
    RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
    ASSERT_TRUE(Install(path, "Setup"));
    const Tree was = ReadTree();
    ASSERT_TRUE(Install(path, "DefaultInstall"));
    Tree found = ReadTree();
    RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);

    const Inf read = ReadInf(inf, ThisCodePage());
    const InstallPlan plan = MakePlan(read, Windows::Bits32);
    ASSERT_TRUE(plan.install.has_value());
    Tree expected = Planned(was, *plan.install);
    ForgetUnread(*plan.install, &expected, &found);
    AsWindowsStoresLists(*plan.install, expected, &found);
    EXPECT_EQ(Shown(expected), Shown(found)) << "before:\n" << Shown(was);
    // Where Wine differs from Windows, the plan follows Windows and says so.
    ASSERT_EQ(1u, plan.install->registryDeletesVary.size());
    EXPECT_EQ(std::string("HKEY_CURRENT_USER\\") + kRoot + "\\R11",
              plan.install->registryDeletesVary.front().key);
}

// A service installed, or refused with every later AddService and DelService line.
bool ServiceExists(SC_HANDLE manager, const char* name)
{
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        CloseServiceHandle(service);
    }
    return service != nullptr;
}

void DeleteIfThere(SC_HANDLE manager, const char* name)
{
    SC_HANDLE service = OpenServiceA(manager, name, DELETE);
    if (service != nullptr) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
}

TEST(ServiceAgreement, TheEngineAddsWhatThePlanAddsAndStopsWhereItRefuses)
{
    const char* const names[] = {"InxPlanA", "InxPlanB", "InxPlanC", "InxPlanD", "InxPlanE"};
    const struct {
        const char* what;
        const char* lines;  // a .Services section: A, B, C and D, with D there before
        bool there[4];      // after it, on Windows
        bool refused;
        // Wine 8 looks for each DelService line after the first by the name
        // AddService: it deletes a service added by a line after a DelService.
        int wineDeletes = -1;
    } rows[] = {
        {"complete sections; an empty ErrorControl is 0; DelService after them",
         "AddService=InxPlanA,,Full\nAddService=InxPlanB,,EmptyError\nDelService=InxPlanD\n",
         {true, true, false, false},
         false},
        {"an AddService line after a DelService line",
         "AddService=InxPlanA,,Full\nDelService=InxPlanD\nAddService=InxPlanB,,Full\n",
         {true, true, false, false},
         false,
         1},
        {"no ErrorControl: no later AddService, no DelService",
         "AddService=InxPlanA,,Full\nAddService=InxPlanB,,NoError\nAddService=InxPlanC,,Full\n"
         "DelService=InxPlanD\n",
         {true, false, false, true},
         true},
        {"a ServiceType that is no number",
         "AddService=InxPlanA,,BadType\nAddService=InxPlanB,,Full\n",
         {false, false, false, true},
         true},
        {"a section that does not exist",
         "AddService=InxPlanA,,Missing\nDelService=InxPlanD\n",
         {false, false, false, true},
         true},
        {"no ServiceBinary",
         "AddService=InxPlanC,,NoBinary\nAddService=InxPlanA,,Full\n",
         {false, false, false, true},
         true},
    };
    const std::string sections =
        "[Full]\r\nServiceType=16\r\nStartType=3\r\nErrorControl=1\r\n"
        "ServiceBinary=%11%\\inxplan.exe\r\n[EmptyError]\r\nServiceType=16\r\nStartType=3\r\n"
        "ErrorControl=\r\nServiceBinary=%11%\\inxplan.exe\r\n[NoError]\r\nServiceType=16\r\n"
        "StartType=3\r\nServiceBinary=%11%\\inxplan.exe\r\n[BadType]\r\nServiceType=own\r\n"
        "StartType=3\r\nErrorControl=1\r\nServiceBinary=%11%\\inxplan.exe\r\n[NoBinary]\r\n"
        "ServiceType=16\r\nStartType=3\r\nErrorControl=1\r\n";
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    const ScratchDirectory scratch;
    for (const auto& row : rows) {
        for (const char* name : names) {
            DeleteIfThere(manager, name);
        }
        SC_HANDLE there = CreateServiceA(manager, "InxPlanD", nullptr, SERVICE_ALL_ACCESS, 16, 3, 1,
                                         "C:\\windows\\system32\\inxplan.exe", nullptr, nullptr,
                                         nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, there);
        CloseServiceHandle(there);
        std::string inf =
            "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\n"
            "[DefaultInstall.Services]\r\n";
        inf += ForRow(row.lines, 0) + sections;
        WriteFileBytes("services.inf", inf);
        HINF hinf = SetupOpenInfFileA((scratch.Path() / "services.inf").string().c_str(), nullptr,
                                      INF_STYLE_WIN4, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
        SetupInstallServicesFromInfSectionA(hinf, "DefaultInstall.Services", 0);
        SetupCloseInfFile(hinf);

        const InstallPlan plan = MakePlan(ReadInf(inf, ThisCodePage()), Windows::Bits32);
        ASSERT_TRUE(plan.install.has_value());
        for (std::size_t i = 0; i < 4; ++i) {
            const bool wineDeletes = static_cast<int>(i) == row.wineDeletes;
            EXPECT_EQ(row.there[i] && !wineDeletes, ServiceExists(manager, names[i]))
                << row.what << ": " << names[i];
            const auto named = [&](const auto& item) { return item.name == names[i]; };
            const bool planned =
                std::any_of(plan.install->services.begin(), plan.install->services.end(), named);
            const bool deleted = std::any_of(
                plan.install->serviceDeletes.begin(), plan.install->serviceDeletes.end(),
                [&](const PlannedPath& service) { return service.path == names[i]; });
            EXPECT_EQ(row.there[i], i == 3 ? !deleted : planned) << row.what << ": " << names[i];
        }
        EXPECT_EQ(row.refused, plan.install->serviceRefused.has_value()) << row.what;
    }
    for (const char* name : names) {
        DeleteIfThere(manager, name);
    }
    CloseServiceHandle(manager);
}

// Windows runs every DelService line and, for flag 4, deletes the event
// source; Wine 8 runs a section's first line alone and deletes no source.
// What Wine's engine leaves is just what the plan marks as Wine's skips.
TEST(ServiceAgreement, DelServiceLinesAsThePlanMarksThemForWine)
{
    const char* const names[] = {"InxPlanD", "InxPlanE"};
    const char* const source =
        "System\\CurrentControlSet\\Services\\EventLog\\Application\\InxPlanE";
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    for (const char* name : names) {
        DeleteIfThere(manager, name);
        SC_HANDLE made = CreateServiceA(manager, name, nullptr, SERVICE_ALL_ACCESS, 16, 3, 1,
                                        "C:\\windows\\system32\\inxplan.exe", nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, made);
        CloseServiceHandle(made);
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, source, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    const std::string inf =
        "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\n"
        "[DefaultUninstall]\r\n[DefaultUninstall.Services]\r\n"
        "DelService=InxPlanD\r\nDelService=InxPlanE,4,Application,InxPlanE\r\n";
    const ScratchDirectory scratch;
    WriteFileBytes("services.inf", inf);
    HINF hinf = SetupOpenInfFileA((scratch.Path() / "services.inf").string().c_str(), nullptr,
                                  INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
    SetupInstallServicesFromInfSectionA(hinf, "DefaultUninstall.Services", 0);
    SetupCloseInfFile(hinf);

    const InstallPlan plan = MakePlan(ReadInf(inf, ThisCodePage()), Windows::Bits32);
    ASSERT_TRUE(plan.uninstall.has_value());
    ASSERT_EQ(2u, plan.uninstall->serviceDeletes.size());
    for (const PlannedPath& removal : plan.uninstall->serviceDeletes) {
        EXPECT_EQ(removal.wineSkips, ServiceExists(manager, removal.path.c_str()))
            << removal.path << ": Windows deletes it; Wine 8 "
            << (removal.wineSkips ? "not" : "too");
    }
    ASSERT_EQ(1u, plan.uninstall->registryDeletes.size());
    const bool sourceLeft =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, source, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (sourceLeft) {
        RegCloseKey(key);
    }
    EXPECT_EQ(plan.uninstall->registryDeletes[0].wineSkips, sourceLeft) << "the event source";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, source);
    for (const char* name : names) {
        DeleteIfThere(manager, name);
    }
    CloseServiceHandle(manager);
}

}  // namespace
