#include "inx-check/rules/Rules.h"

#include <iterator>
#include <string>

namespace {

using namespace std::string_view_literals;

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

// The pieces the examples share.
#define HEAD "[Version]\nSignature=\"$Chicago$\"\n[DefaultInstall]\n"
#define DIR_VALUE "HKCU,Software\\App,Dir,,VUZAZURAV\n"
#define CLEAN HEAD "AddReg=R\n[R]\n" DIR_VALUE
#define COPY_TO(destination) HEAD "CopyFiles=F\n[DestinationDirs]\nF=" destination "\n[F]\n"

const RuleInfo kRules[] = {
    {Rule::Utf16Template,
     E,
     "utf16-template",
     "the template is UTF-16",
     "install.exe reads the template as 8-bit text, where the NUL bytes of UTF-16 end it at "
     "once: install.inf is all but empty. Save the template as ANSI.",
     {"\xFF\xFE[\0V\0e\0r\0s\0i\0o\0n\0]\0"sv},
     {CLEAN}},
    {Rule::EarlyEnd,
     E,
     "early-end",
     "a NUL or Ctrl-Z byte before the template's end",
     "install.exe reads the template in text mode, which ends at a Ctrl-Z, and its expansion "
     "ends at a NUL: nothing after that byte reaches install.inf.",
     {HEAD "AddReg=R\n\x1A[R]\n" DIR_VALUE},
     {CLEAN}},
    {Rule::NoPlaceholder,
     W,
     "no-placeholder",
     "the placeholder VUZAZURAV is never used",
     "install.exe replaces each VUZAZURAV with the application's folder. Without one, the "
     "folder is never used, which is rarely what a template for that application means.",
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\App,Dir,,C:\\App\n"},
     {CLEAN}},
    {Rule::QuotedPlaceholder,
     W,
     "quoted-placeholder",
     "the placeholder already stands between double quotes",
     "install.exe puts the folder in double quotes itself, so a quoted placeholder gives two "
     "pairs; the engine then reads the quotes differently than the template suggests.",
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\App,Dir,,\"VUZAZURAV\"\n"},
     {CLEAN}},
    {Rule::PlaceholderCase,
     W,
     "placeholder-case",
     "the placeholder is written in another case",
     "Only the upper-case VUZAZURAV is replaced; any other spelling reaches the engine as "
     "it is written.",
     {CLEAN "HKCU,Software\\App,Old,,Vuzazurav\n"},
     {CLEAN}},
    {Rule::Utf8Text,
     W,
     "utf8-text",
     "UTF-8 text or a UTF-8 byte-order mark",
     "The engine reads install.inf in the system's ANSI code page, where UTF-8 bytes are "
     "other characters (on a UTF-8 system they are read right). Wine reads a file that starts "
     "with a UTF-8 byte-order mark as UTF-8, but Microsoft documents only ANSI and UTF-16 LE "
     "INF files. Keep the template ANSI or plain ASCII.",
     {CLEAN "HKCU,Software\\App,Name,,Caf\xC3\xA9\n"},
     {CLEAN "HKCU,Software\\App,Name,,Caf\xE9\n"}},
    {Rule::LongLine,
     W,
     "long-line",
     "a line longer than the engine handles",
     "Windows' INF engine handles lines of up to 4096 characters (MAX_INF_STRING_LENGTH). "
     "Each placeholder adds up to 992 characters, as the longest folder install.exe accepts "
     "is 999 bytes.",
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\App,Dirs,0x10000,VUZAZURAV,VUZAZURAV,VUZAZURAV,VUZAZURAV,"
           "VUZAZURAV\n"},
     {HEAD
      "AddReg=R\n[R]\nHKCU,Software\\App,Dirs,0x10000,VUZAZURAV,VUZAZURAV,VUZAZURAV,VUZAZURAV\n"}},
    {Rule::FolderTooLong,
     E,
     "folder-too-long",
     "the folder is longer than install.exe accepts",
     "install.exe reads at most 999 bytes of the App Paths Path value; with a longer folder "
     "it installs nothing.",
     {CLEAN, "C:\\", 1000},
     {CLEAN, "C:\\", 999}},
    {Rule::FolderList,
     W,
     "folder-list",
     "the folder is a list of folders",
     "install.exe inserts the Path value whole, as one folder, so the installation goes into "
     "a folder named after the whole list, or fails.",
     {CLEAN, "C:\\App;C:\\Tools"},
     {CLEAN, "C:\\App"}},
    {Rule::TooLarge,
     E,
     "too-large",
     "the expansion does not fit in memory's address range",
     "install.exe cannot hold install.inf in memory and writes nothing.",
     {},
     {CLEAN}},
    {Rule::FolderAltered,
     E,
     "folder-altered",
     "the engine reads the inserted folder as another",
     "A comma ends an unquoted value, a '\"' in the folder ends the quoting, and a %number% "
     "pair in the folder is replaced by a system folder: the value the engine reads does not "
     "hold the folder, and files or values go elsewhere.",
     {CLEAN, "C:\\%11%"},
     {CLEAN, "C:\\App"}},
    {Rule::InfRefused,
     E,
     "inf-refused",
     "the engine refuses the whole INF",
     "Text before the first section (without a [Strings] section), a section name without its "
     "']' or one over 255 characters make the engine refuse the file: nothing is installed, "
     "and no message says so.",
     {"[Version]\nSignature=\"$Chicago$\"\n[DefaultInstall\nAddReg=R\n[R]\n" DIR_VALUE},
     {CLEAN}},
    {Rule::NoSignature,
     E,
     "no-signature",
     "no [Version] Signature the engine knows",
     "Without Signature=\"$Windows NT$\" or \"$Chicago$\" in [Version], the engine refuses the "
     "file and installs nothing, without a message. Wine's engine also takes \"$Windows 95$\"; "
     "Microsoft documents that Windows takes no other value.",
     {"[Version]\nProvider=Me\n[DefaultInstall]\nAddReg=R\n[R]\n" DIR_VALUE},
     {CLEAN}},
    {Rule::TextBeforeSection,
     W,
     "text-before-section",
     "text before the first section",
     "The engine refuses an INF with text before its first section unless the INF has a "
     "[Strings] section; with one, Windows and Wine ignore the text.",
     {"Setup\n" CLEAN "[Strings]\nName=App\n"},
     {CLEAN "[Strings]\nName=App\n"}},
    {Rule::NoInstallSection,
     E,
     "no-install-section",
     "no install section for 32-bit Windows",
     "The shell's \"install\" verb runs [DefaultInstall.NTx86], or else [DefaultInstall.NT], "
     "or else [DefaultInstall]; sections for other processors, for services or with a build "
     "tool's placeholder in the name are never run, and nothing is installed.",
     {"[Version]\nSignature=\"$Chicago$\"\n[DefaultInstall.amd64]\nAddReg=R\n[R]\n" DIR_VALUE},
     {CLEAN}},
    {Rule::IgnoredInstallSection,
     W,
     "ignored-install-section",
     "an install section that a decorated one hides",
     "The engine runs the most decorated install section it finds and ignores the others.",
     {HEAD "AddReg=R\n[DefaultInstall.NTx86]\nAddReg=R\n[R]\n" DIR_VALUE},
     {CLEAN}},
    {Rule::DriverRoute,
     W,
     "driver-route",
     "Windows 10 1903 and later install the INF as a driver package",
     "An INF whose [Version] names Class, ClassGuid and Provider, that has no [Manufacturer] "
     "section and whose install sections are all architecture-decorated ([DefaultInstall.NTx86] "
     "and no plain [DefaultInstall]) is a primitive driver to Windows 10 1903 and later: the "
     "shell's verb hands it to the driver installer, which copies it into the driver store "
     "only as a signed driver package and does not run the install section as the engine "
     "would. Older Windows and Wine run the section. Leave Class and ClassGuid out of an "
     "INF that installs software, or add a plain [DefaultInstall].",
     {"[Version]\nSignature=\"$Windows NT$\"\nClass=Extension\n"
      "ClassGuid={e2f84ce7-8efa-411c-aa69-97454ca4cb57}\nProvider=Vendor\n"
      "[DefaultInstall.NTx86]\nAddReg=R\n[R]\n" DIR_VALUE},
     {"[Version]\nSignature=\"$Windows NT$\"\nProvider=Vendor\n"
      "[DefaultInstall.NTx86]\nAddReg=R\n[R]\n" DIR_VALUE}},
    {Rule::UnclosedQuote,
     W,
     "unclosed-quote",
     "a double quote that is never closed",
     "The value runs to the end of the line. Where lines end in CR LF, Wine's engine keeps the "
     "CR in it as well, so the value differs between Wine and Windows.",
     {CLEAN "HKCU,Software\\App,Name,,\"My App\n"},
     {CLEAN "HKCU,Software\\App,Name,,\"My App\"\n"}},
    {Rule::LineJoined,
     E,
     "line-joined",
     "a '\\' at a line's end joins the next line",
     "The engine joins the next line to this one, and that line is lost as a line of its "
     "own. Put a value that ends in '\\' in double quotes.",
     {CLEAN "HKCU,Software\\App,Old,,C:\\Old\\\nHKCU,Software\\App,New,,1\n"},
     {CLEAN "HKCU,Software\\App,Old,,\"C:\\Old\\\"\nHKCU,Software\\App,New,,1\n"}},
    {Rule::StringsCut,
     E,
     "strings-cut",
     "an unquoted ',' or ';' in a [Strings] value",
     "A ',' ends the value and a ';' starts a comment: the string is cut there wherever it is "
     "used. Put the whole value in double quotes.",
     {CLEAN "HKCU,Software\\App,By,,%Maker%\n[Strings]\nMaker=Me, Inc.\n"},
     {CLEAN "HKCU,Software\\App,By,,%Maker%\n[Strings]\nMaker=\"Me, Inc.\"\n"}},
    {Rule::QuotesRemoved,
     W,
     "quotes-removed",
     "double quotes the engine removes",
     "The engine removes the quotes around part of a value. To keep a quote, write the whole "
     "value in quotes and each quote inside it as \"\".",
     {CLEAN "HKCU,Software\\App,Run,,\"app.exe\" /quiet\n"},
     {CLEAN "HKCU,Software\\App,Run,,\"\"\"app.exe\"\" /quiet\"\n"}},
    {Rule::ValueTooLong,
     E,
     "value-too-long",
     "a value longer than the engine handles",
     "Windows' engine handles values of up to 4096 characters; a longer one is cut or makes "
     "the line fail.",
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\App,Dirs,,"
           "VUZAZURAV\\VUZAZURAV\\VUZAZURAV\\VUZAZURAV\\VUZAZURAV\n",
      "C:\\", 999},
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\App,Dirs,,VUZAZURAV\\VUZAZURAV\\VUZAZURAV\\VUZAZURAV\n",
      "C:\\", 999}},
    {Rule::ValueCutByWine,
     W,
     "value-cut-by-wine",
     "a value over Wine's 511 characters",
     "Wine's engine cuts every value to 511 characters; Windows keeps up to 4096.",
     {CLEAN, "C:\\", 512},
     {CLEAN, "C:\\", 509}},
    {Rule::UndefinedString,
     E,
     "undefined-string",
     "a %key% that [Strings] does not define, in a name",
     "The engine keeps an undefined %key% as it is written, so a folder, file, registry key "
     "or value name literally called %key% is made. (In a registry value an environment "
     "variable such as %SystemRoot% is kept on purpose and is no finding.)",
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\%Maker%,Dir,,VUZAZURAV\n"},
     {HEAD "AddReg=R\n[R]\nHKCU,Software\\%Maker%,Dir,,VUZAZURAV\n[Strings]\nMaker=Me\n"}},
    {Rule::UndefinedStringInValue,
     W,
     "undefined-string-in-value",
     "a %key% that is neither in [Strings] nor an environment variable, in a value",
     "The engine keeps it as it is written. That is right for an environment variable that "
     "the value's reader expands; any other name is likely a string that [Strings] lacks.",
     {CLEAN "HKCU,Software\\App,Title,,%Title%\n"},
     {CLEAN "HKCU,Software\\App,Fonts,,%SystemRoot%\\Fonts\n"}},
    {Rule::UnknownDirid,
     E,
     "unknown-dirid",
     "a directory number the engine does not know",
     "The engine puts files for an unknown directory number, and writes an unknown %number% "
     "pair, as a folder called 'unknown' under the system folder.",
     {CLEAN "HKCU,Software\\App,Data,,%99%\\App\n"},
     {CLEAN "HKCU,Software\\App,Data,,%10%\\App\n"}},
    {Rule::MissingSection,
     W,
     "missing-section",
     "a directive names a section that does not exist",
     "The engine skips the name without a word, and nothing else changes: most often a "
     "leftover, but if the section was meant to install something, that is not installed.",
     {HEAD "AddReg=R,Old\n[R]\n" DIR_VALUE},
     {CLEAN}},
    {Rule::ServiceRefused,
     E,
     "service-refused",
     "an AddService line the engine refuses",
     "The engine needs a service's name and section, and in that section a number for "
     "ServiceType, StartType and ErrorControl and a ServiceBinary line. Without one it adds "
     "no service, and runs no later AddService or DelService line of the .Services section.",
     {HEAD "[DefaultInstall.Services]\nAddService=Svc,,S\n[S]\nServiceType=1\nStartType=3\n"
           "ServiceBinary=%12%\\svc.sys\n"},
     {HEAD "[DefaultInstall.Services]\nAddService=Svc,,S\n[S]\nServiceType=1\nStartType=3\n"
           "ErrorControl=1\nServiceBinary=%12%\\svc.sys\n"}},
    {Rule::ServiceBinaryRedirected,
     E,
     "service-binary-redirected",
     "a service whose binary 64-bit Windows puts where its service manager does not look",
     "On 64-bit Windows the 32-bit engine's files for System32 land in SysWOW64, but a "
     "service's binary path is handed to the 64-bit service manager as written: it looks in "
     "System32 and does not find the service's program. Copy the binary to %16425% and name it "
     "by %16425% (SysWOW64 on 64-bit Windows, System32 on 32-bit Windows).",
     {HEAD "CopyFiles=F\n[DestinationDirs]\nF=11\n[F]\napp.exe\n[DefaultInstall.Services]\n"
           "AddService=App,,S\n[S]\nServiceType=16\nStartType=3\nErrorControl=1\n"
           "ServiceBinary=%11%\\app.exe\n"},
     {HEAD "CopyFiles=F\n[DestinationDirs]\nF=16425\n[F]\napp.exe\n[DefaultInstall.Services]\n"
           "AddService=App,,S\n[S]\nServiceType=16\nStartType=3\nErrorControl=1\n"
           "ServiceBinary=%16425%\\app.exe\n"}},
    {Rule::DriverRedirected,
     W,
     "driver-redirected",
     "a driver that 64-bit Windows puts where its kernel does not look",
     "On 64-bit Windows the 32-bit engine's files for System32\\drivers land in "
     "SysWOW64\\drivers, and the kernel looks for the driver in System32\\drivers (nor could it "
     "load a 32-bit driver): the service does not start. install.exe installs such a driver on "
     "32-bit Windows alone.",
     {HEAD "CopyFiles=F\n[DestinationDirs]\nF=12\n[F]\napp.exe\n[DefaultInstall.Services]\n"
           "AddService=App,,S\n[S]\nServiceType=1\nStartType=3\nErrorControl=1\n"
           "ServiceBinary=%12%\\app.exe\n"},
     {HEAD "CopyFiles=F\n[DestinationDirs]\nF=-1,VUZAZURAV\n[F]\napp.exe\n"}},
    {Rule::DefaultDestination,
     W,
     "default-destination",
     "copied files with no destination in [DestinationDirs]",
     "With no entry for the section and no DefaultDestDir, the engine copies into the system "
     "folder (C:\\Windows\\System32, directory 11). Say so with an entry if that is meant.",
     {HEAD "CopyFiles=F\n[F]\napp.exe\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n"}},
    {Rule::DiridNotNumber,
     E,
     "dirid-not-number",
     "a directory number that is not a number",
     "The engine cannot read the number and copies into the system folder.",
     {COPY_TO("Ten") "app.exe\n"},
     {COPY_TO("10") "app.exe\n"}},
    {Rule::ProgramDirid,
     E,
     "program-dirid",
     "a program's own directory number",
     "Numbers from 32768 (0x8000) are defined by the program that runs the INF; the shell's "
     "\"install\" verb defines none, and the engine copies into the system folder.",
     {COPY_TO("32768") "app.exe\n"},
     {COPY_TO("16422,App") "app.exe\n"}},
    {Rule::WindowsOnlyDirid,
     W,
     "windows-only-dirid",
     "a directory number that only Windows knows",
     "Numbers 66000 to 66004 are printer folders on Windows; Wine's engine does not know "
     "them.",
     {COPY_TO("66000") "app.exe\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n"}},
    {Rule::DestinationPath,
     E,
     "destination-path",
     "directory -1 without an absolute path",
     "Directory -1 takes an absolute path. With none, Wine's engine waits forever; with a "
     "relative one, it makes the folder under its own working folder.",
     {COPY_TO("-1,App") "app.exe\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n"}},
    {Rule::DestinationTooLong,
     E,
     "destination-too-long",
     "a destination or copied file's path too long for the engine",
     "Wine's engine cannot make a folder of 259 characters or more and waits forever; Windows "
     "copies files only to paths shorter than 260 characters (MAX_PATH).",
     {COPY_TO("-1,VUZAZURAV") "app.exe\n", "C:\\", 260},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n", "C:\\", 200}},
    {Rule::OtherDrive,
     W,
     "other-drive",
     "a destination on another drive than C:",
     "Where that drive does not exist, Wine's engine waits forever and Windows fails the "
     "copy.",
     {COPY_TO("-1,D:\\App") "app.exe\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n"}},
    {Rule::Sysnative,
     W,
     "sysnative",
     "a destination under Sysnative",
     "On 64-bit Windows, Sysnative is how a 32-bit program such as the engine reaches the "
     "native System32, where 64-bit programs look; on 32-bit Windows there is no such alias, "
     "and the engine makes a folder named Sysnative that nothing reads. Copy there only what "
     "64-bit Windows needs, and say so in the template.",
     {COPY_TO("10,Sysnative") "app.exe\n"},
     {COPY_TO("11") "app.exe\n"}},
    {Rule::FolderInEntry,
     E,
     "folder-in-entry",
     "a CopyFiles entry that holds a folder",
     "A CopyFiles entry is a file name. The engine cannot find a file named with a folder and "
     "waits for it forever (Wine) or asks for a disk (Windows); name the folder in "
     "[SourceDisksNames] or [SourceDisksFiles].",
     {COPY_TO("-1,VUZAZURAV") "bin\\app.exe\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n"}},
    {Rule::MissingFile,
     E,
     "missing-file",
     "a copied file that is not in the package folder",
     "The engine asks the user for a disk (Windows) or waits forever (Wine). Files are looked "
     "up without regard to case, in the [SourceDisksNames] and [SourceDisksFiles] subfolder "
     "when one is named; install.exe's engine, the x86 one, reads [SourceDisksFiles.x86] and "
     "[SourceDisksNames.x86] first. The .amd64, .arm64 and .ia64 sections are other engines' "
     "and are not read.",
     {COPY_TO("-1,VUZAZURAV") "app.exe\nreadme.txt\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n"}},
    {Rule::WineSource,
     W,
     "wine-source",
     "a copied file that Wine's engine looks for where the package lacks it",
     "Windows' x86 engine takes a file's disk and subfolder from [SourceDisksFiles.x86] and "
     "[SourceDisksNames.x86] before the plain sections; Wine 8's engine reads the plain "
     "sections alone, and where they lead the package has no such file, so a try under Wine "
     "waits forever. Name the same place in the plain sections, or ship the file there too.",
     {COPY_TO("-1,VUZAZURAV") "app.exe\n[SourceDisksNames]\n1=Disk\n[SourceDisksFiles]\n"
                              "app.exe=1,old\n[SourceDisksFiles.x86]\napp.exe=1\n"},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n[SourceDisksNames]\n1=Disk\n[SourceDisksFiles]\n"
                              "app.exe=1\n[SourceDisksFiles.x86]\napp.exe=1\n"}},
    {Rule::CopyPathTooLong,
     E,
     "copy-path-too-long",
     "a copied file's path of 260 characters or more",
     "Windows copies files only to paths shorter than 260 characters (MAX_PATH).",
     {COPY_TO("-1,VUZAZURAV") "app.exe\n", "C:\\", 255},
     {COPY_TO("-1,VUZAZURAV") "app.exe\n", "C:\\", 240}},
    {Rule::RegistryRoot,
     E,
     "registry-root",
     "a registry root the engine does not take",
     "The engine knows HKCR, HKCU, HKLM and HKU; HKR means a device's or service's key, "
     "which [DefaultInstall] has not. It skips the line.",
     {HEAD "AddReg=R\n[R]\nHKR,,Dir,,VUZAZURAV\n"},
     {CLEAN}},
    {Rule::RegistryFlags,
     E,
     "registry-flags",
     "AddReg flags that are not a plain number",
     "Flags are read as a number: a name reads as 0 (a string value) and a leading 0 as "
     "octal in Wine, so the value gets another type than meant. Write hexadecimal with 0x.",
     {CLEAN "HKCU,Software\\App,Count,REG_DWORD,1\n"},
     {CLEAN "HKCU,Software\\App,Count,0x10001,1\n"}},
    {Rule::ExtraValueFields,
     E,
     "extra-value-fields",
     "more than one value for a type that takes one",
     "A string or expandable string (flags 0, 0x00020000) takes one value field, and the "
     "engine stores only the first: stray quotes that split a list lose the rest. "
     "REG_MULTI_SZ (0x00010000) and binary types take several.",
     {CLEAN "HKCU,Software\\App,Paths,,C:\\A,C:\\B\n"},
     {CLEAN "HKCU,Software\\App,Paths,0x10000,C:\\A,C:\\B\n"}},
    {Rule::UninstallLeaves,
     W,
     "uninstall-leaves",
     "uninstalling leaves something the installation made",
     "[DefaultUninstall] (chosen as the install section is) runs when the user uninstalls. "
     "Each file the installation copies, each registry key it makes and each value it writes "
     "that the uninstall section does not delete (DelFiles, DelReg of the value or of a key "
     "above it) stays on the machine, an empty key too. inx-check --plan lists them.",
     {CLEAN "[DefaultUninstall]\nDelReg=D\n[D]\nHKCU,Software\\App,Other\n"},
     {CLEAN "[DefaultUninstall]\nDelReg=D\n[D]\nHKCU,Software\\App\n"},
     "the missing DelFiles, DelReg and DelService lines, added to the uninstall section"},
    {Rule::NoUninstall,
     W,
     "no-uninstall",
     "the installation changes the machine and nothing uninstalls it",
     "The INF has no [DefaultUninstall] section, and the installation registers no "
     "UninstallString under ...\\CurrentVersion\\Uninstall: users cannot take away what it "
     "installed. Add an uninstall section that deletes what the install section makes.",
     {CLEAN},
     {CLEAN "[DefaultUninstall]\nDelReg=D\n[D]\nHKCU,Software\\App\n"},
     "an uninstall section that takes away what the installation makes, and an entry in the "
     "list of installed programs that runs it"},
    {Rule::UninstallEngine,
     E,
     "uninstall-engine",
     "an UninstallString that 64-bit Windows runs in the other engine",
     "On 64-bit Windows the list of installed programs is a 64-bit program: it starts a "
     "rundll32.exe named alone (or System32's) as System32's 64-bit one, whose 64-bit engine "
     "takes the section's .NTamd64 form first and deletes from the 64-bit folders and "
     "registry view, not from SysWOW64, Program Files (x86) and WOW6432Node, where the 32-bit "
     "engine installed. It leaves the installation behind, its entry in the list too. Name it "
     "by %16425%\\rundll32.exe: SysWOW64's on 64-bit Windows, System32's on 32-bit Windows.",
     {HEAD "AddReg=R\n[R]\n" DIR_VALUE
           "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,UninstallString,,"
           "\"rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 %17%\\app.inf\"\n"
           "[DefaultUninstall]\nDelReg=D\n[D]\nHKCU,Software\\App\n"
           "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App\n"},
     {HEAD "AddReg=R\n[R]\n" DIR_VALUE
           "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App,UninstallString,,"
           "\"%16425%\\rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 "
           "%17%\\app.inf\"\n"
           "[DefaultUninstall]\nDelReg=D\n[D]\nHKCU,Software\\App\n"
           "HKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App\n"}},
    {Rule::UnknownRule,
     W,
     "unknown-rule",
     "a suppression names a rule that does not exist",
     "The comment silences nothing; check the name against inx-check --list-rules.",
     {"; inx-check: disable=no-such-rule\n" CLEAN},
     {"; inx-check: disable=no-placeholder\n" CLEAN}},
};

#undef HEAD
#undef DIR_VALUE
#undef CLEAN
#undef COPY_TO

static_assert(std::size(kRules) == static_cast<std::size_t>(Rule::UnknownRule) + 1,
              "one table row per rule");

}  // namespace

std::string ExampleFolder(const RuleExample& example)
{
    std::string folder(example.folder);
    if (folder.size() < example.folderLength) {
        folder.resize(example.folderLength, 'x');
    }
    return folder;
}

const RuleInfo* RulesBegin()
{
    return std::begin(kRules);
}

const RuleInfo* RulesEnd()
{
    return std::end(kRules);
}

std::size_t RuleCount()
{
    return std::size(kRules);
}

const RuleInfo& InfoOf(Rule rule)
{
    return kRules[static_cast<std::size_t>(rule)];
}

bool FindRule(std::string_view name, Rule* rule)
{
    for (const RuleInfo& info : kRules) {
        if (info.name == name) {
            *rule = info.rule;
            return true;
        }
    }
    return false;
}
