// The template's own suppressions: a comment "; inx-check: disable=RULE[,RULE...]"
// silences those rules on its line, or, alone on a line, on the line after it;
// a reason may follow the list behind ';' or "--".
#pragma once

#include "inx-check/rules/TemplateCheck.h"

#include <string>
#include <vector>

// `findings` (with `lines` the index of `fileBytes`) without those that the template's comments or
// `disabledForRun` (indexed by Rule) silence, with an unknown-rule finding for each name a comment
// gives that is no rule. Keeps the findings' order.
std::vector<Diagnostic> ApplySuppressions(const std::string& fileBytes, const LineIndex& lines,
                                          const std::vector<Diagnostic>& findings,
                                          const std::vector<bool>& disabledForRun);
