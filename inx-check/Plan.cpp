#include "inx-check/Plan.h"

#include "inx-check/Leftovers.h"
#include "inx-check/PlanFields.h"
#include "inx-check/RegistryPlan.h"

#include <algorithm>
#include <iterator>

namespace {

// DelService's SPSVCINST_DELETEEVENTLOGENTRY.
constexpr long kDeleteEventLogEntry = 0x4;
// SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, and SERVICE_AUTO_START.
constexpr long kProgramService = 0x30;
constexpr long kAutoStart = 2;

// `file` in `folder`, with one '\' between them, as the engine joins them.
std::string InFolder(const std::string& folder, const std::string& file)
{
    return folder.empty() || folder.back() == '\\' ? folder + file : folder + "\\" + file;
}

// The folder that [DestinationDirs] gives the section `name` (DefaultDestDir
// for an empty name or one it does not list), or the system folder, as
// `windows` redirects it: where the engine's files land.
std::string DestinationFolder(const Inf& inf, Windows windows, const std::string& name)
{
    const InfLine* line = DestinationLine(inf, name);
    long dirid = 0;
    if (line == nullptr || !IntField(HandedOut(inf, windows, *line, 0), &dirid)) {
        return FileLocation(kSystemFolder, windows);
    }
    const std::string sub = HandedOut(inf, windows, *line, 1);
    const std::string folder = ResolvedDirectory(dirid, windows);
    return FileLocation(sub.empty() ? folder : InFolder(folder, sub), windows);
}

// A service's event source: in the System log unless another is named, under
// the service's name unless another is given.
std::string EventLogKey(const std::string& log, const std::string& source,
                        const std::string& service)
{
    return kServicesKey + std::string("EventLog\\") + (log.empty() ? "System" : log) + "\\" +
           (source.empty() ? service : source);
}

// The first line of `section` with the key `name` (lower case), as the
// engine finds it; nullptr when there is none.
const InfLine* KeyedLine(const Inf& inf, const InfSection& section, const char* name)
{
    for (const InfLine& line : section.lines) {
        if (line.HasKey() && LowerAscii(inf.Text(inf.Key(line))) == name) {
            return &line;
        }
    }
    return nullptr;
}

class Planner {
public:
    Planner(const Inf& inf, Windows windows, SectionPlan* plan)
        : inf_(inf), windows_(windows), plan_(*plan), registry_(*inf.page, windows, plan)
    {
    }

    void Files(const InfSection& install)
    {
        ForEachNamed(
            inf_, install, "copyfiles", [this](const std::string& name, const InfField& field) {
                if (name[0] == '@') {
                    const std::string file = name.substr(1);
                    const std::string folder = DestinationFolder(inf_, windows_, "");
                    plan_.files.push_back(
                        {PackageSourcePath(inf_, file), InFolder(folder, file), field.begin});
                    return;
                }
                ForEachFileLine(name, [this](const InfLine& line, const std::string& folder) {
                    const std::string target = HandedOut(inf_, windows_, line, 0);
                    const std::string source = HandedOut(inf_, windows_, line, 1);
                    if (!target.empty()) {
                        plan_.files.push_back(
                            {PackageSourcePath(inf_, source.empty() ? target : source),
                             InFolder(folder, target), inf_.Value(line, 0).begin});
                    }
                });
            });
        ForEachNamed(inf_, install, "delfiles", [this](const std::string& name, const InfField&) {
            ForEachFileLine(name, [this](const InfLine& line, const std::string& folder) {
                const std::string file = HandedOut(inf_, windows_, line, 0);
                if (!file.empty()) {
                    plan_.deletes.push_back({InFolder(folder, file), inf_.Value(line, 0).begin});
                }
            });
        });
        ForEachNamed(inf_, install, "renfiles", [this](const std::string& name, const InfField&) {
            ForEachFileLine(name, [this](const InfLine& line, const std::string& folder) {
                const std::string to = HandedOut(inf_, windows_, line, 0);
                const std::string from = HandedOut(inf_, windows_, line, 1);
                if (!to.empty() && !from.empty()) {
                    plan_.renames.push_back(
                        {InFolder(folder, from), InFolder(folder, to), inf_.Value(line, 0).begin});
                }
            });
        });
    }

    // DelReg, then AddReg, as the engine runs them; HKR is `ownKey` (a service's).
    void Registry(const InfSection& owner, const std::string& ownKey)
    {
        for (const bool deleting : {true, false}) {
            ForEachNamed(inf_, owner, deleting ? "delreg" : "addreg",
                         [&](const std::string& name, const InfField&) {
                             const InfSection* section = inf_.Find(name);
                             if (section != nullptr) {
                                 registry_.Plan(ReadRegistryLines(inf_, windows_, *section, ownKey),
                                                deleting);
                             }
                         });
        }
    }

    // The AddService lines, then the DelService lines. A service the engine
    // refuses ends both: no later line of either is run.
    void Services(const std::string& installName)
    {
        const InfSection* services = inf_.Find(installName + ".Services");
        if (services == nullptr) {
            return;
        }
        for (const InfLine& line : services->lines) {
            if (DirectiveOf(inf_, line) != "addservice" || line.valueCount < 3) {
                continue;  // the engine skips a line without a name or a section
            }
            const std::string name = HandedOut(inf_, windows_, line, 0);
            const std::string sectionName = HandedOut(inf_, windows_, line, 2);
            const InfSection* section = inf_.Find(sectionName);
            PlannedService service{name, kServicesKey + name, "", inf_.Value(line, 0).begin};
            std::string refused = "names [" + sectionName + "], which does not exist";
            if (name.empty()) {
                refused = "has no name";
            } else if (section != nullptr) {
                refused = ServiceSectionLacks(*section, &service.binary);
            }
            if (section == nullptr || !refused.empty()) {
                plan_.serviceRefused = RefusedService{name, refused, inf_.Value(line, 0).begin};
                return;
            }
            plan_.services.push_back(service);
            Registry(*section, service.key);
            EventLog(line, name);
        }
        for (const InfLine& line : services->lines) {
            if (DirectiveOf(inf_, line) != "delservice" || line.valueCount == 0) {
                continue;
            }
            const std::string name = HandedOut(inf_, windows_, line, 0);
            if (name.empty()) {
                return;  // the engine cannot open a service without a name, and stops
            }
            plan_.serviceDeletes.push_back({name, inf_.Value(line, 0).begin});
            long flags = 0;
            if (IntField(HandedOut(inf_, windows_, line, 1), &flags) &&
                (flags & kDeleteEventLogEntry) != 0) {
                plan_.registryDeletes.push_back(
                    {EventLogKey(HandedOut(inf_, windows_, line, 2),
                                 HandedOut(inf_, windows_, line, 3), name),
                     std::nullopt, std::nullopt, inf_.Value(line, 0).begin});
            }
        }
    }

    void Unmodelled(const InfSection& install)
    {
        static const char* const known[] = {
            "updateinis",          "updateinifields",      "ini2reg", "logconf", "registerdlls",
            "unregisterdlls",      "profileitems",         "bitreg",  "copyinf", "winefakedlls",
            "runpresetupcommands", "runpostsetupcommands", "include"};
        for (const InfLine& line : install.lines) {
            const std::string lowered = DirectiveOf(inf_, line);
            if (std::find(std::begin(known), std::end(known), lowered) == std::end(known)) {
                continue;
            }
            NotModelled unmodelled{
                SubstituteStrings(inf_, inf_.Text(inf_.Key(line))), inf_.Key(line).begin, {}};
            if (lowered == "updateinis") {
                // The INI files it writes: a name alone is in the Windows folder.
                for (std::size_t i = 0; i < line.valueCount; ++i) {
                    const InfSection* section = inf_.Find(HandedOut(inf_, windows_, line, i));
                    for (std::size_t l = 0; section != nullptr && l < section->lines.size(); ++l) {
                        const std::string file = HandedOut(inf_, windows_, section->lines[l], 0);
                        if (!file.empty()) {
                            const bool alone =
                                FindCharacter(*inf_.page, file, '\\') == std::string::npos;
                            unmodelled.touches.push_back(FileLocation(
                                alone ? InFolder(DirectoryPath(10, windows_), file) : file,
                                windows_));
                        }
                    }
                }
            }
            plan_.notModelled.push_back(unmodelled);
        }
    }

private:
    // Each line of the file section `name`, with the folder [DestinationDirs] gives it.
    template <typename Visit>
    void ForEachFileLine(const std::string& name, Visit visit) const
    {
        const InfSection* section = inf_.Find(name);
        const std::string folder = DestinationFolder(inf_, windows_, name);
        for (std::size_t i = 0; section != nullptr && i < section->lines.size(); ++i) {
            visit(section->lines[i], folder);
        }
    }

    // What a service section lacks that the engine needs (a number for each of
    // ServiceType, StartType and ErrorControl, and a ServiceBinary line); ""
    // when it lacks nothing, with the binary in `binary`.
    std::string ServiceSectionLacks(const InfSection& section, std::string* binary) const
    {
        long numbers[3] = {};
        const char* const needed[] = {"servicetype", "starttype", "errorcontrol"};
        for (std::size_t i = 0; i < std::size(needed); ++i) {
            const InfLine* line = KeyedLine(inf_, section, needed[i]);
            if (line == nullptr ||
                !IntField(HandedOut(inf_, windows_, *line, 0), &numbers[i], true)) {
                return "[" + section.name + "] has no number for " + NeededName(needed[i]);
            }
        }
        // CreateService starts only a driver at boot or with the system.
        if ((numbers[0] & kProgramService) != 0 && numbers[1] < kAutoStart) {
            return "[" + section.name + "] starts a program's service (ServiceType " +
                   std::to_string(numbers[0]) + ") with StartType " + std::to_string(numbers[1]) +
                   ", which only a driver may have";
        }
        const InfLine* line = KeyedLine(inf_, section, "servicebinary");
        if (line == nullptr || line->valueCount == 0) {
            return "[" + section.name + "] has no ServiceBinary";
        }
        *binary = HandedOut(inf_, windows_, *line, 0);
        return "";
    }

    static std::string NeededName(const std::string& lowered)
    {
        return lowered == "servicetype" ? "ServiceType"
               : lowered == "starttype" ? "StartType"
                                        : "ErrorControl";
    }

    // An AddService line's event-log section (its fourth field): Windows
    // makes the event source's key and runs the section's AddReg and DelReg
    // on it; Wine 8 does neither.
    void EventLog(const InfLine& line, const std::string& service)
    {
        const InfSection* section = inf_.Find(HandedOut(inf_, windows_, line, 3));
        if (section == nullptr) {
            return;
        }
        const std::string key = EventLogKey(HandedOut(inf_, windows_, line, 4),
                                            HandedOut(inf_, windows_, line, 5), service);
        WineSkip skip =
            StartSkip(plan_, "the event log [" + section->name + "] of the service " + service,
                      inf_.Value(line, 3).begin);
        registry_.MakeKey(key, inf_.Value(line, 3).begin);
        Registry(*section, key);
        plan_.wineSkips.push_back(EndSkip(plan_, skip));
    }

    const Inf& inf_;
    const Windows windows_;
    SectionPlan& plan_;
    RegistryPlanner registry_;
};

}  // namespace

WineSkip StartSkip(const SectionPlan& plan, const std::string& what, InfOffset at)
{
    WineSkip skip{what, at, {}, {}, {}, {}};
    skip.files.from = plan.files.size();
    skip.renames.from = plan.renames.size();
    skip.registry.from = plan.registry.size();
    skip.registryDeletes.from = plan.registryDeletes.size();
    return skip;
}

WineSkip EndSkip(const SectionPlan& plan, WineSkip skip)
{
    skip.files.to = plan.files.size();
    skip.renames.to = plan.renames.size();
    skip.registry.to = plan.registry.size();
    skip.registryDeletes.to = plan.registryDeletes.size();
    return skip;
}

namespace {

std::optional<SectionPlan> PlanSection(const Inf& inf, Windows windows, const std::string& name)
{
    const InfSection* section = ChosenSection(inf, name);
    if (section == nullptr) {
        return std::nullopt;
    }
    SectionPlan plan;
    plan.section = section->name;
    plan.header = section->header;
    Planner planner(inf, windows, &plan);
    for (const InfSection* run : SectionsRun(inf, *section)) {
        WineSkip skip = StartSkip(plan, "[" + run->name + "] for Needs=", run->header);
        planner.Files(*run);
        planner.Registry(*run, "");
        if (run != section) {
            plan.wineSkips.push_back(EndSkip(plan, skip));
        }
    }
    planner.Services(section->name);
    planner.Unmodelled(*section);
    return plan;
}

}  // namespace

std::vector<const InfSection*> SectionsRun(const Inf& inf, const InfSection& install)
{
    std::vector<const InfSection*> run{&install};
    ForEachNamed(inf, install, "needs", [&](const std::string& name, const InfField&) {
        const InfSection* needed = inf.Find(name);
        if (needed != nullptr && std::find(run.begin(), run.end(), needed) == run.end()) {
            run.push_back(needed);
        }
    });
    return run;
}

bool UnderKeys(const Inf& inf, const std::string& key, const NameSet& keys, bool itself)
{
    const std::string folded = inf.Folded(key);
    for (std::size_t at = FindCharacter(*inf.page, folded, '\\'); at != std::string::npos;
         at = FindCharacter(*inf.page, folded, '\\', at + 1)) {
        if (keys.count(folded.substr(0, at)) != 0) {
            return true;
        }
    }
    return itself && keys.count(folded) != 0;
}

const InfLine* DestinationLine(const Inf& inf, const std::string& name)
{
    const InfSection* destinations = inf.Find("destinationdirs");
    const InfLine* fallback = nullptr;
    for (std::size_t i = 0; destinations != nullptr && i < destinations->lines.size(); ++i) {
        const InfLine& line = destinations->lines[i];
        if (!line.HasKey()) {
            continue;
        }
        const std::string key = inf.Folded(SubstituteStrings(inf, inf.Text(inf.Key(line))));
        if (!name.empty() && key == inf.Folded(name)) {
            return &line;
        }
        if (key == "defaultdestdir" && fallback == nullptr) {
            fallback = &line;
        }
    }
    return fallback;
}

std::string PackageSourcePath(const Inf& inf, const std::string& name)
{
    const InfSection* files = inf.Find("sourcedisksfiles");
    const InfSection* disks = inf.Find("sourcedisksnames");
    if (files == nullptr) {
        return name;
    }
    const auto value = [&inf](const InfLine& line, std::size_t i) {
        return SubstituteStrings(inf, inf.Text(inf.Value(line, i)));
    };
    std::string path;
    for (const InfLine& line : files->lines) {
        if (!line.HasKey() ||
            inf.Folded(SubstituteStrings(inf, inf.Text(inf.Key(line)))) != inf.Folded(name)) {
            continue;
        }
        // The engine reads the disk as a number and finds the first
        // [SourceDisksNames] line whose key is that number written out.
        long number = 0;
        const std::string disk =
            line.valueCount == 0 ? ""
                                 : std::to_string(IntField(value(line, 0), &number) ? number : 0);
        for (std::size_t i = 0; disks != nullptr && i < disks->lines.size(); ++i) {
            const InfLine& diskLine = disks->lines[i];
            if (diskLine.HasKey() && SubstituteStrings(inf, inf.Text(inf.Key(diskLine))) == disk) {
                path = diskLine.valueCount > 3 ? value(diskLine, 3) : "";
                break;
            }
        }
        if (line.valueCount > 1) {
            path += (path.empty() ? "" : "\\") + value(line, 1);
        }
        break;
    }
    while (!path.empty() && path[0] == '\\') {
        path.erase(0, 1);
    }
    while (!path.empty() && path[LastCharacter(*inf.page, path)] == '\\') {
        path.pop_back();
    }
    return path.empty() ? name : path + "\\" + name;
}

std::string RegistryTypeName(unsigned long type)
{
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    return type < std::size(names) ? names[type] : "type " + std::to_string(type);
}

bool SectionPlan::WineSkips(ItemRange WineSkip::*range, std::size_t index) const
{
    return std::any_of(wineSkips.begin(), wineSkips.end(),
                       [range, index](const WineSkip& skip) { return (skip.*range).Holds(index); });
}

bool SectionPlan::ChangesAnything() const
{
    return !files.empty() || !deletes.empty() || !renames.empty() || !registry.empty() ||
           !keys.empty() || !registryDeletes.empty() || !services.empty() ||
           !serviceDeletes.empty();
}

const InfSection* ChosenSection(const Inf& inf, const std::string& name)
{
    for (const char* decoration : {".NTx86", ".NT"}) {
        const InfSection* section = inf.Find(name + decoration);
        if (section != nullptr && !section->lines.empty()) {
            return section;
        }
    }
    return inf.Find(name);
}

InstallPlan MakePlan(const Inf& inf, Windows windows)
{
    InstallPlan plan;
    plan.windows = windows;
    plan.install = PlanSection(inf, windows, "DefaultInstall");
    plan.uninstall = PlanSection(inf, windows, "DefaultUninstall");
    if (!plan.install.has_value()) {
        return plan;
    }
    plan.leftBehind =
        LeftBehind(inf, *plan.install, plan.uninstall.has_value() ? &*plan.uninstall : nullptr);
    for (const PlannedValue& value : plan.install->registry) {
        const std::string key = inf.Folded(value.key);
        // The list is read in both registry views on 64-bit Windows.
        const std::string listName = std::string("\\") + kUninstallList;
        const std::size_t list = key.find(listName);
        const auto endsWith = [&key, list](const std::string& end) {
            return list >= end.size() && key.compare(list - end.size(), end.size(), end) == 0;
        };
        const bool underSoftware = list != std::string::npos &&
                                   (endsWith("\\software") || endsWith("\\software\\wow6432node"));
        if (underSoftware && key.find('\\', list + listName.size()) == std::string::npos &&
            inf.Folded(value.name) == "uninstallstring" && !value.strings.empty() &&
            (value.type == kRegSz || value.type == kRegExpandSz)) {
            plan.uninstallString = value.strings.front();
        }
    }
    return plan;
}
