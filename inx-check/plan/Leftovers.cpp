#include "inx-check/plan/Leftovers.h"

#include "inx-check/plan/Windows.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

// A value's key and name, folded, as one name.
std::string ValueId(const CodePage& page, const std::string& key, const std::string& name)
{
    return FoldedName(page, key) + '\n' + FoldedName(page, name);
}

// A key of the package's own: under Software but not Windows' or Wine's, or
// the package's entry in the list of installed programs. Only such a key is
// known not to have been there before the installation.
bool OwnKey(const CodePage& page, const std::string& key)
{
    const std::string folded = FoldedName(page, key);
    // The 32-bit view's Software before the Software it lies in.
    for (const char* software :
         {"hkey_current_user\\software\\", "hkey_local_machine\\software\\wow6432node\\",
          "hkey_local_machine\\software\\"}) {
        const std::string top = software;
        if (folded.compare(0, top.size(), top) != 0) {
            continue;
        }
        const std::string list = top + kUninstallList;
        if (folded.size() > list.size() && folded.compare(0, list.size(), list) == 0) {
            return true;
        }
        const std::string vendor =
            folded.substr(top.size(), folded.find('\\', top.size()) - top.size());
        return !vendor.empty() && !SystemSoftwareKey(vendor);
    }
    return false;
}

}  // namespace

Leftovers LeftBehind(const CodePage& page, const SectionPlan& install, const SectionPlan* uninstall)
{
    // What the uninstallation takes away.
    NameSet removedFiles;
    NameSet removedKeys;
    NameSet removedValues;
    NameSet removedStrings;  // of a list: the value's id, then the string
    NameSet deletedServices;
    if (uninstall != nullptr) {
        for (const PlannedPath& file : uninstall->deletes) {
            removedFiles.insert(FoldedName(page, file.path));
        }
        for (const PlannedRename& rename : uninstall->renames) {
            removedFiles.insert(FoldedName(page, rename.from));
        }
        for (const PlannedRegistryDelete& removal : uninstall->registryDeletes) {
            if (!removal.name.has_value()) {
                removedKeys.insert(FoldedName(page, removal.key));
            } else if (!removal.string.has_value()) {
                removedValues.insert(ValueId(page, removal.key, *removal.name));
            } else {
                removedStrings.insert(ValueId(page, removal.key, *removal.name) + '\n' +
                                      FoldedName(page, *removal.string));
            }
        }
        for (const PlannedPath& service : uninstall->serviceDeletes) {
            deletedServices.insert(FoldedName(page, service.path));
            removedKeys.insert(FoldedName(page, kServicesKey + service.path));  // with all under it
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
            const std::string folded = FoldedName(page, file.path);
            if ((!installing || removedFiles.count(folded) == 0) &&
                listed.insert("file\n" + folded).second) {
                left.files.push_back(file);
            }
        }
        for (const PlannedKey& key : plan.keys) {
            const std::string folded = FoldedName(page, key.key);
            if ((!installing || !UnderKeys(page, key.key, removedKeys, true)) &&
                listed.insert("key\n" + folded).second) {
                if (OwnKey(page, key.key)) {
                    left.registry.push_back({key.key, std::nullopt, key.at});
                } else {
                    left.keysIfNew.push_back(key);
                }
            }
        }
        // The registry makes the keys above a key it makes; those it keeps
        // are left too, unless they were there before (a root's own keys,
        // Software and System, always are; HKEY_CLASSES_ROOT's are not).
        for (const PlannedKey& key : plan.keys) {
            std::vector<std::size_t> cuts;  // each '\' of the key
            for (std::size_t at = FindCharacter(page, key.key, '\\'); at != std::string::npos;
                 at = FindCharacter(page, key.key, '\\', at + 1)) {
                cuts.push_back(at);
            }
            const std::size_t always =
                FoldedName(page, key.key).rfind("hkey_classes_root", 0) == 0 ? 1 : 2;
            for (std::size_t i = cuts.size(); i-- > always;) {
                const std::string above = key.key.substr(0, cuts[i]);
                if ((!installing || !UnderKeys(page, above, removedKeys, true)) &&
                    listed.insert("key\n" + FoldedName(page, above)).second) {
                    left.keysIfNew.push_back({above, key.at});
                }
            }
        }
        for (const PlannedValue& value : plan.registry) {
            const std::string id = ValueId(page, value.key, value.name);
            // Strings appended to a list are taken away string by string.
            const bool stringsRemoved =
                value.write == Write::AppendStrings &&
                std::all_of(
                    value.strings.begin(), value.strings.end(), [&](const std::string& item) {
                        return removedStrings.count(id + '\n' + FoldedName(page, item)) != 0;
                    });
            const bool removed = UnderKeys(page, value.key, removedKeys, true) ||
                                 removedValues.count(id) != 0 || stringsRemoved;
            if (value.write != Write::IfPresent && (!installing || !removed) &&
                listed.insert("value\n" + id).second) {
                left.registry.push_back({value.key, value.name, value.at});
            }
        }
        for (const PlannedService& service : plan.services) {
            if (!installing || deletedServices.count(FoldedName(page, service.name)) == 0) {
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

bool UnderKeys(const CodePage& page, const std::string& key, const NameSet& keys, bool itself)
{
    const std::string folded = FoldedName(page, key);
    for (std::size_t at = FindCharacter(page, folded, '\\'); at != std::string::npos;
         at = FindCharacter(page, folded, '\\', at + 1)) {
        if (keys.count(folded.substr(0, at)) != 0) {
            return true;
        }
    }
    return itself && keys.count(folded) != 0;
}

bool SameLeftovers(const Leftovers& one, const Leftovers& other)
{
    const auto paths = [](const std::vector<PlannedPath>& items) {
        std::vector<std::string> named;
        named.reserve(items.size());
        for (const PlannedPath& item : items) {
            named.push_back(item.path);
        }
        return named;
    };
    const auto keys = [](const Leftovers& left) {
        std::vector<std::string> named;
        for (const Leftovers::Registry& item : left.registry) {
            named.push_back(item.key + '\n' + (item.name ? "value\n" + *item.name : "key"));
        }
        for (const PlannedKey& key : left.keysIfNew) {
            named.push_back("if new\n" + key.key);
        }
        return named;
    };
    return paths(one.files) == paths(other.files) && paths(one.services) == paths(other.services) &&
           keys(one) == keys(other);
}
