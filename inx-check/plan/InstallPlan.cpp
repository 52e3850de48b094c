#include "inx-check/plan/InstallPlan.h"

#include <algorithm>
#include <iterator>

std::string RegistryTypeName(unsigned long type)
{
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    return type < std::size(names) ? names[type] : "type " + std::to_string(type);
}

namespace {

template <typename Item>
void DropWineSkips(std::vector<Item>* items)
{
    items->erase(std::remove_if(items->begin(), items->end(),
                                [](const Item& item) { return item.wineSkips; }),
                 items->end());
}

}  // namespace

SectionPlan WineRun(const SectionPlan& plan)
{
    SectionPlan run = plan;
    DropWineSkips(&run.files);
    DropWineSkips(&run.deletes);
    DropWineSkips(&run.renames);
    DropWineSkips(&run.registry);
    DropWineSkips(&run.keys);
    DropWineSkips(&run.registryDeletes);
    DropWineSkips(&run.serviceDeletes);
    return run;
}

bool SectionPlan::ChangesAnything() const
{
    return !files.empty() || !deletes.empty() || !renames.empty() || !registry.empty() ||
           !keys.empty() || !registryDeletes.empty() || !services.empty() ||
           !serviceDeletes.empty();
}
