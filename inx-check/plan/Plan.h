// The install plan: what the engine's install section and uninstall section
// will do to the machine, read from install.inf before it runs. The sections
// are read once into requests (InstallReading.h), then planned from those
// alone. Portable.
#pragma once

#include "inx-check/plan/InstallPlan.h"
#include "inx-check/reader/InfReader.h"

// The plan for an INF the engine accepts, on `windows`.
InstallPlan MakePlan(const Inf& inf, Windows windows);
