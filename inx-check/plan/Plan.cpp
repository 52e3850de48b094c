#include "inx-check/plan/Plan.h"

#include "inx-check/plan/InstallReading.h"
#include "inx-check/plan/Leftovers.h"
#include "inx-check/plan/RegistryPlan.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace {

// DelService's SPSVCINST_DELETEEVENTLOGENTRY.
constexpr long kDeleteEventLogEntry = 0x4;
// SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, and SERVICE_AUTO_START.
constexpr long kProgramService = 0x30;
constexpr long kAutoStart = 2;

// What a service section lacks that the engine needs (a number for each of
// ServiceType, StartType and ErrorControl, and a ServiceBinary line); ""
// when it lacks nothing.
std::string ServiceSectionLacks(const ServiceRequest& service)
{
    const std::pair<const char*, const std::optional<long>*> numbers[] = {
        {"ServiceType", &service.serviceType},
        {"StartType", &service.startType},
        {"ErrorControl", &service.errorControl}};
    for (const auto& [name, number] : numbers) {
        if (!number->has_value()) {
            return "[" + service.section + "] has no number for " + name;
        }
    }
    // CreateService starts only a driver at boot or with the system.
    if ((*service.serviceType & kProgramService) != 0 && *service.startType < kAutoStart) {
        return "[" + service.section + "] starts a program's service (ServiceType " +
               std::to_string(*service.serviceType) + ") with StartType " +
               std::to_string(*service.startType) + ", which only a driver may have";
    }
    return service.binary.has_value() ? "" : "[" + service.section + "] has no ServiceBinary";
}

class Planner {
public:
    Planner(const CodePage& page, Windows windows, SectionPlan* plan)
        : plan_(*plan), registry_(page, windows, plan)
    {
    }

    // A section run; Wine 8 runs none that Needs= names.
    void Run(const RunRequests& run, bool needed)
    {
        if (needed) {
            SkipUnderWine("[" + run.section + "] for Needs=", run.header);
        }
        Append(&plan_.files, run.copies);
        Append(&plan_.deletes, run.deletes);
        Append(&plan_.renames, run.renames);
        Registry(run.registry);
        RunUnderWine();
    }

    // The AddService lines, then the DelService lines. A service the engine
    // refuses ends both: no later line of either is run.
    void Services(const SectionRequests& section)
    {
        for (const ServiceRequest& service : section.services) {
            std::string refused = "names [" + service.sectionNamed + "], which does not exist";
            if (service.name.empty()) {
                refused = "has no name";
            } else if (service.sectionExists) {
                refused = ServiceSectionLacks(service);
            }
            if (!service.sectionExists || !refused.empty()) {
                plan_.serviceRefused = RefusedService{service.name, refused, service.at};
                return;
            }
            plan_.services.push_back(
                {service.name, service.key, *service.binary, service.at, *service.serviceType});
            Registry(service.registry);
            if (service.eventLog.has_value()) {
                EventLog(*service.eventLog, service.name);
            }
        }
        for (const ServiceDeleteRequest& removal : section.serviceDeletes) {
            if (removal.name.empty()) {
                return;  // the engine cannot open a service without a name, and stops
            }
            // Wine 8 goes on from a section's first DelService line to its
            // next AddService line, so runs no other DelService line.
            if (&removal != &section.serviceDeletes.front()) {
                SkipUnderWine("the DelService line for " + removal.name, removal.at);
            }
            plan_.serviceDeletes.push_back({removal.name, removal.at, skipping_});
            if ((removal.flags & kDeleteEventLogEntry) != 0) {
                // Wine 8 never deletes an event source.
                SkipUnderWine("the deletion of the event source of the service " + removal.name,
                              removal.at);
                plan_.registryDeletes.push_back(
                    {removal.eventSourceKey, std::nullopt, std::nullopt, removal.at, true});
            }
            RunUnderWine();
        }
    }

private:
    // DelReg, then AddReg, as the engine runs them.
    void Registry(const RegistryRequests& requests)
    {
        registry_.Plan(requests.deletes, true);
        registry_.Plan(requests.adds, false);
    }

    // Windows makes the event source's key and runs the section's AddReg and
    // DelReg on it; Wine 8 does neither.
    void EventLog(const EventLogRequest& log, const std::string& service)
    {
        SkipUnderWine("the event log [" + log.section + "] of the service " + service, log.at);
        registry_.MakeKey(log.key, log.at);
        Registry(log.registry);
        RunUnderWine();
    }

    // What follows, up to RunUnderWine, is a part Wine 8 does not run.
    void SkipUnderWine(const std::string& what, InfOffset at)
    {
        plan_.wineSkips.push_back({what, at});
        skipping_ = true;
        registry_.SkipUnderWine(true);
    }

    void RunUnderWine()
    {
        skipping_ = false;
        registry_.SkipUnderWine(false);
    }

    template <typename Item>
    void Append(std::vector<Item>* items, const std::vector<Item>& made)
    {
        for (Item item : made) {
            item.wineSkips = skipping_;
            items->push_back(std::move(item));
        }
    }

    SectionPlan& plan_;
    RegistryPlanner registry_;
    bool skipping_ = false;
};

std::optional<SectionPlan> PlanSection(const std::optional<SectionRequests>& read,
                                       const CodePage& page, Windows windows)
{
    if (!read.has_value()) {
        return std::nullopt;
    }
    SectionPlan plan;
    plan.section = read->section;
    plan.header = read->header;
    Planner planner(page, windows, &plan);
    for (const RunRequests& run : read->runs) {
        planner.Run(run, &run != &read->runs.front());
    }
    planner.Services(*read);
    plan.notModelled = read->notModelled;
    return plan;
}

// The UninstallString value the installation registers in the list of
// installed programs (read in both registry views on 64-bit Windows), if any.
const PlannedValue* RegisteredUninstallString(const CodePage& page, const SectionPlan& install)
{
    const PlannedValue* registered = nullptr;
    for (const PlannedValue& value : install.registry) {
        const std::string key = FoldedName(page, value.key);
        const std::string listName = std::string("\\") + kUninstallList;
        const std::size_t list = key.find(listName);
        const auto endsWith = [&key, list](const std::string& end) {
            return list >= end.size() && key.compare(list - end.size(), end.size(), end) == 0;
        };
        const bool underSoftware = list != std::string::npos &&
                                   (endsWith("\\software") || endsWith("\\software\\wow6432node"));
        if (underSoftware && key.find('\\', list + listName.size()) == std::string::npos &&
            FoldedName(page, value.name) == "uninstallstring" && !value.strings.empty() &&
            (value.type == kRegSz || value.type == kRegExpandSz)) {
            registered = &value;
        }
    }
    return registered;
}

// The next word of `text` from `at` (spaces before it skipped), up to a
// space or the end; quoted, up to the closing quote.
std::string NextWord(const std::string& text, std::size_t* at)
{
    while (*at < text.size() && text[*at] == ' ') {
        ++*at;
    }
    const bool quoted = *at < text.size() && text[*at] == '"';
    const std::size_t start = *at + (quoted ? 1 : 0);
    std::size_t end = text.find(quoted ? '"' : ' ', start);
    end = end == std::string::npos ? text.size() : end;
    *at = end + (quoted && end < text.size() ? 1 : 0);
    return text.substr(start, end - start);
}

// The section of an INF that `command` has the 64-bit engine run when a
// 64-bit program starts it: System32's rundll32.exe (named alone, or by
// its full path) on setupapi's InstallHinfSection, syssetup's
// SetupInfObjectInstallAction or advpack's LaunchINFSection[Ex]. None for
// any other command, SysWOW64's rundll32.exe among them.
std::optional<std::string> NativeEngineSection(const std::string& command)
{
    std::size_t at = 0;
    std::string program = LowerAscii(NextWord(command, &at));
    if (program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0) {
        program.resize(program.size() - 4);
    }
    bool native = program == "rundll32";
    for (const char* folder : {"c:\\windows", "%systemroot%", "%windir%"}) {
        native = native || program == std::string(folder) + "\\system32\\rundll32";
    }
    const std::string entry = LowerAscii(NextWord(command, &at));
    if (!native) {
        return std::nullopt;
    }
    for (const char* engine :
         {"setupapi.dll,installhinfsection", "setupapi,installhinfsection",
          "syssetup.dll,setupinfobjectinstallaction", "syssetup,setupinfobjectinstallaction"}) {
        if (entry == engine) {
            const std::string section = NextWord(command, &at);
            return section.empty() ? std::nullopt : std::optional<std::string>(section);
        }
    }
    for (const char* engine : {"advpack.dll,launchinfsection", "advpack,launchinfsection",
                               "advpack.dll,launchinfsectionex", "advpack,launchinfsectionex"}) {
        if (entry == engine) {
            // INF,SECTION,...
            const std::string rest = command.substr(std::min(at, command.size()));
            const std::size_t comma = rest.find(',');
            if (comma == std::string::npos) {
                return std::nullopt;
            }
            std::string section = rest.substr(comma + 1, rest.find(',', comma + 1) - comma - 1);
            while (!section.empty() && section.front() == ' ') {
                section.erase(0, 1);
            }
            return section.empty() ? std::nullopt : std::optional<std::string>(section);
        }
    }
    return std::nullopt;
}

// What uninstalling leaves under Wine 8, when that is not what it leaves on Windows.
std::optional<Leftovers> WineLeftBehind(const CodePage& page, const SectionPlan& install,
                                        const std::optional<SectionPlan>& uninstall,
                                        const Leftovers& onWindows)
{
    const SectionPlan wineInstall = WineRun(install);
    const std::optional<SectionPlan> wineUninstall =
        uninstall.has_value() ? std::optional<SectionPlan>(WineRun(*uninstall)) : std::nullopt;
    Leftovers wine = LeftBehind(page, wineInstall, wineUninstall ? &*wineUninstall : nullptr);
    return SameLeftovers(wine, onWindows) ? std::nullopt : std::optional<Leftovers>(wine);
}

}  // namespace

InstallPlan MakePlan(const Inf& inf, Windows windows)
{
    const std::optional<SectionRequests> install = ReadSection(inf, windows, "DefaultInstall");
    const std::optional<SectionRequests> uninstall = ReadSection(inf, windows, "DefaultUninstall");
    const CodePage& page = *inf.page;
    InstallPlan plan;
    plan.windows = windows;
    plan.install = PlanSection(install, page, windows);
    plan.uninstall = PlanSection(uninstall, page, windows);
    if (!plan.install.has_value()) {
        return plan;
    }
    plan.leftBehind =
        LeftBehind(page, *plan.install, plan.uninstall.has_value() ? &*plan.uninstall : nullptr);
    plan.wineLeftBehind = WineLeftBehind(page, *plan.install, plan.uninstall, plan.leftBehind);
    const PlannedValue* registered = RegisteredUninstallString(page, *plan.install);
    if (registered == nullptr) {
        return plan;
    }
    plan.uninstallString = registered->strings.front();
    const std::optional<std::string> section = NativeEngineSection(plan.uninstallString);
    if (windows == Windows::Bits64 && section.has_value()) {
        NativeUninstall native;
        native.command = plan.uninstallString;
        native.section = *section;
        native.at = registered->at;
        native.plan = PlanSection(ReadSection(inf, Windows::Bits64Native, *section), page,
                                  Windows::Bits64Native);
        native.leftBehind =
            LeftBehind(page, *plan.install, native.plan.has_value() ? &*native.plan : nullptr);
        native.wineLeftBehind = WineLeftBehind(page, *plan.install, native.plan, native.leftBehind);
        const std::optional<SectionPlan> x86 =
            PlanSection(ReadSection(inf, windows, *section), page, windows);
        native.leftBy32BitEngine = LeftBehind(page, *plan.install, x86 ? &*x86 : nullptr);
        plan.nativeUninstall = std::move(native);
    }
    return plan;
}
