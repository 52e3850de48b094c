// What the rules are given beside the template, and what each finding is.
#pragma once

#include "inx-check/reader/Offsets.h"
#include "inx-check/rules/Rules.h"

#include <cstddef>
#include <string>

struct Diagnostic {
    Rule rule;
    Severity severity;  // the rule's
    FileOffset offset;  // of the byte in the template file that is the cause
    std::string text;
};

// The longest INF line or string that Windows' INF engine handles
// (MAX_INF_STRING_LENGTH), in characters.
inline constexpr std::size_t kLongestInfLine = 4096;
// The folder that stands for the application's when none is given.
inline constexpr char kStandInFolder[] = "C:\\Program Files\\ZI050";

// The files shipped beside the template.
class Package {
public:
    // True when the package holds a file at `path`, relative to the
    // template's folder, with '\' between folders, any case (as on Windows).
    virtual bool Holds(const std::string& path) const = 0;

protected:
    ~Package() = default;
};
