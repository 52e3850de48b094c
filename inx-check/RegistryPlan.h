// The registry part of the plan: each AddReg and DelReg line read into a
// request, as the engine's registry callback reads its fields, then acted on
// as the engine acts on the line's flags. Portable.
#pragma once

#include "inx-check/Plan.h"

#include <string>
#include <unordered_set>
#include <vector>

// One AddReg or DelReg line, as read.
struct RegistryRequest {
    std::string key;  // the root's full name (HKR: the owner's key), then the subkey
    std::string name;
    unsigned long flags = 0;
    std::size_t fieldCount = 0;        // the line's fields, as SetupGetFieldCount counts them
    std::vector<std::string> data;     // the fields from the fifth on, as handed out
    std::vector<std::string> written;  // the same fields as written: what binary data is read from
    InfOffset at;
};

// The lines of `section` that name a root the engine knows, in order; HKR is
// `ownKey` (a service's key; none in an install section).
std::vector<RegistryRequest> ReadRegistryLines(const Inf& inf, Windows windows,
                                               const InfSection& section,
                                               const std::string& ownKey);

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

private:
    void Act(const RegistryRequest& request, bool deleting);
    void WriteValue(const RegistryRequest& request, const std::string& key);

    const CodePage& page_;
    const Windows windows_;
    SectionPlan& plan_;
    std::unordered_set<std::string> madeKeys_;     // as compared
    std::unordered_set<std::string> wineDiffers_;  // as compared
};
