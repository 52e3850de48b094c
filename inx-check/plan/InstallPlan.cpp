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

bool SectionPlan::WineSkips(ItemRange WineSkip::*range, std::size_t index) const
{
    return std::any_of(wineSkips.begin(), wineSkips.end(),
                       [range, index](const WineSkip& skip) { return (skip.*range).Holds(index); });
}

bool SectionPlan::ChangesAnything() const
{
    return !files.empty() || !deletes.empty() || !renames.empty() || !registry.empty() ||
           !keys.empty() || !registryDeletes.empty() || !services.empty() ||
           !serviceDeletes.empty();
}
