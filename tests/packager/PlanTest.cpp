// The install plan: each directive as the engine runs it, and what
// uninstalling leaves.
#include "inx-check/reader/CodePage.h"
#include "inx-check/command/PlanReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHead = "[Version]\nSignature=\"$Chicago$\"\n[DefaultInstall]\n";

struct PlanCase {
    const char* what;
    std::string inf;
    std::vector<std::string> present;  // lines of the plan, each as a whole
    std::vector<std::string> absent;   // text no line may hold
    Windows windows = Windows::Bits32;
};

std::vector<std::string> PlanLines(const std::string& inf, Windows windows)
{
    const std::string folder = "C:\\App";
    const std::string plan =
        PlanReport(inf, &folder, *FindCodePage(kDefaultCodePage), PlanFormat::Text, windows);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < plan.size();) {
        const std::size_t end = plan.find('\n', at);
        lines.push_back(plan.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

void ExpectPlans(const std::vector<PlanCase>& cases)
{
    for (const PlanCase& c : cases) {
        const std::vector<std::string> lines = PlanLines(c.inf, c.windows);
        for (const std::string& wanted : c.present) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end())
                << c.what << ": no line\n  " << wanted << "\nin\n"
                << testing::PrintToString(lines);
        }
        for (const std::string& unwanted : c.absent) {
            for (const std::string& line : lines) {
                EXPECT_EQ(std::string::npos, line.find(unwanted)) << c.what << ": " << line;
            }
        }
    }
}

TEST(Plan, FilesWhereTheEngineCopiesThem)
{
    ExpectPlans({
        {"a folder number and a subfolder",
         kHead + "CopyFiles=F\n[DestinationDirs]\nF=16422,App\\bin\n[F]\na.dll\n",
         {"  copies a.dll to C:\\Program Files\\App\\bin\\a.dll  (line 8)"},
         {}},
        {"-1 with a folder number inside the path",
         kHead + "CopyFiles=F\n[DestinationDirs]\nF=-1,%16419%\\Vendor\n[F]\na.dll\n",
         {"  copies a.dll to C:\\ProgramData\\Vendor\\a.dll  (line 8)"},
         {}},
        {"-1 with the inserted folder; a quote never closed keeps no CR (Wine's alone)",
         kHead + "CopyFiles=F\n[DestinationDirs]\nF=-1,VUZAZURAV\n[F]\nnew.txt,old.txt\n"
                 "\"open.txt\r\n",
         {"  copies old.txt to C:\\App\\new.txt  (line 8)",
          "  copies open.txt to C:\\App\\open.txt  (line 9)"},
         {}},
        {"the x86 engine's own [SourceDisksFiles.x86] names the file's subfolder",
         kHead + "CopyFiles=F\n[DestinationDirs]\nF=11\n[F]\nsvc.exe\n[SourceDisksNames]\n"
                 "1=\"Disk\"\n[SourceDisksFiles.x86]\nsvc.exe = 1, i386\n",
         {"  copies i386\\svc.exe to C:\\Windows\\System32\\svc.exe (Wine 8 copies svc.exe, "
          "reading [SourceDisksFiles] and [SourceDisksNames] alone)  (line 8)"},
         {}},
        {"no [DestinationDirs]: the system folder",
         kHead + "CopyFiles=F\n[F]\na.dll\n",
         {"  copies a.dll to C:\\Windows\\System32\\a.dll  (line 6)"},
         {}},
        {"@file goes to DefaultDestDir, from its disk's folder",
         kHead + "CopyFiles=@a.dll\n[DestinationDirs]\nDefaultDestDir=11\n"
                 "[SourceDisksNames]\n1=Disk,,,\\disk1\n[SourceDisksFiles]\na.dll=1,sub\n",
         {"  copies disk1\\sub\\a.dll to C:\\Windows\\System32\\a.dll  (line 4)"},
         {}},
        {"0 puts no folder first; a folder's trailing '\\' goes before another",
         kHead + "CopyFiles=F,G\n[DestinationDirs]\nF=0,C:\\Tools\nG=-1,%24%\\Demo\n[F]\na.dll\n"
                 "[G]\ng.dll\n",
         {"  copies a.dll to C:\\Tools\\a.dll  (line 9)",
          "  copies g.dll to C:\\Demo\\g.dll  (line 11)"},
         {}},
        {"a number the table lacks: the engine's unknown folder",
         kHead + "CopyFiles=F\n[DestinationDirs]\nF=16500\n[F]\na.dll\n",
         {"  copies a.dll to C:\\Windows\\System32\\unknown\\a.dll  (line 8)"},
         {}},
        {"DelFiles and RenFiles in their section's folder",
         kHead + "DelFiles=D\nRenFiles=R\n[DestinationDirs]\nD=10\nR=-1,VUZAZURAV\n[D]\nx.ini\n"
                 "[R]\nnew.txt,old.txt\n",
         {"  deletes C:\\Windows\\x.ini  (line 10)",
          "  renames C:\\App\\old.txt to C:\\App\\new.txt  (line 12)"},
         {}},
        {"a decorated section over a plain one, an empty one passed over",
         "[Version]\nSignature=\"$Chicago$\"\n[DefaultInstall]\nCopyFiles=A\n"
         "[DefaultInstall.NTx86]\n[DefaultInstall.NT]\nCopyFiles=B\n[A]\na.txt\n[B]\nb.txt\n",
         {"Installing runs [DefaultInstall.NT]:",
          "  copies b.txt to C:\\Windows\\System32\\b.txt  (line 11)"},
         {"a.txt"}},
    });
}

TEST(Plan, RegistryAsTheEngineStoresIt)
{
    const std::string reg = kHead + "AddReg=R\n[R]\n";
    const std::string key = "  writes HKEY_LOCAL_MACHINE\\Software\\App: ";
    ExpectPlans({
        {"the folder, a folder number, and the folder quoted inside quotes",
         reg + "HKLM,Software\\App,Dir,,VUZAZURAV\nHKLM,Software\\App,Sys,,%11%\\x\n"
               "HKLM,Software\\App,In,,\"%11%\\VUZAZURAV\"\n",
         {"  opens or makes the key HKEY_LOCAL_MACHINE\\Software\\App  (line 6)",
          key + "\"Dir\" = REG_SZ \"C:\\App\"  (line 6)",
          key + "\"Sys\" = REG_SZ \"C:\\Windows\\System32\\x\"  (line 7)",
          key + "\"In\" = REG_SZ \"C:\\Windows\\System32\\C:\\App\"  (line 8)"},
         {}},
        {"the default value, expandable",
         reg + "HKCU,Software\\App,,0x20000,%%ProgramFiles%%\n",
         {"  writes HKEY_CURRENT_USER\\Software\\App: (default) = REG_EXPAND_SZ "
          "\"%ProgramFiles%\"  (line 6)"},
         {}},
        {"DWORDs as wcstoul reads them: base 0, wrapping, saturating; none read without a field",
         reg + "HKLM,Software\\App,A,0x10001,0x10\nHKLM,Software\\App,B,0x10001,-1\n"
               "HKLM,Software\\App,C,0x10001,0x100000000\nHKLM,Software\\App,D,0x10001\n",
         {key + "\"A\" = REG_DWORD 16  (line 6)", key + "\"B\" = REG_DWORD 4294967295  (line 7)",
          key + "\"C\" = REG_DWORD 4294967295  (line 8)", key + "\"D\" = REG_DWORD hex:  (line 9)"},
         {}},
        {"hex digits in either case; flags saturate at 32 bits as SetupGetIntField reads them "
         "(0x7FFFFFFF: the key alone)",
         reg + "HKLM,Software\\App,Bin,1,AB,0c\nHKLM,Software\\App,F,0x100010001,5\n",
         {key + "\"Bin\" = REG_BINARY hex:ab,0c  (line 6)"},
         {"\"F\""}},
        {"a DWORD given as bytes (four are its number); bytes as SetupGetBinaryField reads them: "
         "hex digits up to the first that is none, an empty field 00, nothing substituted; a "
         "field over a byte leaves the bytes unread",
         reg + "HKLM,Software\\App,A,0x10001,10,00\nHKLM,Software\\App,E,0x10001,10,01,00,00\n"
               "HKLM,Software\\App,B,1,ff,1\nHKLM,Software\\App,C,1,ff,zz,,-1,0x1F,%s%,0ff\n"
               "HKLM,Software\\App,F,1,01,1ff,02\n[Strings]\ns=41\n",
         {key + "\"A\" = REG_DWORD hex:10,00  (line 6)", key + "\"E\" = REG_DWORD 272  (line 7)",
          key + "\"B\" = REG_BINARY hex:ff,01  (line 8)",
          key + "\"C\" = REG_BINARY hex:ff,00,00,00,00,00,ff  (line 9)",
          key + "\"F\" = REG_BINARY (bytes the engine never read)  (line 10)"},
         {}},
        {"types from the flags' high word: bytes, or text stored as UTF-16 whatever the type",
         reg + "HKLM,Software\\App,Q,0x000B0001,01,02,03,04,05,06,07,08\n"
               "HKLM,Software\\App,T,0x000B0000,ab\nHKLM,Software\\App,U,0x000C0001,01\n"
               "HKLM,Software\\App,M,0x00070001,61,00,00,00,00,00\n",
         {key + "\"Q\" = REG_QWORD hex:01,02,03,04,05,06,07,08  (line 6)",
          key + "\"T\" = REG_QWORD hex:61,00,62,00,00,00  (line 7)",
          key + "\"U\" = type 12 hex:01  (line 8)", key + "\"M\" = REG_MULTI_SZ [\"a\"]  (line 9)"},
         {}},
        {"REG_MULTI_SZ up to its first empty field; appended; not appended when empty",
         reg + "HKLM,Software\\App,L,0x10000,a,b,,c\nHKLM,Software\\App,M,0x10008,d\n"
               "HKLM,Software\\App,N,0x10008\n",
         {key + "\"L\" = REG_MULTI_SZ [\"a\", \"b\"]  (line 6)",
          "  appends to HKEY_LOCAL_MACHINE\\Software\\App: \"M\" += REG_MULTI_SZ [\"d\"]  (line "
          "7)"},
         {"\"N\""}},
        {"NOCLOBBER, OVERWRITEONLY (which only opens its key), both (never written), key only, "
         "DELVAL (which makes its key)",
         reg + "HKLM,Software\\App,A,2,x\nHKLM,Software\\Open,B,0x20,y\nHKLM,Software\\Key,,0x10\n"
               "HKLM,Software\\App,N,0x22,z\nHKLM,Software\\Made,D,4\nHKLM,Software\\Common,V,"
               "0x2000,x\n",
         {key + "\"A\" = REG_SZ \"x\" unless the value exists  (line 6)",
          std::string("  writes HKEY_LOCAL_MACHINE\\Software\\Open: \"B\" = REG_SZ \"y\" only ") +
              "where the value exists  (line 7)",
          "  opens or makes the key HKEY_LOCAL_MACHINE\\Software\\Key  (line 8)",
          "  opens or makes the key HKEY_LOCAL_MACHINE\\Software\\Made  (line 10)",
          "  opens or makes the key HKEY_LOCAL_MACHINE\\Software\\Common  (line 11)"},
         {"Software\\Key: ", "key HKEY_LOCAL_MACHINE\\Software\\Open", "\"N\"", "Common: "}},
        {"deletions: DELVAL in AddReg; DelReg of a value, a key, a string, a key by "
         "KEYONLY_COMMON (its trailing '\\' none); flags the engine leaves to the other directive",
         kHead + "AddReg=R\nDelReg=D\n[R]\nHKLM,Software\\App,A,4\nHKLM,Software\\Skip,A,0x8000,x\n"
                 "[D]\nHKCU,Software\\Old\nHKCU,Software\\App,V\nHKCU,Software\\App,L,0x18002,s\n"
                 "HKCU,Software\\Kept,,0x4000\nHKCU,\"Common\\\",V,0xA000\n"
                 "HKCU,Software\\App,W,0x8000\nHKCU,Software\\App,T,0x18000,t\n",
         {"  deletes the value HKEY_LOCAL_MACHINE\\Software\\App: \"A\"  (line 7)",
          "  deletes the key HKEY_CURRENT_USER\\Software\\Old and everything under it  (line 10)",
          "  deletes the value HKEY_CURRENT_USER\\Software\\App: \"V\"  (line 11)",
          "  deletes \"s\" from HKEY_CURRENT_USER\\Software\\App: \"L\"  (line 12)",
          "  deletes the key HKEY_CURRENT_USER\\Common and everything under it  (line 14)",
          "  deletes the value HKEY_CURRENT_USER\\Software\\App: \"W\"  (line 15)",
          "  deletes the value HKEY_CURRENT_USER\\Software\\App: \"T\"  (line 16)",
          std::string("  may delete the value HKEY_CURRENT_USER\\Software\\Kept: (default): the ") +
              "line has AddReg's flags, which some versions of Windows' engine ignore to delete "
              "the value, and others and Wine 8 skip the line for  (line 13)"},
         {"Skip", "deletes the key HKEY_CURRENT_USER\\Software\\Kept"}},
        {"roots: the engine skips HKR and unknown ones; a doubled '\\' in a key is one",
         reg + "HKR,Software\\A,V,,1\nHKXX,Software\\B,V,,1\nhkcr,.app,,,App.File\n"
               "HKCU,Software\\\\Two\\\\\\Keys,V,,1\n",
         {"  writes HKEY_CLASSES_ROOT\\.app: (default) = REG_SZ \"App.File\"  (line 8)",
          "  writes HKEY_CURRENT_USER\\Software\\Two\\Keys: \"V\" = REG_SZ \"1\"  (line 9)"},
         {"Software\\A", "Software\\B"}},
    });
}

TEST(Plan, ServicesUnmodelledAndWhatUninstallingLeaves)
{
    const std::string source =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\EventLog\\Application\\Src";
    const std::string system =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\EventLog\\System\\B";
    ExpectPlans({
        {"a service, its HKR values, its binary's folder number",
         kHead + "CopyFiles=F\n[DefaultInstall.Services]\nAddService=Svc,,S\n[S]\n"
                 "ServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=%12%\\svc.sys\n"
                 "AddReg=SR\n[SR]\nHKR,Parameters,Level,0x10001,2\n[F]\nsvc.sys\n",
         {"  adds the service Svc (HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Svc), "
          "running C:\\Windows\\System32\\drivers\\svc.sys  (line 6)",
          "  writes HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Svc\\Parameters: "
          "\"Level\" = REG_DWORD 2  (line 14)"},
         {}},
        {"a service section the engine refuses ends the AddService and DelService lines",
         kHead + "[DefaultInstall.Services]\nAddService=A,,S\nAddService=B,,T\nAddService=C,,S\n"
                 "DelService=D\n[S]\nServiceType=1\nStartType=\nErrorControl=1\nServiceBinary=a\n"
                 "[T]\nServiceType=1\nStartType=3\nErrorControl=x\nServiceBinary=b\n",
         {"  adds the service A (HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\A), "
          "running a  (line 5)",
          "  refuses the service 'B': [T] has no number for ErrorControl; no later AddService or "
          "DelService runs  (line 6)"},
         {"service C", "service D"}},
        {"an event log as Windows writes it, which Wine 8 does not; DelService's flag 4 deletes it",
         kHead + "[DefaultInstall.Services]\nAddService=A,,S,L,Application,Src\nAddService=B,,S,"
                 "L\n[S]\n"
                 "ServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=a\n[L]\nAddReg=LR\n"
                 "[LR]\nHKR,,TypesSupported,0x10001,7\n[DefaultUninstall]\n"
                 "[DefaultUninstall.Services]\nDelService=A,4,Application,Src\n",
         {"  opens or makes the key " + source + "  (line 5)",
          "  writes " + source + ": \"TypesSupported\" = REG_DWORD 7  (line 15)",
          "  opens or makes the key " + system + "  (line 6)",
          "  differs under Wine 8, which does not run the event log [L] of the service A  (line 5)",
          "  deletes the key " + source + " and everything under it  (line 18)",
          "Uninstalling leaves behind 2:", "  " + system + ": \"TypesSupported\"  (line 15)"},
         {}},
        {"every DelService line runs and flag 4 deletes the event source; Wine 8 runs the first "
         "line alone and deletes no source, and so leaves the later services",
         kHead + "[DefaultInstall.Services]\nAddService=A,,S\nAddService=B,,S\n[S]\n"
                 "ServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=a\n[DefaultUninstall]\n"
                 "[DefaultUninstall.Services]\nDelService=A\nDelService=B,4\nDelService=C\n",
         {"  deletes the service A  (line 14)", "  deletes the service B  (line 15)",
          "  deletes the key " + system + " and everything under it  (line 15)",
          "  differs under Wine 8, which does not run the DelService line for B  (line 15)",
          std::string("  differs under Wine 8, which does not run the deletion of the event ") +
              "source of the service B  (line 15)",
          "Uninstalling leaves behind 0:",
          "  differs under Wine 8, which does not run the DelService line for C  (line 16)",
          "Under Wine 8, which does not run all of both sections, uninstalling leaves behind 1:",
          "  the service B  (line 6)"},
         {"DelService line for A"}},
        {"Needs= runs its sections too, which Wine 8 does not; Include= is not modelled",
         kHead + "AddReg=R\nNeeds=N\nInclude=other.inf\n[N]\nAddReg=Q\n[R]\nHKCU,Software\\A,V,,1\n"
                 "[Q]\nHKCU,Software\\B,V,,2\n",
         {"  writes HKEY_CURRENT_USER\\Software\\B: \"V\" = REG_SZ \"2\"  (line 12)",
          "  differs under Wine 8, which does not run [N] for Needs=  (line 7)",
          "  does what the plan does not model: Include  (line 6)"},
         {}},
        {"directives the plan does not model, by name, with the INI files UpdateInis writes",
         kHead + "UpdateInis=U\nProfileItems=P\nCopyFiles=F\n[F]\na.txt\n[U]\n"
                 "system.ini,drivers32,,x=y\n%11%\\app.ini,s,,x=y\n",
         {"  does what the plan does not model: UpdateInis (writes C:\\Windows\\system.ini, "
          "C:\\Windows\\System32\\app.ini)  (line 4)",
          "  does what the plan does not model: ProfileItems  (line 5)"},
         {}},
        {"uninstalling: a key above takes the values, a file and a service deleted (its values "
         "too), a string appended to a list deleted; a key of Wine's or Windows' own is no "
         "leftover, its value is",
         kHead + "AddReg=R,R2\nCopyFiles=F\n[DefaultInstall.Services]\nAddService=Svc,,S\n"
                 "[S]\nServiceBinary=%12%\\svc.sys\nAddReg=SR\n[R]\nHKLM,Software\\App\\Sub,V,,1\n"
                 "HKLM,Software\\Kept,W,,1\nHKCU,Software\\Wine\\Shared,X,,1\n[F]\na.txt\nb.txt\n"
                 "[DefaultUninstall]\nDelReg=D\nDelFiles=G\n[DefaultUninstall.Services]\n"
                 "DelService=Svc\n[D]\nHKLM,Software\\App\nHKLM,Filters,Upper,0x18002,mine\n"
                 "[G]\na.txt\n[SR]\nHKR,Parameters,P,0x10001,1\n[R2]\nHKLM,Filters,Upper,0x10008,"
                 "mine\nHKLM,Software\\Kept,O,0x20,1\n",
         {"Uninstalling leaves behind 4:", "  C:\\Windows\\System32\\b.txt  (line 17)",
          "  HKEY_LOCAL_MACHINE\\Software\\Kept (key)  (line 13)",
          "  HKEY_LOCAL_MACHINE\\Software\\Kept: \"W\"  (line 13)",
          "  HKEY_CURRENT_USER\\Software\\Wine\\Shared: \"X\"  (line 14)"},
         {"  C:\\Windows\\System32\\a.txt", "  HKEY_LOCAL_MACHINE\\Software\\App", "  the service",
          "Shared (key)", "Parameters: \"P\"  (line", "  HKEY_LOCAL_MACHINE\\Filters",
          "  HKEY_LOCAL_MACHINE\\Software\\Kept: \"O\""}},
        {"no uninstall section, an UninstallString registered",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "App,UninstallString,,\"rundll32.exe x.dll\"\n",
         {"There is no [DefaultUninstall] section; the installation registers the uninstaller "
          "'rundll32.exe x.dll'."},
         {"Uninstalling leaves"}},
        {"a list's appended strings deleted but one: the value is left",
         kHead + "AddReg=R\n[R]\nHKLM,Filters,Upper,0x10008,mine,more\n[DefaultUninstall]\n"
                 "DelReg=D\n[D]\nHKLM,Filters,Upper,0x18002,mine\n",
         {"Uninstalling leaves behind 1:", "  HKEY_LOCAL_MACHINE\\Filters: \"Upper\"  (line 6)"},
         {}},
        {"an UninstallString below a program's own entry names no uninstaller",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "App\\Sub,UninstallString,,x\n",
         {"There is no [DefaultUninstall] section: nothing uninstalls what is installed."},
         {}},
        {"a program's service started automatically; one started with the system is refused; "
         "a DelService without a name ends the DelService lines",
         kHead + "[DefaultInstall.Services]\nAddService=A,,Auto\nAddService=B,,System\n"
                 "[Auto]\nServiceType=16\nStartType=2\nErrorControl=1\nServiceBinary=a\n"
                 "[System]\nServiceType=16\nStartType=1\nErrorControl=1\nServiceBinary=b\n"
                 "[DefaultUninstall]\n[DefaultUninstall.Services]\nDelService=A\nDelService=\"\"\n"
                 "DelService=C\n",
         {"  adds the service A (HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\A), "
          "running a  (line 5)",
          "  refuses the service 'B': [System] starts a program's service (ServiceType 16) with "
          "StartType 1, which only a driver may have; no later AddService or DelService runs  "
          "(line 6)",
          "  deletes the service A  (line 19)"},
         {"service C"}},
        {"an AddService line without a section is skipped, not refused; names compare without "
         "regard to case, A to Z",
         kHead + "AddReg=R\n[DefaultInstall.Services]\nAddService=A,0x2\nAddService=B,,S\n[S]\n"
                 "ServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=b\n[R]\n"
                 "HKLM,Software\\AZ,V,,1\n[DefaultUninstall]\nDelReg=D\n[D]\n"
                 "HKLM,Software\\az\n",
         {"  adds the service B (HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\B), "
          "running b  (line 7)",
          "Uninstalling leaves behind 1:", "  the service B  (line 7)"},
         {"refuses", "Software\\AZ (key)"}},
        {"an AddService line naming no section is refused; HKR in any case is the service's key",
         kHead + "[DefaultInstall.Services]\nAddService=Svc,,S\nAddService=A,,Missing\n[S]\n"
                 "ServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=a\nAddReg=SR\n[SR]\n"
                 "hkr,Parameters,L,0x10001,2\n",
         {"  writes HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Svc\\Parameters: "
          "\"L\" = REG_DWORD 2  (line 14)",
          "  refuses the service 'A': names [Missing], which does not exist; no later AddService "
          "or DelService runs  (line 6)"},
         {}},
        {"a value in a key Windows shares, its value deleted: the key is no leftover",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Clients\\Mail,Pick,,App\n[DefaultUninstall]\n"
                 "DelReg=D\n[D]\nHKLM,Software\\Clients\\Mail,Pick\n",
         {"Uninstalling leaves behind 0:"},
         {}},
        {"an INF the engine refuses",
         "[Version]\nSignature=\"$Nope$\"\n[DefaultInstall]\n",
         {"The engine refuses this install.inf: it installs nothing."},
         {"Installing"}},
    });
}

// The 32-bit engine on 64-bit Windows: files and registry writes as WoW64
// redirects them, the text of a folder number as the engine's lookup gives it.
TEST(Plan, OnWindows64AsWow64RedirectsThem)
{
    const std::string files =
        kHead +
        "CopyFiles=S,E,C,X,P,M,W\nAddReg=T\n[DestinationDirs]\nE=12,etc\nC=11,catroot2\n"
        "X=11,catroot2x\nP=16422\nM=16427\nW=16425\n[S]\ns.dll\n[E]\ne.txt\n[C]\nc.cat\n"
        "[X]\nx.txt\n[P]\np.exe\n[M]\nm.dll\n[W]\nw.dll\n"
        "[T]\nHKCU,Software\\App,Dirs,,\"%11%|%16425%|%16422%\"\n";
    const std::string registry =
        kHead +
        "AddReg=R\n[R]\nHKLM,Software\\Vendor,V,,1\nHKLM,Software,Top,,1\n"
        "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\A.EXE,Path,,1\n"
        "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\App Paths2,V,,1\n"
        "HKCR,CLSID\\{1},,,1\nHKCR,CLSIDX,,,1\nHKLM,Software\\Classes\\.ext,,,1\n"
        "HKCU,Software\\Classes\\Interface\\{2},,,1\nHKCU,Software\\Vendor,V,,1\n"
        "HKLM,System\\CurrentControlSet\\Control\\Vendor,V,,1\n"
        "HKLM,Software\\Vendor64,V,0x1000,1\nHKLM,Software\\Vendor32,V,0x4000,1\n"
        "HKLM,Software\\WOW6432Node\\Node,V,,1\n";
    const std::string machine = "  writes HKEY_LOCAL_MACHINE\\Software\\";
    const std::string classes = "  writes HKEY_CLASSES_ROOT\\";
    const std::string wine = "  differs under Wine 8, which writes ";
    const std::string node = "  HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\";
    const std::string user = "  writes HKEY_CURRENT_USER\\Software\\";
    const std::string system = "  writes HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\";
    const std::string dirs = "  writes HKEY_CURRENT_USER\\Software\\App: \"Dirs\" = REG_SZ ";
    ExpectPlans({
        {"the system folder is SysWOW64, but for the folders the redirector exempts; Program "
         "Files (x86); a value keeps the lookup's text",
         files,
         {"  copies s.dll to C:\\Windows\\SysWOW64\\s.dll  (line 14)",
          "  copies e.txt to C:\\Windows\\System32\\drivers\\etc\\e.txt  (line 16)",
          "  copies c.cat to C:\\Windows\\System32\\catroot2\\c.cat  (line 18)",
          "  copies x.txt to C:\\Windows\\SysWOW64\\catroot2x\\x.txt  (line 20)",
          "  copies p.exe to C:\\Program Files (x86)\\p.exe  (line 22)",
          "  copies m.dll to C:\\Program Files (x86)\\Common Files\\m.dll  (line 24)",
          "  copies w.dll to C:\\Windows\\SysWOW64\\w.dll  (line 26)",
          dirs +
              "\"C:\\Windows\\System32|C:\\Windows\\SysWOW64|C:\\Program Files (x86)\"  (line 28)"},
         {},
         Windows::Bits64},
        {"Sysnative: the native System32 on 64-bit Windows",
         kHead + "CopyFiles=Q\n[DestinationDirs]\nQ=10,Sysnative\\drivers\n[Q]\nq.sys\n",
         {"  copies q.sys to C:\\Windows\\System32\\drivers\\q.sys  (line 8)"},
         {},
         Windows::Bits64},
        {"Sysnative: a folder like any other on 32-bit Windows",
         kHead + "CopyFiles=Q\n[DestinationDirs]\nQ=10,Sysnative\\drivers\n[Q]\nq.sys\n",
         {"  copies q.sys to C:\\Windows\\Sysnative\\drivers\\q.sys  (line 8)"},
         {}},
        {"the spool folder is one the redirector exempts",
         kHead + "CopyFiles=Q\n[DestinationDirs]\nQ=11,spool\\prtprocs\n[Q]\nq.dll\n",
         {"  copies q.dll to C:\\Windows\\System32\\spool\\prtprocs\\q.dll  (line 8)"},
         {},
         Windows::Bits64},
        {"the same on 32-bit Windows",
         files,
         {"  copies s.dll to C:\\Windows\\System32\\s.dll  (line 14)",
          "  copies p.exe to C:\\Program Files\\p.exe  (line 22)",
          dirs + "\"C:\\Windows\\System32|C:\\Windows\\System32|C:\\Program Files\"  (line 28)"},
         {"SysWOW64", "(x86)"}},
        {"HKLM\\Software under WOW6432Node but for the shared keys and most of Classes; "
         "FLG_ADDREG_64BITKEY the 64-bit view, and where Wine differs",
         registry,
         {machine + "WOW6432Node\\Vendor: \"V\" = REG_SZ \"1\"  (line 6)",
          machine + "WOW6432Node: \"Top\" = REG_SZ \"1\"  (line 7)",
          machine + "Microsoft\\Windows\\CurrentVersion\\App Paths\\A.EXE: \"Path\" = REG_SZ "
                    "\"1\"  (line 8)",
          machine + "WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths2: \"V\" = "
                    "REG_SZ \"1\"  (line 9)",
          classes + "WOW6432Node\\CLSID\\{1}: (default) = REG_SZ \"1\"  (line 10)",
          classes + "CLSIDX: (default) = REG_SZ \"1\"  (line 11)",
          machine + "Classes\\.ext: (default) = REG_SZ \"1\"  (line 12)",
          user + "Classes\\WOW6432Node\\Interface\\{2}: (default) = REG_SZ \"1\"  (line 13)",
          user + "Vendor: \"V\" = REG_SZ \"1\"  (line 14)",
          system + "Vendor: \"V\" = REG_SZ \"1\"  (line 15)",
          machine + "Vendor64: \"V\" = REG_SZ \"1\"  (line 16)",
          machine + "WOW6432Node\\Vendor32: \"V\" = REG_SZ \"1\"  (line 17)",
          machine + "WOW6432Node\\Node: \"V\" = REG_SZ \"1\"  (line 18)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\Vendor64 at HKEY_LOCAL_MACHINE\\Software\\" +
              "WOW6432Node\\Vendor64  (line 16)",
          wine + "HKEY_CURRENT_USER\\Software\\Classes\\WOW6432Node\\Interface\\{2} at " +
              "HKEY_CURRENT_USER\\Software\\Classes\\Interface\\{2}  (line 13)"},
         {"WOW6432Node\\WOW6432Node", "Vendor32 at", "CLSID\\{1} at"},
         Windows::Bits64},
        {"AppID both views share; the keys Wine 8 links are not all those Windows shares",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Classes\\AppID\\{3},,,1\n"
                 "HKLM,Software\\Clients\\StartMenuInternet\\App,,,1\n"
                 "HKLM,Software\\RegisteredApplications,App,,1\n"
                 "HKLM,Software\\Microsoft\\COM3\\X,,,1\n"
                 "HKLM,Software\\Microsoft\\Clients\\Y,,,1\n"
                 "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\Z,,,1\n"
                 "HKLM,Software\\Registered Applications,A,,1\n",
         {machine + "Classes\\AppID\\{3}: (default) = REG_SZ \"1\"  (line 6)",
          machine + "Clients\\StartMenuInternet\\App: (default) = REG_SZ \"1\"  (line 7)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\Clients\\StartMenuInternet\\App at " +
              "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Clients\\StartMenuInternet\\App  (line "
              "7)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\RegisteredApplications at " +
              "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\RegisteredApplications  (line 8)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\COM3\\X at " +
              "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\COM3\\X  (line 9)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Clients\\Y at " +
              "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Clients\\Y  (line 10)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                 "Time Zones\\Z at HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\"
                 "CurrentVersion\\Time Zones\\Z  (line 11)",
          wine + "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Registered Applications at " +
              "HKEY_LOCAL_MACHINE\\Software\\Registered Applications  (line 12)"},
         {"AppID\\{3} at"},
         Windows::Bits64},
        {"a key Windows ships is no package's own, though its value is",
         kHead +
             "AddReg=R\n[R]\nHKLM,Software\\RegisteredApplications,App,,\"Software\\App\\Caps\"\n"
             "HKLM,Software\\Vendor\\App,V,,1\n"
             "[DefaultUninstall]\nDelReg=D\n[D]\nHKLM,Software\\RegisteredApplications,App\n",
         {"Uninstalling leaves behind 2:"},
         {"RegisteredApplications (key)"}},
        {"the uninstallation deletes the redirected key; the list of installed programs in the "
         "32-bit view",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Vendor,V,,1\nHKLM,Software\\Kept,V,,1\n"
                 "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,"
                 "UninstallString,,\"rundll32.exe x.dll\"\n"
                 "[DefaultUninstall]\nDelReg=D\n[D]\nHKLM,Software\\Vendor\n",
         {"Uninstalling leaves behind 4:", node + "Kept (key)  (line 7)",
          node + "Kept: \"V\"  (line 7)",
          node + "Microsoft\\Windows\\CurrentVersion\\Uninstall\\App (key)  (line 8)",
          node +
              "Microsoft\\Windows\\CurrentVersion\\Uninstall\\App: \"UninstallString\"  (line 8)"},
         {"Software\\Vendor"},
         Windows::Bits64},
        {"the list of installed programs starts an unqualified rundll32.exe as System32's: the "
         "64-bit engine takes .NTamd64 first, writes nothing redirected, and leaves what the "
         "32-bit engine installed",
         kHead +
             "CopyFiles=F\nAddReg=R\n[DestinationDirs]\nF=16422,App\n[F]\na.exe\n[R]\n"
             "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,"
             "UninstallString,,\"rundll32 setupapi,InstallHinfSection DefaultUninstall 132 "
             "x.inf\"\n[DefaultUninstall]\nDelFiles=F\n[DefaultUninstall.NTamd64]\nDelFiles=F\n"
             "DelReg=D\n[D]\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App\n",
         {std::string("The list of installed programs, a 64-bit program, starts the registered ") +
              "uninstaller 'rundll32 setupapi,InstallHinfSection DefaultUninstall 132 x.inf' " +
              "with System32's rundll32.exe, so the 64-bit engine runs it, nothing redirected: " +
              "[DefaultUninstall.NTamd64]:",
          "  deletes C:\\Program Files\\App\\a.exe  (line 9)",
          std::string("  deletes the key HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\") +
              "CurrentVersion\\Uninstall\\App and everything under it  (line 18)",
          "Started so, uninstalling leaves behind 3:",
          "  C:\\Program Files (x86)\\App\\a.exe  (line 9)",
          node + "Microsoft\\Windows\\CurrentVersion\\Uninstall\\App (key)  (line 11)"},
         {},
         Windows::Bits64},
        {"SysWOW64's rundll32.exe (16425), advpack's own command, and any other program run "
         "the 32-bit engine or none",
         kHead + "AddReg=R\n[R]\nHKCU,Software\\A,UninstallString,,x\n"
                 "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,"
                 "UninstallString,,\"%16425%\\rundll32.exe setupapi.dll,InstallHinfSection "
                 "DefaultUninstall 132 x.inf\"\n"
                 "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\B,"
                 "UninstallString,,\"C:\\Windows\\SysWOW64\\rundll32.exe advpack.dll,"
                 "LaunchINFSection x.inf,DefaultUninstall\"\n"
                 "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\C,"
                 "UninstallString,,\"rundll32x.exe setupapi.dll,InstallHinfSection U 132 x.inf\"\n"
                 "[DefaultUninstall]\n",
         {},
         {"64-bit engine"},
         Windows::Bits64},
        {"the 64-bit engine's 16425 is SysWOW64; %windir%\\System32's rundll32.exe, expanded, is "
         "the native one",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,"
                 "UninstallString,0x20000,\"%windir%\\System32\\rundll32.exe setupapi.dll,"
                 "InstallHinfSection DefaultUninstall 132 x.inf\"\n[DefaultUninstall]\n"
                 "[DefaultUninstall.NTamd64]\nDelFiles=W,X\n[DestinationDirs]\nW=16425\n"
                 "X=-1,%16426%\\App\n[W]\nw.dll\n[X]\nx.dll\n",
         {"  deletes C:\\Windows\\SysWOW64\\w.dll  (line 14)",
          "  deletes C:\\Program Files (x86)\\App\\x.dll  (line 16)"},
         {},
         Windows::Bits64},
        {"advpack's LaunchINFSection and syssetup's SetupInfObjectInstallAction name the section",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,"
                 "UninstallString,,\"%11%\\rundll32.exe advpack.dll,LaunchINFSectionEx "
                 "x.inf, Gone,,4\"\n",
         {"The list of installed programs, a 64-bit program, starts the registered uninstaller "
          "'C:\\Windows\\System32\\rundll32.exe advpack.dll,LaunchINFSectionEx x.inf, Gone,,4' "
          "with "
          "System32's rundll32.exe, so the 64-bit engine runs it, nothing redirected: it finds "
          "no section 'Gone' for itself and uninstalls nothing."},
         {},
         Windows::Bits64},
        {"no uninstall section, an UninstallString registered in the 32-bit view",
         kHead + "AddReg=R\n[R]\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "App,UninstallString,,\"rundll32.exe x.dll\"\n",
         {"There is no [DefaultUninstall] section; the installation registers the uninstaller "
          "'rundll32.exe x.dll'."},
         {},
         Windows::Bits64},
    });
    // Each key Wine places elsewhere is said once, however many lines write it.
    const std::vector<std::string> lines =
        PlanLines(registry + "HKLM,Software\\Vendor64,W,0x1000,2\n", Windows::Bits64);
    EXPECT_EQ(2, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                  return line.rfind("  differs under Wine 8", 0) == 0;
              }));
}

}  // namespace
