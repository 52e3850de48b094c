// inx-check's output: findings as GCC prints diagnostics or as SARIF 2.1.0,
// and the rule table as text. Quoted INF text is converted from the ANSI
// code page to UTF-8 for output.
#pragma once

#include "inx-check/reader/CodePage.h"
#include "inx-check/rules/TemplateCheck.h"

#include "inx-check/fix/Patch.h"

#include <string>
#include <string_view>
#include <vector>

// A finding's text as shown: in UTF-8, each control character escaped
// (\r, \n, \t, \xNN), so that a finding is always one line.
std::string ShownText(const CodePage& page, std::string_view text);

// UTF-8 text as a JSON string, in its double quotes.
std::string JsonString(std::string_view utf8);

// "FILE:LINE:COLUMN: error: TEXT [rule]" lines.
std::string TextReport(const std::string& fileName, const LineIndex& lines,
                       const std::vector<Diagnostic>& findings, const CodePage& page);

// One SARIF 2.1.0 log: the tool with its version and every rule, and a
// result per finding; a finding whose rule --fix answers carries `fix`, the
// lines --fix inserts into `bytes`, as its fixes.
std::string SarifReport(const std::string& fileName, const LineIndex& lines,
                        const std::vector<Diagnostic>& findings, const CodePage& page,
                        std::string_view version, const std::string& bytes = {},
                        const std::vector<Insertion>& fix = {});

// The rule table: name, severity and summary, then the explanation indented.
std::string RuleList();
// One rule: its summary, what the engine does, and its two examples.
std::string RuleExplanation(const RuleInfo& rule);
