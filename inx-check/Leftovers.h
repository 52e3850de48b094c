// What uninstalling leaves: what the install plan adds that the uninstall
// plan does not take away. Portable.
#pragma once

#include "inx-check/Plan.h"

Leftovers LeftBehind(const Inf& inf, const SectionPlan& install, const SectionPlan* uninstall);
