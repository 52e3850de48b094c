// The registry part of the plan: each AddReg and DelReg line, read into a
// request as the engine's registry callback reads its fields
// (InstallReading.h), acted on as the engine acts on the line's flags.
// Portable.
#pragma once

#include "inx-check/plan/InstallPlan.h"
#include "inx-check/plan/InstallReading.h"
#include "inx-check/reader/CodePage.h"

#include <string>
#include <unordered_set>
#include <vector>

// Plans requests of one section into `plan`: a DelReg section's when
// `deleting`, else an AddReg section's.
class RegistryPlanner {
public:
    RegistryPlanner(const CodePage& page, Windows windows, SectionPlan* plan)
        : page_(page), windows_(windows), plan_(*plan)
    {
    }
    void Plan(const std::vector<RegistryRequest>& requests, bool deleting);
    // A key made, once, as the engine makes one outside AddReg.
    void MakeKey(const std::string& key, InfOffset at);
    // Whether what is planned next is in a part Wine 8 does not run.
    void SkipUnderWine(bool skipping) { skipping_ = skipping; }

private:
    void Act(const RegistryRequest& request, bool deleting);
    void WriteValue(const RegistryRequest& request, const std::string& key);

    const CodePage& page_;
    const Windows windows_;
    SectionPlan& plan_;
    std::unordered_set<std::string> madeKeys_;     // as compared
    std::unordered_set<std::string> wineDiffers_;  // as compared
    bool skipping_ = false;
};
