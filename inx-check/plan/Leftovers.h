// What uninstalling leaves: what the install plan adds that the uninstall
// plan does not take away. Portable.
#pragma once

#include "inx-check/plan/InstallPlan.h"
#include "inx-check/reader/CodePage.h"

#include <string>
#include <unordered_set>

Leftovers LeftBehind(const CodePage& page, const SectionPlan& install,
                     const SectionPlan* uninstall);
// Whether both name the same leftovers, in the same order.
bool SameLeftovers(const Leftovers& one, const Leftovers& other);

// Names folded as the engine compares them (FoldedName).
using NameSet = std::unordered_set<std::string>;
// True when a key above `key` (or, with `itself`, the key) is among `keys`.
bool UnderKeys(const CodePage& page, const std::string& key, const NameSet& keys, bool itself);
