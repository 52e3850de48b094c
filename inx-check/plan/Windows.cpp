#include "inx-check/plan/Windows.h"

#include "inx-check/reader/InfReader.h"

#include <algorithm>
#include <iterator>

namespace {

// The folders each Windows gives the 32-bit engine: its own numbers, then
// 16384 plus a shell folder's CSIDL. On 64-bit Windows a 32-bit program's
// Program Files is "Program Files (x86)" and its CSIDL_SYSTEMX86 SysWOW64;
// its system folder is still named System32 (the redirector moves its files).
struct Directory {
    long dirid;
    const char* path;
    const char* path64 = nullptr;      // none: as on 32-bit Windows
    const char* pathNative = nullptr;  // the 64-bit engine's; none: as on 32-bit Windows
};
#define USER "C:\\Users\\<user>"
#define ROAMING USER "\\AppData\\Roaming\\Microsoft\\Windows"
#define LOCAL USER "\\AppData\\Local\\Microsoft\\Windows"
#define COMMON "C:\\ProgramData\\Microsoft\\Windows"
const Directory kDirectories[] = {
    {1, "<package>"},
    {10, "C:\\Windows"},
    {11, "C:\\Windows\\System32"},
    {12, "C:\\Windows\\System32\\drivers"},
    {17, "C:\\Windows\\INF"},
    {18, "C:\\Windows\\Help"},
    {20, "C:\\Windows\\Fonts"},
    {21, "C:\\Windows\\System32\\viewers"},
    {23, "C:\\Windows\\System32\\spool\\drivers\\color"},
    {24, "C:\\"},
    {25, "C:\\Windows"},
    {30, "C:\\"},
    {50, "C:\\Windows\\System"},
    {51, "C:\\Windows\\System32\\spool"},
    {52, "C:\\Windows\\System32\\spool\\drivers"},
    {53, USER},
    {54, "C:\\"},
    // The 32-bit engine's print processors, on either Windows.
    {55, "C:\\Windows\\System32\\spool\\prtprocs\\w32x86", nullptr,
     "C:\\Windows\\System32\\spool\\prtprocs\\x64"},
    {16384, USER "\\Desktop"},
    {16386, ROAMING "\\Start Menu\\Programs"},
    {16389, USER "\\Documents"},
    {16390, USER "\\Favorites"},
    {16391, ROAMING "\\Start Menu\\Programs\\Startup"},
    {16392, ROAMING "\\Recent"},
    {16393, ROAMING "\\SendTo"},
    {16395, ROAMING "\\Start Menu"},
    {16397, USER "\\Music"},
    {16398, USER "\\Videos"},
    {16400, USER "\\Desktop"},
    {16403, ROAMING "\\Network Shortcuts"},
    {16404, "C:\\Windows\\Fonts"},
    {16405, ROAMING "\\Templates"},
    {16406, COMMON "\\Start Menu"},
    {16407, COMMON "\\Start Menu\\Programs"},
    {16408, COMMON "\\Start Menu\\Programs\\Startup"},
    {16409, "C:\\Users\\Public\\Desktop"},
    {16410, USER "\\AppData\\Roaming"},
    {16411, ROAMING "\\Printer Shortcuts"},
    {16412, USER "\\AppData\\Local"},
    {16415, USER "\\Favorites"},
    {16416, LOCAL "\\INetCache"},
    {16417, LOCAL "\\INetCookies"},
    {16418, LOCAL "\\History"},
    {16419, "C:\\ProgramData"},
    {16420, "C:\\Windows"},
    {16421, "C:\\Windows\\System32"},
    {16422, "C:\\Program Files", "C:\\Program Files (x86)"},
    {16423, USER "\\Pictures"},
    {16424, USER},
    {16425, "C:\\Windows\\System32", "C:\\Windows\\SysWOW64", "C:\\Windows\\SysWOW64"},
    {16426, "C:\\Program Files", "C:\\Program Files (x86)", "C:\\Program Files (x86)"},
    {16427, "C:\\Program Files\\Common Files", "C:\\Program Files (x86)\\Common Files"},
    {16428, "C:\\Program Files\\Common Files", "C:\\Program Files (x86)\\Common Files",
     "C:\\Program Files (x86)\\Common Files"},
    {16429, COMMON "\\Templates"},
    {16430, "C:\\Users\\Public\\Documents"},
    {16431, COMMON "\\Start Menu\\Programs\\Administrative Tools"},
    {16432, ROAMING "\\Start Menu\\Programs\\Administrative Tools"},
    {16437, "C:\\Users\\Public\\Music"},
    {16438, "C:\\Users\\Public\\Pictures"},
    {16439, "C:\\Users\\Public\\Videos"},
    {16440, "C:\\Windows\\Resources"},
    {16442, "C:\\ProgramData\\OEM Links"},
    {16443, LOCAL "\\Burn\\Burn"},
};
// Numbers Windows documents and Wine's engine does not know: the driver
// store, the non-localized Startup folders, the localized resources, and the
// printer folders of a printer's INF.
const long kWindowsOnly[] = {13, 16413, 16414, 16441, 66000, 66001, 66002, 66003, 66004};
#undef USER
#undef ROAMING
#undef COMMON
#undef LOCAL

constexpr char kSystem32[] = "c:\\windows\\system32";
// The folders under System32 that the file system redirector leaves alone.
const char* const kNotRedirected[] = {"catroot",      "catroot2", "driverstore",
                                      "drivers\\etc", "logfiles", "spool"};

// Under HKLM\Software, the keys both views share on Windows 7 and later
// (Microsoft's "Registry Keys Affected by WOW64").
const char* const kSharedSoftware[] = {
    "clients",
    "microsoft\\com3",
    "microsoft\\cryptography\\calais\\current",
    "microsoft\\cryptography\\calais\\readers",
    "microsoft\\cryptography\\services",
    "microsoft\\ctf\\systemshared",
    "microsoft\\ctf\\tip",
    "microsoft\\dfs",
    "microsoft\\driver signing",
    "microsoft\\enterprisecertificates",
    "microsoft\\eventsystem",
    "microsoft\\msmq",
    "microsoft\\non-driver signing",
    "microsoft\\notepad\\defaultfonts",
    "microsoft\\ole",
    "microsoft\\ras",
    "microsoft\\rpc",
    "microsoft\\software\\microsoft\\shared tools\\msinfo",
    "microsoft\\systemcertificates",
    "microsoft\\termservlicensing",
    "microsoft\\transaction server",
    "microsoft\\windows\\currentversion\\app paths",
    "microsoft\\windows\\currentversion\\control panel\\cursors\\schemes",
    "microsoft\\windows\\currentversion\\explorer\\autoplayhandlers",
    "microsoft\\windows\\currentversion\\explorer\\driveicons",
    "microsoft\\windows\\currentversion\\explorer\\kindmap",
    "microsoft\\windows\\currentversion\\group policy",
    "microsoft\\windows\\currentversion\\policies",
    "microsoft\\windows\\currentversion\\previewhandlers",
    "microsoft\\windows\\currentversion\\setup",
    "microsoft\\windows\\currentversion\\telephony\\locations",
    "microsoft\\windows nt\\currentversion\\console",
    "microsoft\\windows nt\\currentversion\\fontdpi",
    "microsoft\\windows nt\\currentversion\\fontlink",
    "microsoft\\windows nt\\currentversion\\fontmapper",
    "microsoft\\windows nt\\currentversion\\fonts",
    "microsoft\\windows nt\\currentversion\\fontsubstitutes",
    "microsoft\\windows nt\\currentversion\\gre_initialize",
    "microsoft\\windows nt\\currentversion\\image file execution options",
    "microsoft\\windows nt\\currentversion\\languagepack",
    "microsoft\\windows nt\\currentversion\\networkcards",
    "microsoft\\windows nt\\currentversion\\perflib",
    "microsoft\\windows nt\\currentversion\\ports",
    "microsoft\\windows nt\\currentversion\\print",
    "microsoft\\windows nt\\currentversion\\profilelist",
    "microsoft\\windows nt\\currentversion\\time zones",
    "policies",
    "registeredapplications",
    "wow6432node",  // already the 32-bit view's own place
};
// Under Software, the keys Windows itself makes besides those (and Wine's
// own): none is a package's.
const char* const kSystemSoftware[] = {"classes", "wine"};
// Under Software\Classes (and HKEY_CLASSES_ROOT), the keys each view has of
// its own; the rest, AppID among it, both share. Wine 8 makes the same
// 32-bit keys (wine.inf, [Wow64]: Classes\Wow6432Node\CLSID, ... as keys,
// Classes\Wow6432Node\AppId, Protocols and TypeLib as links to Classes').
const char* const kRedirectedClasses[] = {"clsid", "directshow", "interface", "media type",
                                          "mediafoundation"};
// Wine 8's links from the 32-bit view's Software\Wow6432Node\FROM to
// Software\TO, as wine.inf's [Wow64] section makes them. Where they differ
// from Microsoft's list, Wine puts a 32-bit write elsewhere than Windows.
struct WineLink {
    const char* from;
    const char* to;
};
const WineLink kWineLinks[] = {
    {"Microsoft\\Clients", "Microsoft\\Clients"},
    {"Microsoft\\Cryptography\\Calais\\Current", "Microsoft\\Cryptography\\Calais\\Current"},
    {"Microsoft\\Cryptography\\Calais\\Readers", "Microsoft\\Cryptography\\Calais\\Readers"},
    {"Microsoft\\Cryptography\\Services", "Microsoft\\Cryptography\\Services"},
    {"Microsoft\\CTF\\SystemShared", "Microsoft\\CTF\\SystemShared"},
    {"Microsoft\\CTF\\TIP", "Microsoft\\CTF\\TIP"},
    {"Microsoft\\DFS", "Microsoft\\DFS"},
    {"Microsoft\\Driver Signing", "Microsoft\\Driver Signing"},
    {"Microsoft\\EnterpriseCertificates", "Microsoft\\EnterpriseCertificates"},
    {"Microsoft\\EventSystem", "Microsoft\\EventSystem"},
    {"Microsoft\\MSMQ", "Microsoft\\MSMQ"},
    {"Microsoft\\Non-Driver Signing", "Microsoft\\Non-Driver Signing"},
    {"Microsoft\\Notepad\\DefaultFonts", "Microsoft\\Notepad\\DefaultFonts"},
    {"Microsoft\\OLE", "Microsoft\\OLE"},
    {"Microsoft\\RAS", "Microsoft\\RAS"},
    {"Microsoft\\RPC", "Microsoft\\RPC"},
    {"Microsoft\\Software\\Microsoft\\Shared Tools\\MSInfo", "Microsoft\\Shared Tools\\MSInfo"},
    {"Microsoft\\SystemCertificates", "Microsoft\\SystemCertificates"},
    {"Microsoft\\TermServLicensing", "Microsoft\\TermServLicensing"},
    {"Microsoft\\Transaction Server", "Microsoft\\Transaction Server"},
    {"Microsoft\\Windows\\CurrentVersion\\App Paths",
     "Microsoft\\Windows\\CurrentVersion\\App Paths"},
    {"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
     "Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes"},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
     "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers"},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
     "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons"},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
     "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap"},
    {"Microsoft\\Windows\\CurrentVersion\\Group Policy",
     "Microsoft\\Windows\\CurrentVersion\\Group Policy"},
    {"Microsoft\\Windows\\CurrentVersion\\Policies",
     "Microsoft\\Windows\\CurrentVersion\\Policies"},
    {"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
     "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers"},
    {"Microsoft\\Windows\\CurrentVersion\\Setup", "Microsoft\\Windows\\CurrentVersion\\Setup"},
    {"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
     "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Console",
     "Microsoft\\Windows NT\\CurrentVersion\\Console"},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
     "Microsoft\\Windows NT\\CurrentVersion\\FontDpi"},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontLink",
     "Microsoft\\Windows NT\\CurrentVersion\\FontLink"},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
     "Microsoft\\Windows NT\\CurrentVersion\\FontMapper"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
     "Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
     "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
     "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
     "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"},
    {"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
     "Microsoft\\Windows NT\\CurrentVersion\\LanguagePack"},
    {"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
     "Microsoft\\Windows NT\\CurrentVersion\\NetworkCards"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Perflib",
     "Microsoft\\Windows NT\\CurrentVersion\\Perflib"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Ports",
     "Microsoft\\Windows NT\\CurrentVersion\\Ports"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Print",
     "Microsoft\\Windows NT\\CurrentVersion\\Print"},
    {"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
     "Microsoft\\Windows NT\\CurrentVersion\\ProfileList"},
    {"Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
     "Microsoft\\Windows NT\\CurrentVersion\\Time Zones"},
    {"Microsoft\\Windows\\CurrentVersion\\Time Zones",
     "Microsoft\\Windows NT\\CurrentVersion\\Time Zones"},
    {"Policies", "Policies"},
    {"Registered Applications", "Registered Applications"},
    {"Wine\\Ports", "Wine\\Ports"},  // made as a prefix starts, not by wine.inf
};
constexpr char kWow64Node[] = "WOW6432Node";

// The length of `top` when `lowered` is it or lies under it; 0 otherwise.
std::size_t Under(const std::string& lowered, const std::string& top)
{
    const bool under = lowered.compare(0, top.size(), top) == 0 &&
                       (lowered.size() == top.size() || lowered[top.size()] == '\\');
    return under ? top.size() : 0;
}

// What `lowered` holds below its first `at` characters and the '\' after them.
std::string Below(const std::string& lowered, std::size_t at)
{
    return lowered.size() > at ? lowered.substr(at + 1) : "";
}

// True when `lowered` (relative to a root) is or lies under one of `keys`.
template <std::size_t N>
bool UnderAny(const std::string& lowered, const char* const (&keys)[N])
{
    return std::any_of(std::begin(keys), std::end(keys),
                       [&lowered](const char* key) { return Under(lowered, key) != 0; });
}

// `key` with the 32-bit view's node put after its first `at` characters.
std::string WithNode(const std::string& key, std::size_t at)
{
    return key.substr(0, at) + "\\" + kWow64Node + key.substr(at);
}

// Where the Classes key that `lowered` lies under ends; 0 when under none.
std::size_t ClassesEnd(const std::string& lowered)
{
    for (const char* classes : {"hkey_classes_root", "hkey_local_machine\\software\\classes",
                                "hkey_current_user\\software\\classes"}) {
        if (const std::size_t at = Under(lowered, classes)) {
            return at;
        }
    }
    return 0;
}

// A Classes key seen from the 32-bit view; `at` is where Classes ends.
std::string ClassesLocation(const std::string& key, std::size_t at)
{
    return UnderAny(Below(LowerAscii(key), at), kRedirectedClasses) ? WithNode(key, at) : key;
}

}  // namespace

bool ParseWindows(const std::string& text, Windows* windows)
{
    if (text == "32" || text == "64") {
        *windows = text == "32" ? Windows::Bits32 : Windows::Bits64;
        return true;
    }
    return false;
}

std::string DirectoryPath(long dirid, Windows windows)
{
    for (const Directory& directory : kDirectories) {
        if (directory.dirid == dirid) {
            const char* other = windows == Windows::Bits64         ? directory.path64
                                : windows == Windows::Bits64Native ? directory.pathNative
                                                                   : nullptr;
            return other != nullptr ? other : directory.path;
        }
    }
    return "";
}

DirectoryKnown KnowsDirectory(long dirid)
{
    const auto held = [dirid](const Directory& directory) { return directory.dirid == dirid; };
    if (dirid == 0 || dirid == -1 ||
        std::any_of(std::begin(kDirectories), std::end(kDirectories), held)) {
        return DirectoryKnown::Yes;
    }
    return std::find(std::begin(kWindowsOnly), std::end(kWindowsOnly), dirid) !=
                   std::end(kWindowsOnly)
               ? DirectoryKnown::WindowsOnly
               : DirectoryKnown::No;
}

std::vector<long> DirectoryNumbers()
{
    std::vector<long> numbers;
    for (const Directory& directory : kDirectories) {
        numbers.push_back(directory.dirid);
    }
    return numbers;
}

std::string FileLocation(const std::string& path, Windows windows)
{
    if (windows != Windows::Bits64) {
        return path;  // Sysnative is a folder like any other, made where it is missing
    }
    const std::string lowered = LowerAscii(path);
    // A 32-bit program's way to the native System32.
    if (const std::size_t end = Under(lowered, "c:\\windows\\sysnative")) {
        return "C:\\Windows\\System32" + path.substr(end);
    }
    const std::size_t end = Under(lowered, kSystem32);
    if (end == 0 || UnderAny(Below(lowered, end), kNotRedirected)) {
        return path;
    }
    return path.substr(0, end - 8) + "SysWOW64" + path.substr(end);
}

std::string RegistryLocation(const std::string& key, unsigned long flags, Windows windows)
{
    if (windows == Windows::Bits64Native) {
        // The 64-bit engine's own view, or with FLG_ADDREG_32BITKEY the 32-bit one.
        return (flags & kRegistry32BitKey) != 0
                   ? RegistryLocation(key, flags & ~kRegistry32BitKey, Windows::Bits64)
                   : key;
    }
    if (windows != Windows::Bits64 || (flags & kRegistry64BitKey) != 0) {
        return key;
    }
    const std::string lowered = LowerAscii(key);
    if (const std::size_t at = ClassesEnd(lowered)) {
        return ClassesLocation(key, at);
    }
    const std::size_t at = Under(lowered, "hkey_local_machine\\software");
    if (at == 0 || UnderAny(Below(lowered, at), kSharedSoftware)) {
        return key;
    }
    return WithNode(key, at);
}

std::string WineRegistryLocation(const std::string& key, unsigned long flags, Windows windows)
{
    if (windows != Windows::Bits64) {
        return "";
    }
    const std::string lowered = LowerAscii(key);
    const std::size_t software = Under(lowered, "hkey_local_machine\\software");
    std::string wine;
    if (Under(lowered, "hkey_current_user") != 0 && ClassesEnd(lowered) != 0) {
        wine = key;  // Wine keeps HKCU's Classes in one view
    } else if (software != 0 && ClassesEnd(lowered) == 0 &&
               Under(Below(lowered, software), "wow6432node") == 0) {
        // Wine 8 ignores FLG_ADDREG_64BITKEY, and shares the keys it links.
        const std::string below = Below(lowered, software);
        wine = WithNode(key, software);
        for (const WineLink& link : kWineLinks) {
            if (const std::size_t at = Under(below, LowerAscii(link.from))) {
                wine = key.substr(0, software + 1) + link.to + key.substr(software + 1 + at);
                break;
            }
        }
    } else {
        wine = RegistryLocation(key, flags & ~kRegistry64BitKey, windows);
    }
    return wine != RegistryLocation(key, flags, windows) ? wine : "";
}

bool SystemSoftwareKey(const std::string& name)
{
    const std::string lowered = LowerAscii(name);
    const auto top = [&lowered](const char* key) {
        return std::string(key).substr(0, std::string(key).find('\\')) == lowered;
    };
    return std::any_of(std::begin(kSharedSoftware), std::end(kSharedSoftware), top) ||
           std::any_of(std::begin(kSystemSoftware), std::end(kSystemSoftware), top);
}
