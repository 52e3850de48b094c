#include "inx-check/plan/InstallReading.h"

#include "inx-check/plan/PlanFields.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

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

std::string RootName(const std::string& written)
{
    const std::string root = LowerAscii(written);
    return root == "hklm"   ? "HKEY_LOCAL_MACHINE"
           : root == "hkcu" ? "HKEY_CURRENT_USER"
           : root == "hkcr" ? "HKEY_CLASSES_ROOT"
           : root == "hku"  ? "HKEY_USERS"
                            : "";
}

// A subkey as the registry reads it: a trailing '\' is none, and neither is
// an empty name between two ("a\\b" is "a\b", seen under Wine).
std::string RegistryPath(const CodePage& page, std::string subkey)
{
    while (!subkey.empty() && subkey[LastCharacter(page, subkey)] == '\\') {
        subkey.pop_back();
    }
    for (std::size_t at = FindCharacter(page, subkey, '\\'); at != std::string::npos;
         at = FindCharacter(page, subkey, '\\', at + 1)) {
        while (at + 1 < subkey.size() && subkey[at + 1] == '\\') {
            subkey.erase(at + 1, 1);
        }
    }
    return subkey;
}

// The first line whose key, as handed out, `matches`: of the x86 engine's
// own section [NAME.x86], or else of [NAME]. Windows' engine looks in its
// platform's section first (on 64-bit Windows too, as install.exe's engine
// is the 32-bit one); Wine 8's reads [NAME] alone. [NAME.amd64],
// [NAME.arm64] and [NAME.ia64] are other engines' and never read here.
template <typename Matches>
const InfLine* SourceLine(const Inf& inf, const std::string& name, SourceSections sections,
                          Matches matches)
{
    std::vector<std::string> names{name};
    if (sections == SourceSections::PlatformFirst) {
        names.insert(names.begin(), name + ".x86");
    }
    for (const std::string& section : names) {
        const InfSection* found = inf.Find(section);
        for (std::size_t i = 0; found != nullptr && i < found->lines.size(); ++i) {
            const InfLine& line = found->lines[i];
            if (line.HasKey() && matches(SubstituteStrings(inf, inf.Text(inf.Key(line))))) {
                return &line;
            }
        }
    }
    return nullptr;
}

class Reader {
public:
    Reader(const Inf& inf, Windows windows) : inf_(inf), windows_(windows) {}

    RunRequests Run(const InfSection& run) const
    {
        RunRequests read{run.name, run.header, {}, {}, {}, Registry(run, "")};
        ForEachNamed(inf_, run, "copyfiles", [&](const std::string& name, const InfField& field) {
            if (name[0] == '@') {
                const std::string file = name.substr(1);
                const std::string folder = DestinationFolder(inf_, windows_, "");
                read.copies.push_back(Copy(file, InFolder(folder, file), field.begin));
                return;
            }
            ForEachFileLine(name, [&](const InfLine& line, const std::string& folder) {
                const std::string target = HandedOut(inf_, windows_, line, 0);
                const std::string source = HandedOut(inf_, windows_, line, 1);
                if (!target.empty()) {
                    read.copies.push_back(Copy(source.empty() ? target : source,
                                               InFolder(folder, target),
                                               inf_.Value(line, 0).begin));
                }
            });
        });
        ForEachNamed(inf_, run, "delfiles", [&](const std::string& name, const InfField&) {
            ForEachFileLine(name, [&](const InfLine& line, const std::string& folder) {
                const std::string file = HandedOut(inf_, windows_, line, 0);
                if (!file.empty()) {
                    read.deletes.push_back({InFolder(folder, file), inf_.Value(line, 0).begin});
                }
            });
        });
        ForEachNamed(inf_, run, "renfiles", [&](const std::string& name, const InfField&) {
            ForEachFileLine(name, [&](const InfLine& line, const std::string& folder) {
                const std::string to = HandedOut(inf_, windows_, line, 0);
                const std::string from = HandedOut(inf_, windows_, line, 1);
                if (!to.empty() && !from.empty()) {
                    read.renames.push_back(
                        {InFolder(folder, from), InFolder(folder, to), inf_.Value(line, 0).begin});
                }
            });
        });
        return read;
    }

    // The DelReg and AddReg sections `owner` names; HKR is `ownKey` (a service's).
    RegistryRequests Registry(const InfSection& owner, const std::string& ownKey) const
    {
        RegistryRequests read;
        for (const bool deleting : {true, false}) {
            std::vector<RegistryRequest>& requests = deleting ? read.deletes : read.adds;
            ForEachNamed(inf_, owner, deleting ? "delreg" : "addreg",
                         [&](const std::string& name, const InfField&) {
                             const InfSection* section = inf_.Find(name);
                             if (section != nullptr) {
                                 for (RegistryRequest& request :
                                      ReadRegistryLines(inf_, windows_, *section, ownKey)) {
                                     requests.push_back(std::move(request));
                                 }
                             }
                         });
        }
        return read;
    }

    // The AddService lines of `services`, then its DelService lines.
    void Services(const InfSection& services, SectionRequests* read) const
    {
        for (const InfLine& line : services.lines) {
            if (DirectiveOf(inf_, line) != "addservice" || line.valueCount < 3) {
                continue;  // the engine skips a line without a name or a section
            }
            ServiceRequest service;
            service.name = HandedOut(inf_, windows_, line, 0);
            service.key = kServicesKey + service.name;
            service.sectionNamed = HandedOut(inf_, windows_, line, 2);
            service.at = inf_.Value(line, 0).begin;
            const InfSection* section = inf_.Find(service.sectionNamed);
            if (section != nullptr) {
                service.sectionExists = true;
                service.section = section->name;
                ServiceSection(*section, &service);
                service.registry = Registry(*section, service.key);
                service.eventLog = EventLog(line, service.name);
            }
            read->services.push_back(std::move(service));
        }
        for (const InfLine& line : services.lines) {
            if (DirectiveOf(inf_, line) != "delservice" || line.valueCount == 0) {
                continue;
            }
            ServiceDeleteRequest removal;
            removal.name = HandedOut(inf_, windows_, line, 0);
            if (!IntField(HandedOut(inf_, windows_, line, 1), &removal.flags)) {
                removal.flags = 0;
            }
            removal.eventSourceKey = EventLogKey(HandedOut(inf_, windows_, line, 2),
                                                 HandedOut(inf_, windows_, line, 3), removal.name);
            removal.at = inf_.Value(line, 0).begin;
            read->serviceDeletes.push_back(std::move(removal));
        }
    }

    std::vector<NotModelled> Unmodelled(const InfSection& install) const
    {
        static const char* const known[] = {
            "updateinis",          "updateinifields",      "ini2reg", "logconf", "registerdlls",
            "unregisterdlls",      "profileitems",         "bitreg",  "copyinf", "winefakedlls",
            "runpresetupcommands", "runpostsetupcommands", "include"};
        std::vector<NotModelled> read;
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
            read.push_back(std::move(unmodelled));
        }
        return read;
    }

private:
    // A copy of the package's file `name`, with where Wine 8 looks for it
    // when that is elsewhere.
    PlannedFile Copy(const std::string& name, std::string destination, InfOffset at) const
    {
        PlannedFile copy{PackageSourcePath(inf_, name), std::move(destination), at, {}};
        const std::string wine = PackageSourcePath(inf_, name, SourceSections::PlainOnly);
        if (wine != copy.source) {
            copy.wineSource = wine;
        }
        return copy;
    }

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

    // The service section's numbers and binary, as the engine reads them.
    void ServiceSection(const InfSection& section, ServiceRequest* service) const
    {
        const std::pair<const char*, std::optional<long>*> numbers[] = {
            {"servicetype", &service->serviceType},
            {"starttype", &service->startType},
            {"errorcontrol", &service->errorControl}};
        for (const auto& [key, number] : numbers) {
            const InfLine* line = KeyedLine(inf_, section, key);
            long read = 0;
            if (line != nullptr && IntField(HandedOut(inf_, windows_, *line, 0), &read, true)) {
                *number = read;
            }
        }
        const InfLine* line = KeyedLine(inf_, section, "servicebinary");
        if (line != nullptr && line->valueCount != 0) {
            service->binary = HandedOut(inf_, windows_, *line, 0);
        }
    }

    // An AddService line's event-log section (its fourth field), if it exists.
    std::optional<EventLogRequest> EventLog(const InfLine& line, const std::string& service) const
    {
        const InfSection* section = inf_.Find(HandedOut(inf_, windows_, line, 3));
        if (section == nullptr) {
            return std::nullopt;
        }
        const std::string key = EventLogKey(HandedOut(inf_, windows_, line, 4),
                                            HandedOut(inf_, windows_, line, 5), service);
        return EventLogRequest{section->name, key, Registry(*section, key),
                               inf_.Value(line, 3).begin};
    }

    const Inf& inf_;
    const Windows windows_;
};

}  // namespace

std::optional<SectionRequests> ReadSection(const Inf& inf, Windows windows, const std::string& name)
{
    const InfSection* section = ChosenSection(inf, name, windows);
    if (section == nullptr) {
        return std::nullopt;
    }
    const Reader reader(inf, windows);
    SectionRequests read;
    read.section = section->name;
    read.header = section->header;
    for (const InfSection* run : SectionsRun(inf, *section)) {
        read.runs.push_back(reader.Run(*run));
    }
    const InfSection* services = inf.Find(section->name + ".Services");
    if (services != nullptr) {
        reader.Services(*services, &read);
    }
    read.notModelled = reader.Unmodelled(*section);
    return read;
}

std::vector<RegistryRequest> ReadRegistryLines(const Inf& inf, Windows windows,
                                               const InfSection& section, const std::string& ownKey)
{
    std::vector<RegistryRequest> requests;
    for (const InfLine& line : section.lines) {
        const std::string rootWritten = HandedOut(inf, windows, line, 0);
        const std::string root = LowerAscii(rootWritten) == "hkr" ? ownKey : RootName(rootWritten);
        if (line.valueCount == 0 || root.empty()) {
            continue;
        }
        RegistryRequest request;
        const std::string subkey = RegistryPath(*inf.page, HandedOut(inf, windows, line, 1));
        request.key = root;
        if (!subkey.empty()) {
            request.key.append("\\").append(subkey);
        }
        request.name = HandedOut(inf, windows, line, 2);
        long flags = 0;
        if (IntField(HandedOut(inf, windows, line, 3), &flags)) {
            request.flags = static_cast<unsigned long>(flags) & 0xFFFFFFFFUL;
        }
        request.fieldCount = line.valueCount;
        for (std::size_t i = 4; i < line.valueCount; ++i) {
            request.data.push_back(HandedOut(inf, windows, line, i));
            request.written.emplace_back(inf.Text(inf.Value(line, i)));
        }
        request.at = inf.Value(line, 0).begin;
        requests.push_back(std::move(request));
    }
    return requests;
}

const InfSection* ChosenSection(const Inf& inf, const std::string& name, Windows windows)
{
    const char* const platform = windows == Windows::Bits64Native ? ".NTamd64" : ".NTx86";
    for (const char* decoration : {platform, ".NT"}) {
        const InfSection* section = inf.Find(name + decoration);
        if (section != nullptr && !section->lines.empty()) {
            return section;
        }
    }
    return inf.Find(name);
}

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

std::string PackageSourcePath(const Inf& inf, const std::string& name, SourceSections sections)
{
    const auto value = [&inf](const InfLine& line, std::size_t i) {
        return SubstituteStrings(inf, inf.Text(inf.Value(line, i)));
    };
    std::string path;
    const InfLine* line =
        SourceLine(inf, "SourceDisksFiles", sections,
                   [&](const std::string& key) { return inf.Folded(key) == inf.Folded(name); });
    if (line != nullptr) {
        // The engine reads the disk as a number and finds the first
        // [SourceDisksNames] line whose key is that number written out.
        long number = 0;
        const std::string disk =
            line->valueCount == 0 ? ""
                                  : std::to_string(IntField(value(*line, 0), &number) ? number : 0);
        const InfLine* diskLine = SourceLine(inf, "SourceDisksNames", sections,
                                             [&](const std::string& key) { return key == disk; });
        if (diskLine != nullptr) {
            path = diskLine->valueCount > 3 ? value(*diskLine, 3) : "";
        }
        if (line->valueCount > 1) {
            path += (path.empty() ? "" : "\\") + value(*line, 1);
        }
    }
    while (!path.empty() && path[0] == '\\') {
        path.erase(0, 1);
    }
    while (!path.empty() && path[LastCharacter(*inf.page, path)] == '\\') {
        path.pop_back();
    }
    return path.empty() ? name : path + "\\" + name;
}
