// How the plan reads install.inf's fields: as the engine hands them out, on
// one Windows, with folder numbers resolved. Shared by the plan's parts.
// Portable.
#pragma once

#include "inx-check/reader/InfReader.h"
#include "inx-check/plan/Windows.h"

#include <string>

// The text the engine substitutes for %dirid% on `windows`.
std::string ResolvedDirectory(long dirid, Windows windows);

// Value `i` of `line` as the engine hands it out; "" past the line's last.
std::string HandedOut(const Inf& inf, Windows windows, const InfLine& line, std::size_t i);

// A line's directive (its key, substituted) in lower case; "" without '='.
std::string DirectiveOf(const Inf& inf, const InfLine& line);

// A number field as SetupGetIntField reads it (strtol, base 0, in 32 bits):
// false when it is none. An empty field is none here; `emptyIsZero` reads
// it as 0, as the engine does where the field is optional.
bool IntField(const std::string& text, long* number, bool emptyIsZero = false);

// Each directive line of `section` named `directive` (lower case): every
// section it names, with the field that names it.
template <typename Visit>
void ForEachNamed(const Inf& inf, const InfSection& section, const char* directive, Visit visit)
{
    for (const InfLine& line : section.lines) {
        if (DirectiveOf(inf, line) != directive) {
            continue;
        }
        for (std::size_t i = 0; i < line.valueCount; ++i) {
            const std::string name = SubstituteStrings(inf, inf.Text(inf.Value(line, i)));
            if (!name.empty()) {
                visit(name, inf.Value(line, i));
            }
        }
    }
}
