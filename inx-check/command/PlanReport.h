// inx-check --plan: what installing and uninstalling the template's
// install.inf will do, as lines to read or as JSON.
#pragma once

#include "inx-check/reader/CodePage.h"
#include "inx-check/plan/Windows.h"

#include <string>

enum class PlanFormat { Text, Json };

// The plan for a template file holding `fileBytes`, for the application's
// `folder` (the stand-in folder when null), read in the code page `page`,
// on `windows`.
std::string PlanReport(const std::string& fileBytes, const std::string* folder,
                       const CodePage& page, PlanFormat format, Windows windows = Windows::Bits32);
