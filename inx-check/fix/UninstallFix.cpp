#include "inx-check/fix/UninstallFix.h"

#include "inx-check/plan/InstallReading.h"
#include "inx-check/plan/Leftovers.h"
#include "inx-check/plan/PlanFields.h"
#include "inx-check/plan/Windows.h"
#include "inx-check/rules/CheckContext.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <map>
#include <optional>
#include <utility>

namespace {

constexpr unsigned long kDeleteString = 0x18002;  // FLG_DELREG_MULTI_SZ_DELSTRING
// FLG_ADDREG_DELREG_BIT: with a view's flag, a DelReg line that Wine's engine
// runs too (it skips one whose flags are not 0 and lack this bit).
constexpr unsigned long kDeleteBit = 0x8000;
constexpr long kStopService = 0x200;      // SPSVCINST_STOPSERVICE
constexpr long kDeleteEventSource = 0x4;  // SPSVCINST_DELETEEVENTLOGENTRY
constexpr char kUninstallList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The keys under which a package's value is a Windows setting it changed:
// deleting it would not give back what was there before.
const char* const kSettings[] = {"hkey_current_user\\control panel",
                                 "hkey_local_machine\\system\\currentcontrolset\\control",
                                 "hkey_current_user\\environment"};
// Below Classes, the keys whose GUID subkeys are each one program's.
const char* const kGuidClasses[] = {"clsid", "appid", "interface", "typelib"};

bool Under(const std::string& folded, const std::string& top)
{
    return folded.compare(0, top.size(), top) == 0 &&
           (folded.size() == top.size() || folded[top.size()] == '\\');
}

std::size_t Components(const std::string& path)
{
    return path.empty() ? 0
                        : static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) + 1;
}

// The first `count` components of `path`.
std::string FirstComponents(const std::string& path, std::size_t count)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        at = path.find('\\', at);
        if (at == std::string::npos) {
            return path;
        }
        if (i + 1 < count) {
            ++at;
        }
    }
    return path.substr(0, at);
}

// How many components of the planned key (root included) a package owns
// whole: its entry in the list of installed programs or App Paths, a GUID
// key under Classes or a verb under a class's shell key, a key under
// Software of a vendor's own; 0 when it owns none.
std::size_t OwnedDepth(const std::string& key)
{
    const std::string folded = LowerAscii(key);
    for (const char* software : {"hkey_local_machine\\software", "hkey_current_user\\software"}) {
        for (const char* list : {"\\microsoft\\windows\\currentversion\\uninstall",
                                 "\\microsoft\\windows\\currentversion\\app paths"}) {
            const std::string top = software + std::string(list);
            if (Under(folded, top) && folded.size() > top.size()) {
                return Components(top) + 1;
            }
        }
    }
    for (const char* classes : {"hkey_classes_root", "hkey_local_machine\\software\\classes",
                                "hkey_current_user\\software\\classes"}) {
        for (const char* guids : kGuidClasses) {
            const std::string top = std::string(classes) + "\\" + guids;
            if (Under(folded, top) && folded.size() > top.size() && folded[top.size() + 1] == '{') {
                return Components(top) + 1;
            }
        }
        if (Under(folded, classes)) {
            // A verb under a class's shell key is one program's: CLASS\shell\VERB.
            const std::size_t base = Components(classes);
            const std::size_t depth = Components(folded);
            for (std::size_t i = base + 2; i < depth; ++i) {
                const std::string above = FirstComponents(folded, i);
                if (above.size() >= 6 && above.compare(above.size() - 6, 6, "\\shell") == 0) {
                    return i + 1;
                }
            }
            return 0;
        }
    }
    for (const char* software : {"hkey_local_machine\\software", "hkey_current_user\\software"}) {
        const std::string top = software;
        if (Under(folded, top) && folded.size() > top.size()) {
            const std::string below = folded.substr(top.size() + 1);
            if (!SystemSoftwareKey(below.substr(0, below.find('\\')))) {
                return Components(folded);  // the key as written, with what is under it
            }
        }
    }
    return 0;
}

// A subkey as written, as the registry reads it: no empty name between two
// '\\' and none at the end.
std::string RegistrySubkey(const CodePage& page, const std::string& written)
{
    std::string subkey;
    for (std::size_t at = 0; at <= written.size();) {
        const std::size_t end = std::min(FindCharacter(page, written, '\\', at), written.size());
        if (end > at) {
            subkey += (subkey.empty() ? "" : "\\") + written.substr(at, end - at);
        }
        at = end + 1;
    }
    return subkey;
}

bool IsSetting(const std::string& key)
{
    const std::string folded = LowerAscii(key);
    // A list whose values are entries by name, each a package's own (a cursor scheme).
    if (Under(folded, "hkey_current_user\\control panel\\cursors\\schemes")) {
        return false;
    }
    return std::any_of(std::begin(kSettings), std::end(kSettings),
                       [&folded](const char* top) { return Under(folded, top); });
}

class Writer {
public:
    Writer(const CheckContext& check, std::string name) : check_(check), name_(std::move(name))
    {
        for (const InfSection& section : check.inf.sections) {
            for (const InfLine& line : section.lines) {
                if (line.valueCount > 0) {
                    lineAt_[check.inf.Value(line, 0).begin.at] = {&section, &line};
                }
            }
        }
    }

    std::vector<Insertion> Insertions()
    {
        const InstallPlan& plan = check_.plan;
        const InfSection* install = ChosenInstallSection(check_.inf);
        if (!plan.install.has_value() || install == nullptr || !plan.install->ChangesAnything()) {
            return {};
        }
        const Leftovers& left = plan.leftBehind;
        const bool registering = plan.uninstallString.empty();
        Files(left);
        Registry(left);
        Services(left);
        Unmodelled(*plan.install);
        if (delFiles_.empty() && delReg_.empty() && delServices_.empty() && !registering) {
            return {};
        }
        const std::string suffix = install->name.substr(std::string("DefaultInstall").size());
        std::vector<Insertion> insertions;
        std::vector<std::string> atEnd;
        if (registering) {
            Register(*install, &insertions, &atEnd);
        }
        std::vector<std::string> directives = comments_;
        const std::string registry = delReg_.empty() ? "" : Unique("UninstallRegistry");
        if (!delFiles_.empty()) {
            directives.push_back("DelFiles=" + Joined(delFiles_));
        }
        if (!registry.empty()) {
            directives.push_back("DelReg=" + registry);
        }
        // Lines for the section `name`: after its last line, or in a new one at the end.
        const auto addTo = [&](const std::string& name, const std::vector<std::string>& lines) {
            const InfSection* existing = check_.inf.Find(name);
            if (existing != nullptr) {
                insertions.push_back({EndOf(*existing), lines});
            } else {
                atEnd.insert(atEnd.end(), {"", "[" + name + "]"});
                atEnd.insert(atEnd.end(), lines.begin(), lines.end());
            }
        };
        const std::string uninstall =
            plan.uninstall.has_value() ? plan.uninstall->section : "DefaultUninstall" + suffix;
        addTo(uninstall, directives);
        if (!delServices_.empty()) {
            addTo(uninstall + ".Services", delServices_);
        }
        if (!registry.empty()) {
            addTo(registry, delReg_);
        }
        insertions.push_back({SplitLines(check_.bytes).size(), atEnd});
        return insertions;
    }

private:
    struct Place {
        const InfSection* section = nullptr;
        const InfLine* line = nullptr;
    };

    static std::string Joined(const std::vector<std::string>& items)
    {
        std::string joined;
        for (const std::string& item : items) {
            joined += (joined.empty() ? "" : ",") + item;
        }
        return joined;
    }

    Place PlaceOf(InfOffset at) const
    {
        const auto found = lineAt_.find(at.at);
        return found == lineAt_.end() ? Place{} : found->second;
    }

    // The template's own text of the line from its first value on, split at
    // each comma outside quotes and trimmed: %pairs% and the placeholder as
    // written. None for a line joined with '\\'.
    std::optional<std::vector<std::string>> WrittenFields(const InfLine& line) const
    {
        const Inf& inf = check_.inf;
        for (std::size_t i = 0; i < line.valueCount; ++i) {
            const InfField& field = inf.Value(line, i);
            if (field.joinedLine.at != kNowhere) {
                return std::nullopt;
            }
        }
        const std::size_t begin = check_.rendering.FileOffsetOf(inf.Value(line, 0).begin).at;
        const std::size_t end =
            check_.rendering.FileOffsetOf(inf.Value(line, line.valueCount - 1).end).at;
        const std::string text = check_.bytes.substr(begin, end - begin);
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (const char c : text) {
            if (c == '"') {
                quoted = !quoted;
            }
            if (c == ',' && !quoted) {
                fields.emplace_back();
            } else {
                fields.back() += c;
            }
        }
        for (std::string& field : fields) {
            while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) {
                field.pop_back();
            }
            while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) {
                field.erase(0, 1);
            }
        }
        return fields;
    }

    // The template line after which a line appended to `section` goes.
    std::size_t EndOf(const InfSection& section) const
    {
        const Inf& inf = check_.inf;
        InfOffset at = section.header;
        for (const InfLine& line : section.lines) {
            if (line.valueCount > 0 && inf.Value(line, line.valueCount - 1).end.at > at.at) {
                at = inf.Value(line, line.valueCount - 1).end;
            }
        }
        const std::size_t offset = check_.rendering.FileOffsetOf(at).at;
        return static_cast<std::size_t>(
                   std::count(check_.bytes.begin(),
                              check_.bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n')) +
               1;
    }

    std::string Unique(const std::string& wanted)
    {
        std::string name = wanted;
        for (int i = 2; check_.inf.Find(name) != nullptr ||
                        std::find(used_.begin(), used_.end(), name) != used_.end();
             ++i) {
            name = wanted + std::to_string(i);
        }
        used_.push_back(name);
        return name;
    }

    void Comment(const std::string& text) { comments_.push_back("; inx-check --fix: " + text); }

    // DelFiles of each file list that copies a file the uninstallation leaves.
    void Files(const Leftovers& left)
    {
        const Inf& inf = check_.inf;
        NameSet leftFiles;
        for (const PlannedPath& file : left.files) {
            leftFiles.insert(FoldedName(check_.page, file.path));
        }
        for (const PlannedFile& file : check_.plan.install->files) {
            if (leftFiles.count(FoldedName(check_.page, file.destination)) == 0) {
                continue;
            }
            const Place place = PlaceOf(file.at);
            std::string list;
            if (place.line != nullptr) {
                list = place.section->name;
            } else {
                // CopyFiles=@file: its field is the directive's.
                for (const auto& [directive, line] :
                     DirectiveLines(inf, *ChosenInstallSection(inf))) {
                    for (std::size_t i = 0; directive == "copyfiles" && i < line->valueCount; ++i) {
                        if (inf.Value(*line, i).begin.at == file.at.at) {
                            const std::optional<std::vector<std::string>> fields =
                                WrittenFields(*line);
                            list = fields.has_value() && i < fields->size() ? (*fields)[i] : "";
                        }
                    }
                }
            }
            if (list.empty()) {
                Comment("not deleted: " + file.destination + ", whose line cannot be named");
            } else if (std::find(delFiles_.begin(), delFiles_.end(), list) == delFiles_.end()) {
                delFiles_.push_back(list);
                FolderMade(list);
            }
        }
        for (const PlannedRename& rename : check_.plan.install->renames) {
            Comment("not undone: the rename of " + rename.from + " to " + rename.to);
        }
    }

    // A subfolder that [DestinationDirs] names for `list` below a folder number:
    // the installation made it, and no directive deletes a folder.
    void FolderMade(const std::string& list)
    {
        const InfLine* line = DestinationLine(check_.inf, list);
        const std::optional<std::vector<std::string>> fields =
            line != nullptr ? WrittenFields(*line) : std::nullopt;
        if (fields.has_value() && fields->size() > 1 && !(*fields)[1].empty() &&
            (*fields)[0] != "-1") {
            Comment("not deleted: the folder " + (*fields)[0] + "," + (*fields)[1] +
                    ", which no directive deletes (the engine deletes files alone)");
        }
    }

    // DelReg lines: a key the package owns whole, in others only its values.
    void Registry(const Leftovers& left)
    {
        NameSet leftValues;
        NameSet leftKeys;
        for (const Leftovers::Registry& entry : left.registry) {
            (entry.name.has_value() ? leftValues : leftKeys)
                .insert(FoldedName(check_.page, entry.key) + "\n" +
                        FoldedName(check_.page, entry.name.value_or("")));
        }
        NameSet deletedKeys;
        const auto lineFor = [this](const auto& item) -> std::optional<std::vector<std::string>> {
            const Place place = PlaceOf(item.at);
            return place.line != nullptr ? WrittenFields(*place.line) : std::nullopt;
        };
        // Whole keys first: a value under one goes with it.
        const auto deleteKey = [&](const std::string& key, InfOffset at) {
            const std::size_t depth = OwnedDepth(key);
            const std::optional<std::vector<std::string>> fields = lineFor(PlannedKey{key, at});
            if (depth == 0 || !fields.has_value() || fields->size() < 2) {
                return false;
            }
            const bool quoted = (*fields)[1].size() >= 2 && (*fields)[1].front() == '"' &&
                                (*fields)[1].back() == '"';
            const std::string subkey =
                RegistrySubkey(check_.page, quoted ? (*fields)[1].substr(1, (*fields)[1].size() - 2)
                                                   : (*fields)[1]);
            const std::size_t below = depth - 1;  // the root is one
            if (Components(subkey) < below || Components(key) - 1 != Components(subkey)) {
                return false;
            }
            const std::string owned = FirstComponents(key, depth);
            if (UnderKeys(check_.page, owned, deletedKeys, true)) {
                return true;
            }
            deletedKeys.insert(FoldedName(check_.page, owned));
            const unsigned long view = ViewFlags(*fields);
            const std::string ownedSubkey = FirstComponents(subkey, below);
            delReg_.push_back((*fields)[0] + "," +
                              (quoted ? "\"" + ownedSubkey + "\"" : ownedSubkey) +
                              (view != 0 ? ",," + Hex(view | kDeleteBit) : ""));
            return true;
        };
        for (const PlannedKey& key : check_.plan.install->keys) {
            const bool leftOver = leftKeys.count(FoldedName(check_.page, key.key) + "\n") != 0 ||
                                  std::any_of(left.registry.begin(), left.registry.end(),
                                              [&](const Leftovers::Registry& entry) {
                                                  return FoldedName(check_.page, entry.key) ==
                                                         FoldedName(check_.page, key.key);
                                              });
            if (leftOver) {
                deleteKey(key.key, key.at);
            }
        }
        for (const PlannedValue& value : check_.plan.install->registry) {
            const std::string id =
                FoldedName(check_.page, value.key) + "\n" + FoldedName(check_.page, value.name);
            if (leftValues.count(id) == 0 || UnderKeys(check_.page, value.key, deletedKeys, true)) {
                continue;
            }
            const std::string named =
                value.key + (value.name.empty() ? "" : ": \"" + value.name + "\"");
            if (value.write == Write::IfMissing) {
                Comment("not deleted: " + named +
                        ", written only where it was missing, so "
                        "perhaps there before");
                continue;
            }
            if (IsSetting(value.key)) {
                Comment("not deleted: " + named +
                        ", a Windows setting the installation "
                        "changed; what it was before is not known");
                continue;
            }
            const std::optional<std::vector<std::string>> fields = lineFor(value);
            if (fields.has_value() && !fields->empty() && LowerAscii((*fields)[0]) == "hkr") {
                continue;  // a service's or an event source's: DelService takes it
            }
            if (!fields.has_value() || fields->size() < 3) {
                Comment("not deleted: " + named + ", whose line cannot be written back");
                continue;
            }
            if (value.name.empty()) {
                Comment("not deleted: the default value of " + value.key +
                        ", as DelReg "
                        "deletes it only with the key, which the package shares");
                continue;
            }
            const unsigned long view = ViewFlags(*fields);
            const std::string head = (*fields)[0] + "," + (*fields)[1] + "," + (*fields)[2];
            if (value.write == Write::AppendStrings) {
                for (std::size_t i = 4; i < fields->size(); ++i) {
                    delReg_.push_back(head + "," + Hex(kDeleteString | view) + "," + (*fields)[i]);
                }
            } else {
                delReg_.push_back(head + (view != 0 ? "," + Hex(view | kDeleteBit) : ""));
            }
        }
    }

    static std::string Hex(unsigned long number)
    {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        do {
            text.insert(text.begin(), digits[number % 16]);
            number /= 16;
        } while (number != 0);
        return "0x" + text;
    }

    // The registry view an AddReg line names (FLG_ADDREG_64BITKEY, _32BITKEY),
    // which its DelReg line names too.
    static unsigned long ViewFlags(const std::vector<std::string>& fields)
    {
        long flags = 0;
        if (fields.size() < 4 || !IntField(fields[3], &flags)) {
            return 0;
        }
        return static_cast<unsigned long>(flags) & (kRegistry64BitKey | kRegistry32BitKey);
    }

    // DelService for each service left, stopped first, with its event source.
    void Services(const Leftovers& left)
    {
        for (const PlannedPath& service : left.services) {
            const Place place = PlaceOf(service.at);
            const std::optional<std::vector<std::string>> fields =
                place.line != nullptr ? WrittenFields(*place.line) : std::nullopt;
            if (!fields.has_value() || fields->empty()) {
                Comment("not deleted: the service " + service.path +
                        ", whose line cannot be named");
                continue;
            }
            const bool eventLog = fields->size() > 3 && !(*fields)[3].empty();
            std::string line = "DelService=" + (*fields)[0] + "," +
                               Hex(kStopService | (eventLog ? kDeleteEventSource : 0));
            if (eventLog && fields->size() > 4) {
                line += "," + (*fields)[4] + (fields->size() > 5 ? "," + (*fields)[5] : "");
            }
            delServices_.push_back(line);
        }
    }

    void Unmodelled(const SectionPlan& install)
    {
        for (const NotModelled& directive : install.notModelled) {
            Comment("not undone: " + directive.directive +
                    ", which the uninstallation cannot "
                    "take back line by line");
        }
    }

    // The INF copied into Windows' INF folder, and an entry in the list of
    // installed programs whose UninstallString runs this uninstall section
    // in the 32-bit engine that installed (16425: SysWOW64's rundll32.exe on
    // 64-bit Windows, System32's on 32-bit Windows).
    void Register(const InfSection& install, std::vector<Insertion>* insertions,
                  std::vector<std::string>* atEnd)
    {
        const std::string copy = Unique("UninstallInf");
        const std::string entry = Unique("UninstallEntry");
        const std::string key = std::string("HKLM,") + kUninstallList + "\\" + name_;
        insertions->push_back({EndOf(install), {"CopyFiles=" + copy, "AddReg=" + entry}});
        const InfSection* destinations = check_.inf.Find("DestinationDirs");
        if (destinations != nullptr) {
            insertions->push_back({EndOf(*destinations), {copy + "=17"}});
        } else {
            atEnd->insert(atEnd->end(), {"", "[DestinationDirs]", copy + "=17"});
        }
        atEnd->insert(atEnd->end(),
                      {"", "[" + copy + "]", name_ + ".inf,install.inf", "", "[" + entry + "]",
                       key + ",DisplayName,,\"" + name_ + "\"",
                       key + ",UninstallString,,\"%16425%\\rundll32.exe setupapi.dll," +
                           "InstallHinfSection DefaultUninstall 132 %17%\\" + name_ + ".inf\""});
        delFiles_.push_back(copy);
        delReg_.push_back(key);
    }

    const CheckContext& check_;
    const std::string name_;
    std::map<std::size_t, Place> lineAt_;  // by the offset of a line's first value
    std::vector<std::string> used_;        // section names given out
    std::vector<std::string> comments_;
    std::vector<std::string> delFiles_;
    std::vector<std::string> delReg_;
    std::vector<std::string> delServices_;
};

}  // namespace

std::vector<Insertion> UninstallInsertions(const std::string& bytes, const CodePage& page,
                                           const std::string& name)
{
    CheckContext check(bytes, nullptr, nullptr, page, Windows::Bits32);
    if (!CheckTemplateBytes(check) || !check.rendering.Rendered() ||
        check.inf.error != InfError::None) {
        return {};
    }
    return Writer(check, name).Insertions();
}

std::string PackageName(const std::string& folderName)
{
    std::string name;
    for (const char c : folderName) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_') {
            name += c;
        }
    }
    return name.empty() ? "Package" : name;
}
