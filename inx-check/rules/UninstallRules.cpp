#include "inx-check/rules/CheckContext.h"
#include "inx-check/plan/Leftovers.h"

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
    // A key stands for the values and keys under it; a service for its key.
    NameSet leftKeys;
    for (const PlannedPath& service : left.services) {
        leftKeys.insert(check.inf.Folded(kServicesKey + service.path));
    }
    for (const Leftovers::Registry& entry : left.registry) {
        if (!entry.name.has_value()) {
            leftKeys.insert(check.inf.Folded(entry.key));
        }
    }
    for (const Leftovers::Registry& entry : left.registry) {
        if (!entry.name.has_value() && !UnderKeys(check.page, entry.key, leftKeys, false)) {
            check.Add(Rule::UninstallLeaves, entry.at,
                      "uninstalling leaves the key " + Quoted(entry.key) + ": " + uninstall +
                          " does not delete it or a key above it (an empty key stays too)");
        } else if (entry.name.has_value() && !UnderKeys(check.page, entry.key, leftKeys, true)) {
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
