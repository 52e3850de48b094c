#include "inx-check/plan/PlanFields.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

template <Windows windows>
std::string Resolved(long dirid)
{
    return ResolvedDirectory(dirid, windows);
}

}  // namespace

std::string ResolvedDirectory(long dirid, Windows windows)
{
    if (dirid == -1 || dirid == 0) {
        return "";
    }
    const std::string path = DirectoryPath(dirid, windows);
    return path.empty() ? std::string(kSystemFolder) + "\\unknown" : path;
}

std::string HandedOut(const Inf& inf, Windows windows, const InfLine& line, std::size_t i)
{
    if (i >= line.valueCount) {
        return "";
    }
    const InfField& field = inf.Value(line, i);
    return AsWindowsReads(
        field,
        SubstituteStrings(inf, inf.Text(field), nullptr,
                          windows == Windows::Bits64         ? Resolved<Windows::Bits64>
                          : windows == Windows::Bits64Native ? Resolved<Windows::Bits64Native>
                                                             : Resolved<Windows::Bits32>));
}

std::string DirectiveOf(const Inf& inf, const InfLine& line)
{
    return line.explicitKey ? LowerAscii(SubstituteStrings(inf, inf.Text(inf.Key(line)))) : "";
}

bool IntField(const std::string& text, long* number, bool emptyIsZero)
{
    if (text.empty()) {
        *number = 0;
        return emptyIsZero;
    }
    char* end = nullptr;
    const long long read = std::strtoll(text.c_str(), &end, 0);
    *number = static_cast<long>(std::clamp<long long>(read, INT32_MIN, INT32_MAX));
    return *end == '\0';
}
