// inx-check's output: findings as GCC prints diagnostics or as SARIF 2.1.0,
// and the rule table as text. Quoted INF text is converted from the ANSI
// code page to UTF-8 for output.
#pragma once

#include "inx-check/TemplateCheck.h"

#include <string>
#include <string_view>
#include <vector>

// `text`, read as Windows code page 1252, in UTF-8.
std::string Utf8FromCodePage1252(std::string_view text);

// "FILE:LINE:COLUMN: error: TEXT [rule]" lines.
std::string TextReport(const std::string& fileName, const LineIndex& lines,
                       const std::vector<Diagnostic>& findings);

// One SARIF 2.1.0 log: the tool with its version and every rule, and a
// result per finding.
std::string SarifReport(const std::string& fileName, const LineIndex& lines,
                        const std::vector<Diagnostic>& findings, std::string_view version);

// The rule table: name, severity and summary, then the explanation indented.
std::string RuleList();
