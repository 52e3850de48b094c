#include "inx-check/CheckContext.h"

#include <algorithm>

namespace {

bool Within(const Inf& inf, const std::string& key, const std::string& under)
{
    const std::string folded = inf.Folded(key);
    const std::string top = inf.Folded(under);
    return folded.size() > top.size() && folded.compare(0, top.size(), top) == 0 &&
           folded[top.size()] == '\\';
}

}  // namespace

void CheckUninstall(CheckContext& check)
{
    const InstallPlan& plan = check.plan;
    if (!plan.install.has_value() || !plan.install->ChangesAnything()) {
        return;
    }
    if (!plan.uninstall.has_value()) {
        if (plan.uninstallString.empty()) {
            check.Add(Rule::NoUninstall, plan.install->header,
                      "[" + plan.install->section +
                          "] changes the machine, and there is no [DefaultUninstall] section nor "
                          "an UninstallString: nothing takes it away again");
        }
        return;  // an UninstallString names an uninstaller the plan cannot see into
    }
    const std::string uninstall = "[" + plan.uninstall->section + "]";
    const Leftovers& left = plan.leftBehind;
    for (const PlannedPath& file : left.files) {
        check.Add(
            Rule::UninstallLeaves, file.at,
            "uninstalling leaves " + Quoted(file.path) + ": " + uninstall + " does not delete it");
    }
    // A key stands for the values and keys under it.
    const auto under = [&check, &left](const std::string& key, bool itself) {
        return std::any_of(
            left.registry.begin(), left.registry.end(), [&](const Leftovers::Registry& other) {
                return !other.name.has_value() &&
                       (Within(check.inf, key, other.key) ||
                        (itself && check.inf.Folded(key) == check.inf.Folded(other.key)));
            });
    };
    for (const Leftovers::Registry& entry : left.registry) {
        if (!entry.name.has_value() && !under(entry.key, false)) {
            check.Add(Rule::UninstallLeaves, entry.at,
                      "uninstalling leaves the key " + Quoted(entry.key) + ": " + uninstall +
                          " does not delete it or a key above it (an empty key stays too)");
        } else if (entry.name.has_value() && !under(entry.key, true)) {
            check.Add(Rule::UninstallLeaves, entry.at,
                      "uninstalling leaves the value " +
                          Quoted(entry.name->empty() ? "(default)" : *entry.name) + " of " +
                          Quoted(entry.key) + ": " + uninstall + " deletes neither it nor its key");
        }
    }
    for (const PlannedPath& service : left.services) {
        check.Add(Rule::UninstallLeaves, service.at,
                  "uninstalling leaves the service " + Quoted(service.path) + ": " + uninstall +
                      ".Services has no DelService for it");
    }
}
