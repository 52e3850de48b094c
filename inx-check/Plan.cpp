#include "inx-check/Plan.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>

namespace {

constexpr char kSystemFolder[] = "C:\\Windows\\System32";
constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\";
// The list of installed programs, read in both registry views on 64-bit Windows.
constexpr char kUninstallList[] = "\\microsoft\\windows\\currentversion\\uninstall\\";

// AddReg and DelReg flags.
constexpr unsigned long kBinaryValueType = 0x1;
constexpr unsigned long kNoClobber = 0x2;
constexpr unsigned long kDeleteValue = 0x4;
constexpr unsigned long kAppend = 0x8;
constexpr unsigned long kKeyOnly = 0x10;
constexpr unsigned long kOverwriteOnly = 0x20;
constexpr unsigned long kKeyOnlyCommon = 0x2000;
constexpr unsigned long kDeleteRegBit = 0x8000;
constexpr unsigned long kDeleteString = 0x18002;
constexpr unsigned long kTypeMask = 0xFFFF0001;

// The path the engine substitutes for %dirid%, and puts first in a destination.
template <Windows windows>
std::string ResolvedDirectory(long dirid)
{
    if (dirid == -1 || dirid == 0) {
        return "";
    }
    const std::string path = DirectoryPath(dirid, windows);
    return path.empty() ? std::string(kSystemFolder) + "\\unknown" : path;
}

// The resolver SubstituteStrings takes, for `windows`.
using Resolver = std::string (*)(long);
Resolver ResolverFor(Windows windows)
{
    return windows == Windows::Bits64 ? ResolvedDirectory<Windows::Bits64>
                                      : ResolvedDirectory<Windows::Bits32>;
}

// A field as Windows' engine hands it out, folder numbers resolved.
std::string Value(const Inf& inf, Windows windows, const InfLine& line, std::size_t i)
{
    if (i >= line.valueCount) {
        return "";
    }
    const InfField& field = inf.Value(line, i);
    return AsWindowsReads(field,
                          SubstituteStrings(inf, inf.Text(field), nullptr, ResolverFor(windows)));
}

// A number field as SetupGetIntField reads it (strtol, base 0, in 32 bits);
// false when it is none.
bool IntField(const std::string& text, long* number)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const long long read = std::strtoll(text.c_str(), &end, 0);
    *number = static_cast<long>(std::clamp<long long>(read, INT32_MIN, INT32_MAX));
    return *end == '\0';
}

// A REG_DWORD's text as wcstoul reads it: base 0, up to the first character
// that is no digit, a minus sign wrapping around, saturated at 32 bits.
unsigned long DwordOf(const std::string& text)
{
    const char* at = text.c_str();
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    const bool negative = *at == '-';
    char* end = nullptr;
    const unsigned long long read = std::strtoull(negative || *at == '+' ? at + 1 : at, &end, 0);
    const unsigned long value =
        read > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : static_cast<unsigned long>(read);
    return negative && read <= 0xFFFFFFFFULL ? (0x100000000ULL - value) & 0xFFFFFFFFUL : value;
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

std::string KeyPath(const std::string& root, const std::string& subkey)
{
    return subkey.empty() ? root : root + "\\" + subkey;
}

// Each directive line of `section` named `directive` (any case): every
// section it names, with the line.
template <typename Visit>
void ForEachNamed(const Inf& inf, const InfSection& section, const char* directive, Visit visit)
{
    for (const InfLine& line : section.lines) {
        if (!line.explicitKey ||
            LowerAscii(SubstituteStrings(inf, inf.Text(inf.Key(line)))) != directive) {
            continue;
        }
        for (std::size_t i = 0; i < line.valueCount; ++i) {
            const std::string name = SubstituteStrings(inf, inf.Text(inf.Value(line, i)));
            if (!name.empty()) {
                visit(name, inf.Value(line, i));
            }
        }
    }
}

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
    if (line == nullptr || !IntField(Value(inf, windows, *line, 0), &dirid)) {
        return FileLocation(kSystemFolder, windows);
    }
    const std::string sub = Value(inf, windows, *line, 1);
    const std::string folder = ResolverFor(windows)(dirid);
    return FileLocation(sub.empty() ? folder : InFolder(folder, sub), windows);
}

class Planner {
public:
    Planner(const Inf& inf, Windows windows, SectionPlan* plan)
        : inf_(inf), windows_(windows), plan_(*plan)
    {
    }

    void Files()
    {
        const InfSection& install = *inf_.Find(plan_.section);
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
                    const std::string target = Value(inf_, windows_, line, 0);
                    const std::string source = Value(inf_, windows_, line, 1);
                    if (!target.empty()) {
                        plan_.files.push_back(
                            {PackageSourcePath(inf_, source.empty() ? target : source),
                             InFolder(folder, target), inf_.Value(line, 0).begin});
                    }
                });
            });
        ForEachNamed(inf_, install, "delfiles", [this](const std::string& name, const InfField&) {
            ForEachFileLine(name, [this](const InfLine& line, const std::string& folder) {
                const std::string file = Value(inf_, windows_, line, 0);
                if (!file.empty()) {
                    plan_.deletes.push_back({InFolder(folder, file), inf_.Value(line, 0).begin});
                }
            });
        });
        ForEachNamed(inf_, install, "renfiles", [this](const std::string& name, const InfField&) {
            ForEachFileLine(name, [this](const InfLine& line, const std::string& folder) {
                const std::string to = Value(inf_, windows_, line, 0);
                const std::string from = Value(inf_, windows_, line, 1);
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
                             for (std::size_t i = 0;
                                  section != nullptr && i < section->lines.size(); ++i) {
                                 RegistryLine(section->lines[i], deleting, ownKey);
                             }
                         });
        }
    }

    void Services(const std::string& installName)
    {
        const InfSection* services = inf_.Find(installName + ".Services");
        for (std::size_t i = 0; services != nullptr && i < services->lines.size(); ++i) {
            const InfLine& line = services->lines[i];
            const std::string directive =
                line.explicitKey ? LowerAscii(SubstituteStrings(inf_, inf_.Text(inf_.Key(line))))
                                 : "";
            const std::string name = Value(inf_, windows_, line, 0);
            if (name.empty()) {
                continue;
            }
            if (directive == "delservice") {
                plan_.serviceDeletes.push_back({name, inf_.Value(line, 0).begin});
                continue;
            }
            const InfSection* section = inf_.Find(Value(inf_, windows_, line, 2));
            if (directive != "addservice" || section == nullptr) {
                continue;
            }
            PlannedService service{name, kServicesKey + name, "", inf_.Value(line, 0).begin};
            for (const InfLine& entry : section->lines) {
                if (entry.explicitKey &&
                    LowerAscii(SubstituteStrings(inf_, inf_.Text(inf_.Key(entry)))) ==
                        "servicebinary") {
                    service.binary = Value(inf_, windows_, entry, 0);
                    break;
                }
            }
            plan_.services.push_back(service);
            Registry(*section, service.key);
        }
    }

    void Unmodelled()
    {
        static const char* const known[] = {
            "updateinis",          "updateinifields",     "ini2reg", "logconf", "registerdlls",
            "unregisterdlls",      "profileitems",        "bitreg",  "copyinf", "winefakedlls",
            "runpresetupcommands", "runpostsetupcommands"};
        const InfSection& install = *inf_.Find(plan_.section);
        for (const InfLine& line : install.lines) {
            const std::string directive =
                line.explicitKey ? SubstituteStrings(inf_, inf_.Text(inf_.Key(line))) : "";
            const std::string lowered = LowerAscii(directive);
            if (std::find(std::begin(known), std::end(known), lowered) == std::end(known)) {
                continue;
            }
            NotModelled unmodelled{directive, inf_.Key(line).begin, {}};
            if (lowered == "updateinis") {
                // The INI files it writes: a name alone is in the Windows folder.
                for (std::size_t i = 0; i < line.valueCount; ++i) {
                    const InfSection* section = inf_.Find(Value(inf_, windows_, line, i));
                    for (std::size_t l = 0; section != nullptr && l < section->lines.size(); ++l) {
                        const std::string file = Value(inf_, windows_, section->lines[l], 0);
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

    void RegistryLine(const InfLine& line, bool deleting, const std::string& ownKey)
    {
        const std::string rootWritten = Value(inf_, windows_, line, 0);
        const std::string root = LowerAscii(rootWritten) == "hkr" ? ownKey : RootName(rootWritten);
        if (line.valueCount == 0 || root.empty()) {
            return;
        }
        // The registry takes a key's trailing '\' for none.
        std::string subkey = Value(inf_, windows_, line, 1);
        while (!subkey.empty() && subkey[LastCharacter(*inf_.page, subkey)] == '\\') {
            subkey.pop_back();
        }
        // Nor does it read an empty name between two: "a\\\\b" is "a\\b" (seen under Wine).
        for (std::size_t at = FindCharacter(*inf_.page, subkey, '\\'); at != std::string::npos;
             at = FindCharacter(*inf_.page, subkey, '\\', at + 1)) {
            while (at + 1 < subkey.size() && subkey[at + 1] == '\\') {
                subkey.erase(at + 1, 1);
            }
        }
        long read = 0;
        const unsigned long flags = IntField(Value(inf_, windows_, line, 3), &read)
                                        ? static_cast<unsigned long>(read) & 0xFFFFFFFFUL
                                        : 0;
        const InfOffset at = inf_.Value(line, 0).begin;
        const std::string written = KeyPath(root, subkey);
        const std::string key = RegistryLocation(written, flags, windows_);
        const std::string wineKey = WineRegistryLocation(written, flags, windows_);
        if (!wineKey.empty() && wineDiffers_.insert(inf_.Folded(key)).second) {
            plan_.wineDiffers.push_back({key, wineKey, at});
        }
        const std::string name = Value(inf_, windows_, line, 2);
        if (deleting ? flags != 0 && (flags & kDeleteRegBit) == 0 : (flags & kDeleteRegBit) != 0) {
            return;  // the engine leaves such a line to the other directive
        }
        if (deleting || (flags & kDeleteValue) != 0) {
            PlannedRegistryDelete removal{key, std::nullopt, std::nullopt, at};
            if (!name.empty() && (flags & kKeyOnlyCommon) == 0) {
                removal.name = name;
                if ((flags & kDeleteString) == kDeleteString) {
                    removal.string = Value(inf_, windows_, line, 4);
                }
            }
            plan_.registryDeletes.push_back(removal);
            return;
        }
        if (madeKeys_.insert(inf_.Folded(key)).second) {
            plan_.keys.push_back({key, at});
        }
        if ((flags & (kKeyOnly | kKeyOnlyCommon)) != 0) {
            return;
        }
        PlannedValue value;
        value.key = key;
        value.name = name;
        value.at = at;
        value.write = (flags & kNoClobber) != 0       ? Write::IfMissing
                      : (flags & kOverwriteOnly) != 0 ? Write::IfPresent
                                                      : Write::Set;
        switch (flags & kTypeMask) {
        case 0x00000000:
            value.type = kRegSz;
            break;
        case 0x00010000:
            value.type = kRegMultiSz;
            break;
        case 0x00020000:
            value.type = kRegExpandSz;
            break;
        case 0x00000001:
            value.type = kRegBinary;
            break;
        case 0x00010001:
            value.type = kRegDword;
            break;
        case 0x00020001:
            value.type = kRegNone;
            break;
        default:
            value.type = flags >> 16;
            break;
        }
        if ((flags & kBinaryValueType) == 0 || (value.type == kRegDword && line.valueCount == 5)) {
            if (value.type == kRegMultiSz) {
                // The engine joins the fields from the fifth on, up to an empty one.
                for (std::size_t i = 4; i < line.valueCount; ++i) {
                    const std::string item = Value(inf_, windows_, line, i);
                    if (item.empty()) {
                        break;
                    }
                    value.strings.push_back(item);
                }
                if ((flags & kAppend) != 0) {
                    if (value.strings.empty()) {
                        return;  // nothing to append: the value is not touched
                    }
                    value.write = Write::AppendStrings;
                }
            } else if (value.type == kRegDword) {
                value.number = DwordOf(Value(inf_, windows_, line, 4));
            } else {
                value.strings.push_back(Value(inf_, windows_, line, 4));
            }
        } else {
            value.binary = true;
            for (std::size_t i = 4; i < line.valueCount; ++i) {
                const std::string byte = Value(inf_, windows_, line, i);
                char* end = nullptr;
                const long number = std::strtol(byte.c_str(), &end, 16);
                if (byte.empty() || *end != '\0') {
                    value.bytes.clear();  // the engine reads none of it
                    break;
                }
                value.bytes += static_cast<char>(number & 0xFF);
            }
        }
        plan_.registry.push_back(value);
    }

    const Inf& inf_;
    const Windows windows_;
    SectionPlan& plan_;
    std::unordered_set<std::string> madeKeys_;     // folded
    std::unordered_set<std::string> wineDiffers_;  // folded
};

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
    planner.Files();
    planner.Registry(*section, "");
    planner.Services(section->name);
    planner.Unmodelled();
    return plan;
}

// A value's key and name, folded, as one name.
std::string ValueId(const Inf& inf, const std::string& key, const std::string& name)
{
    return inf.Folded(key) + '\n' + inf.Folded(name);
}

// A key of the package's own, under Software but not Windows' or Wine's: only
// such a key is known not to have been there before the installation.
bool OwnKey(const Inf& inf, const std::string& key)
{
    const std::string folded = inf.Folded(key);
    for (const char* software :
         {"hkey_current_user\\software\\", "hkey_local_machine\\software\\wow6432node\\",
          "hkey_local_machine\\software\\"}) {
        const std::string top = software;
        if (folded.compare(0, top.size(), top) != 0) {
            continue;
        }
        const std::string vendor =
            folded.substr(top.size(), folded.find('\\', top.size()) - top.size());
        static const char* const shared[] = {"microsoft",   "classes", "wine", "policies",
                                             "wow6432node", "clients", ""};
        return std::find(std::begin(shared), std::end(shared), vendor) == std::end(shared);
    }
    return false;
}

Leftovers LeftBehind(const Inf& inf, const SectionPlan& install, const SectionPlan* uninstall)
{
    // What the uninstallation takes away.
    NameSet removedFiles;
    NameSet removedKeys;
    NameSet removedValues;
    NameSet removedStrings;  // of a list: the value's id, then the string
    NameSet deletedServices;
    if (uninstall != nullptr) {
        for (const PlannedPath& file : uninstall->deletes) {
            removedFiles.insert(inf.Folded(file.path));
        }
        for (const PlannedRename& rename : uninstall->renames) {
            removedFiles.insert(inf.Folded(rename.from));
        }
        for (const PlannedRegistryDelete& removal : uninstall->registryDeletes) {
            if (!removal.name.has_value()) {
                removedKeys.insert(inf.Folded(removal.key));
            } else if (!removal.string.has_value()) {
                removedValues.insert(ValueId(inf, removal.key, *removal.name));
            } else {
                removedStrings.insert(ValueId(inf, removal.key, *removal.name) + '\n' +
                                      inf.Folded(*removal.string));
            }
        }
        for (const PlannedPath& service : uninstall->serviceDeletes) {
            deletedServices.insert(inf.Folded(service.path));
            removedKeys.insert(inf.Folded(kServicesKey + service.path));  // with all under it
        }
    }
    Leftovers left;
    NameSet listed;  // each leftover once: files, keys and values by their folded names
    const auto add = [&](const SectionPlan& plan, bool installing) {
        // A file copied or renamed into place.
        std::vector<PlannedPath> made;
        for (const PlannedFile& file : plan.files) {
            made.push_back({file.destination, file.at});
        }
        for (const PlannedRename& rename : plan.renames) {
            made.push_back({rename.to, rename.at});
        }
        for (const PlannedPath& file : made) {
            const std::string folded = inf.Folded(file.path);
            if ((!installing || removedFiles.count(folded) == 0) &&
                listed.insert("file\n" + folded).second) {
                left.files.push_back(file);
            }
        }
        for (const PlannedKey& key : plan.keys) {
            const std::string folded = inf.Folded(key.key);
            if (OwnKey(inf, key.key) &&
                (!installing || !UnderKeys(inf, key.key, removedKeys, true)) &&
                listed.insert("key\n" + folded).second) {
                left.registry.push_back({key.key, std::nullopt, key.at});
            }
        }
        for (const PlannedValue& value : plan.registry) {
            const std::string id = ValueId(inf, value.key, value.name);
            // Strings appended to a list are taken away string by string.
            const bool stringsRemoved =
                value.write == Write::AppendStrings &&
                std::all_of(value.strings.begin(), value.strings.end(),
                            [&](const std::string& item) {
                                return removedStrings.count(id + '\n' + inf.Folded(item)) != 0;
                            });
            const bool removed = UnderKeys(inf, value.key, removedKeys, true) ||
                                 removedValues.count(id) != 0 || stringsRemoved;
            if (value.write != Write::IfPresent && (!installing || !removed) &&
                listed.insert("value\n" + id).second) {
                left.registry.push_back({value.key, value.name, value.at});
            }
        }
        for (const PlannedService& service : plan.services) {
            if (!installing || deletedServices.count(inf.Folded(service.name)) == 0) {
                left.services.push_back({service.name, service.at});
            }
        }
    };
    add(install, true);
    if (uninstall != nullptr) {
        add(*uninstall, false);  // what the uninstallation itself adds stays too
    }
    return left;
}

}  // namespace

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

const char* RegistryTypeName(unsigned long type)
{
    static const char* const names[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                        "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",   "REG_MULTI_SZ"};
    return type < std::size(names) ? names[type] : "REG_UNKNOWN";
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
        const std::size_t list = key.find(kUninstallList);
        const auto endsWith = [&key, list](const std::string& end) {
            return list >= end.size() && key.compare(list - end.size(), end.size(), end) == 0;
        };
        const bool underSoftware = list != std::string::npos &&
                                   (endsWith("\\software") || endsWith("\\software\\wow6432node"));
        if (underSoftware &&
            key.find('\\', list + sizeof kUninstallList - 1) == std::string::npos &&
            inf.Folded(value.name) == "uninstallstring" && !value.strings.empty() &&
            (value.type == kRegSz || value.type == kRegExpandSz)) {
            plan.uninstallString = value.strings.front();
        }
    }
    return plan;
}
