#include "inx-check/rules/CheckContext.h"
#include "inx-check/plan/InstallReading.h"
#include "inx-check/plan/Windows.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr char kRefused[] = ": the INF engine refuses the whole file and installs nothing";

// [DefaultInstall.NT.Services] and the like belong to an install section;
// they are none themselves. `name` is lower case.
bool IsSubsection(const std::string& name)
{
    static const char* const kinds[] = {".services", ".hw",     ".coinstallers",
                                        ".wmi",      ".events", ".interfaces"};
    return std::any_of(std::begin(kinds), std::end(kinds),
                       [&name](const char* kind) { return name.find(kind) != std::string::npos; });
}

// A decorated section counts only when it has a line: the engine passes
// over an empty one (seen under Wine).
const InfSection* WithLines(const InfSection* section)
{
    return section != nullptr && !section->lines.empty() ? section : nullptr;
}

// The chosen install section, and a finding when there is none or when it
// hides another.
const InfSection* InstallSection(CheckContext& check)
{
    const Inf& inf = check.inf;
    const InfSection* plain = inf.Find("defaultinstall");
    const InfSection* nt = WithLines(inf.Find("defaultinstall.nt"));
    const InfSection* chosen = ChosenInstallSection(inf);
    if (chosen == nullptr) {
        for (const InfSection& section : inf.sections) {
            const std::string name = LowerAscii(section.name);
            if (name.rfind("defaultinstall.nt", 0) == 0 && !IsSubsection(name) &&
                name != "defaultinstall.nt" && name != "defaultinstall.ntx86") {
                check.Add(Rule::NoInstallSection, section.header,
                          "[" + section.name +
                              "] is not run on 32-bit Windows, where the engine looks for "
                              "[DefaultInstall.NTx86], [DefaultInstall.NT] or [DefaultInstall] "
                              "only: it installs nothing");
                return nullptr;
            }
        }
        check.Add(Rule::NoInstallSection, InfOffset{0},
                  "no [DefaultInstall] section: the shell's \"install\" verb runs that section, "
                  "so nothing would be installed");
        return nullptr;
    }
    for (const InfSection* ignored : {plain, nt}) {
        if (ignored != nullptr && ignored != chosen) {
            check.Add(Rule::IgnoredInstallSection, ignored->header,
                      "[" + ignored->name + "] is ignored: the engine runs [" + chosen->name +
                          "] instead");
        }
    }
    return chosen;
}

// SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS: a program, not a driver.
constexpr long kProgramService = 0x30;

// The program a service's binary path starts: up to its closing quote, or
// to its first space when the path that far names an .exe or .sys.
std::string ServiceProgram(const std::string& binary)
{
    if (!binary.empty() && binary[0] == '"') {
        const std::size_t end = binary.find('"', 1);
        return binary.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    for (std::size_t space = binary.find(' '); space != std::string::npos;
         space = binary.find(' ', space + 1)) {
        const std::string program = LowerAscii(binary.substr(0, space));
        if (program.size() > 4 && (program.compare(program.size() - 4, 4, ".exe") == 0 ||
                                   program.compare(program.size() - 4, 4, ".sys") == 0)) {
            return binary.substr(0, space);
        }
    }
    return binary;
}

}  // namespace

// Windows 10 1903 and later take an INF for a primitive driver when its
// [Version] names Class, ClassGuid and Provider, it has no [Manufacturer] and
// its install sections are all architecture-decorated.
void CheckDriverRoute(CheckContext& check)
{
    const Inf& inf = check.inf;
    const InfSection* version = inf.Find("Version");
    const InfSection* install = inf.Find("DefaultInstall.NTx86");
    if (version == nullptr || install == nullptr || inf.Find("Manufacturer") != nullptr ||
        inf.Find("DefaultInstall") != nullptr || inf.Find("DefaultInstall.NT") != nullptr) {
        return;
    }
    std::size_t named = 0;
    for (const char* key : {"class", "classguid", "provider"}) {
        const auto given = [&](const InfLine& line) {
            return line.explicitKey && line.valueCount > 0 &&
                   LowerAscii(check.Value(inf.Key(line))) == key &&
                   !check.Value(inf.Value(line, 0)).empty();
        };
        named += std::any_of(version->lines.begin(), version->lines.end(), given) ? 1U : 0U;
    }
    if (named == 3) {
        check.Add(Rule::DriverRoute, install->header,
                  "Windows 10 1903 and later hand this INF to the driver installer, not to the "
                  "engine: Class, ClassGuid and Provider in [Version], no [Manufacturer] and only "
                  "architecture-decorated install sections make it a primitive driver, which "
                  "installs only as a signed driver package; " +
                      Quoted("[" + install->name + "]") + " is not run as written");
    }
}

bool CheckInfAccepted(CheckContext& check)
{
    const Inf& inf = check.inf;
    const InfOffset at = inf.errorAt;
    const std::string signatureNeeded =
        ": the INF engine refuses the file and installs nothing, without a message "
        "(Signature=\"$Windows NT$\" or \"$Chicago$\" is needed)";
    switch (inf.error) {
    case InfError::TextBeforeFirstSection:
        check.Add(
            Rule::InfRefused, at,
            std::string("text before the first section, and no [Strings] section") + kRefused);
        return false;
    case InfError::UnclosedSectionName:
        check.Add(Rule::InfRefused, at, std::string("section name without its ']'") + kRefused);
        return false;
    case InfError::SectionNameTooLong:
        check.Add(Rule::InfRefused, at,
                  "section name over " + std::to_string(kLongestInfSectionName) + " characters" +
                      kRefused);
        return false;
    case InfError::NoVersionSection:
        check.Add(Rule::NoSignature, at, "no [Version] section" + signatureNeeded);
        break;
    case InfError::NoSignature:
        check.Add(Rule::NoSignature, at, "no Signature in [Version]" + signatureNeeded);
        break;
    case InfError::UnknownSignature:
        check.Add(
            Rule::NoSignature, at,
            "the signature " + Quoted(inf.signature) +
                (inf.signature.find('%') != std::string::npos ? " is not substituted: write it out"
                 : LowerAscii(inf.signature) == "$windows 95$"
                     ? " is one Wine's engine takes and Windows' does not"
                     : " is not one the engine knows") +
                signatureNeeded);
        break;
    case InfError::None:
        break;
    }
    if (Somewhere(inf.textBeforeFirstSection)) {
        check.Add(Rule::TextBeforeSection, inf.textBeforeFirstSection,
                  "text before the first section: the engine reads the file only because it has "
                  "a [Strings] section, and ignores the text (Windows and Wine alike)");
    }
    return true;
}

void CheckServices(CheckContext& check)
{
    const std::optional<SectionPlan>& install = check.plan.install;
    if (install.has_value() && install->serviceRefused.has_value()) {
        const RefusedService& refused = *install->serviceRefused;
        check.Add(Rule::ServiceRefused, refused.at,
                  "the engine refuses the service " + Quoted(refused.name) + ": " + refused.why +
                      "; it adds no service and runs no later AddService or DelService line");
    }
    // On 64-bit Windows, whichever Windows the check is for.
    const InstallPlan onWindows64 =
        check.plan.windows == Windows::Bits64 ? check.plan : MakePlan(check.inf, Windows::Bits64);
    if (!onWindows64.install.has_value()) {
        return;
    }
    for (const PlannedService& service : onWindows64.install->services) {
        const std::string binary = ServiceProgram(service.binary);
        const std::string landing = FileLocation(binary, Windows::Bits64);
        if (landing == binary) {
            continue;
        }
        for (const PlannedFile& file : onWindows64.install->files) {
            if (check.inf.Folded(file.destination) != check.inf.Folded(landing)) {
                continue;
            }
            const std::string copied = "on 64-bit Windows the engine copies " +
                                       Quoted(file.source) + " to " + Quoted(file.destination);
            if ((service.type & kProgramService) != 0) {
                check.Add(Rule::ServiceBinaryRedirected, service.at,
                          copied + ", but the 64-bit service manager starts the service " +
                              Quoted(service.name) + " from " + Quoted(binary) +
                              " and does not find it there: copy it to and name it by %16425%");
            } else {
                check.Add(Rule::DriverRedirected, service.at,
                          copied + ", but the kernel loads the driver " + Quoted(service.name) +
                              " from " + Quoted(binary) +
                              " (nor could it load a 32-bit driver): it installs on 32-bit "
                              "Windows alone");
            }
            break;
        }
    }
}

void CheckInstallSection(CheckContext& check)
{
    const InfSection* install = InstallSection(check);
    if (install == nullptr) {
        return;
    }
    const Inf& inf = check.inf;
    CopyChecks copies(check);
    // A section named twice is installed twice, the same way: checked once.
    std::vector<std::string> named;
    for (const auto& [directive, lineAt] : DirectiveLines(inf, *install)) {
        const InfLine& line = *lineAt;
        for (std::size_t i = 0; i < line.valueCount; ++i) {
            const InfField& field = inf.Value(line, i);
            const std::string name = check.Value(field);
            const std::string once = directive + "=" + inf.Folded(name);
            if (name.empty() || std::find(named.begin(), named.end(), once) != named.end()) {
                continue;
            }
            named.push_back(once);
            if (directive == "copyfiles" && name[0] == '@') {
                copies.Check(nullptr, field);
                continue;
            }
            const InfSection* section = inf.Find(name);
            if (section == nullptr) {
                check.Add(Rule::MissingSection, field.begin,
                          "[" + name + "] does not exist: the engine skips this " +
                              std::string(inf.Text(inf.Key(line))) + " without a word");
            } else if (directive == "copyfiles") {
                copies.Check(section, field);
            } else if (directive == "addreg" || directive == "delreg") {
                CheckRegistry(check, *section, directive == "addreg");
            }
        }
    }
}
