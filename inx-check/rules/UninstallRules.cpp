#include "inx-check/rules/CheckContext.h"
#include "inx-check/plan/Leftovers.h"

namespace {

// The registered uninstaller as 64-bit Windows' list of installed programs
// starts it, whichever Windows the check is for.
void CheckNativeUninstall(CheckContext& check)
{
    const InstallPlan onWindows64 =
        check.plan.windows == Windows::Bits64 ? check.plan : MakePlan(check.inf, Windows::Bits64);
    if (!onWindows64.nativeUninstall.has_value()) {
        return;
    }
    const NativeUninstall& native = *onWindows64.nativeUninstall;
    if (SameLeftovers(native.leftBehind, native.leftBy32BitEngine)) {
        return;
    }
    const Leftovers& left = native.leftBehind;
    const std::size_t count = left.files.size() + left.registry.size() + left.services.size();
    check.Add(Rule::UninstallEngine, native.at,
              "on 64-bit Windows the list of installed programs starts this rundll32.exe from "
              "System32, a 64-bit program: the 64-bit engine " +
                  (native.plan.has_value() ? "runs [" + native.plan->section + "]"
                                           : "finds no section " + Quoted(native.section)) +
                  " with the 64-bit folders and registry view and leaves " + std::to_string(count) +
                  " things that the 32-bit engine installed; name it by "
                  "%16425%\\rundll32.exe (SysWOW64's on 64-bit Windows, System32's on 32-bit "
                  "Windows)");
}

}  // namespace

void CheckUninstall(CheckContext& check)
{
    const InstallPlan& plan = check.plan;
    if (!plan.install.has_value() || !plan.install->ChangesAnything()) {
        return;
    }
    CheckNativeUninstall(check);
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
