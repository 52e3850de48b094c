#include "inx-check/rules/CheckContext.h"

#include <algorithm>
#include <cstdlib>

namespace {

// True when the flags are a number the engine reads as written.
bool CheckRegistryFlags(CheckContext& check, const InfField& field)
{
    const std::string flags = check.Value(field);
    if (flags.empty()) {
        return true;
    }
    const bool hex = flags.size() > 2 && flags[0] == '0' && (flags[1] | 0x20) == 'x' &&
                     flags.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    const bool decimal = flags.find_first_not_of("0123456789") == std::string::npos;
    if (decimal && flags.size() > 1 && flags[0] == '0') {
        const std::size_t digits = flags.find_first_not_of('0');
        check.Add(Rule::RegistryFlags, field.begin,
                  "the flags " + Quoted(flags) +
                      " start with 0, which Wine reads as an octal number (another value type "
                      "than meant); write 0x" +
                      flags.substr(digits == std::string::npos ? flags.size() - 1 : digits));
    } else if (!hex && !decimal) {
        check.Add(Rule::RegistryFlags, field.begin,
                  "the flags " + Quoted(flags) +
                      " are not a number (hexadecimal with 0x, or decimal): the engine skips or "
                      "misreads this line");
    } else {
        return true;
    }
    return false;
}

// A string or expandable string takes one value field, and the engine
// stores only that one (Wine's and Windows' AddReg read field 5 alone).
void CheckValueCount(CheckContext& check, const InfLine& line)
{
    const Inf& inf = check.inf;
    const std::string flags = check.Value(inf.Value(line, 3));
    const unsigned long number = flags.empty() ? 0 : std::strtoul(flags.c_str(), nullptr, 0);
    constexpr unsigned long kTypeMask = 0xFFFF0001UL;
    constexpr unsigned long kExpandable = 0x00020000UL;
    constexpr unsigned long kNoValue = 0x14UL;  // FLG_ADDREG_KEYONLY, FLG_ADDREG_DELVAL
    const unsigned long type = number & kTypeMask;
    if ((type != 0 && type != kExpandable) || (number & kNoValue) != 0) {
        return;
    }
    std::size_t extra = 0;
    for (std::size_t i = 4; i < line.valueCount; ++i) {
        const InfField& field = inf.Value(line, i);
        if (Somewhere(field.joinedLine) ||
            (check.FolderIn(field) != kNowhere &&
             check.Value(field).find(check.folder) == std::string::npos)) {
            return;  // a joined line or a split folder has its own finding
        }
        extra += i > 4 && !inf.Text(field).empty() ? 1U : 0U;
    }
    if (extra > 0) {
        check.Add(Rule::ExtraValueFields, inf.Value(line, 5).begin,
                  std::string(type == 0 ? "a string value" : "an expandable string value") +
                      " takes one field, and the engine stores only " +
                      Quoted(check.Value(inf.Value(line, 4))) + ": the " + std::to_string(extra) +
                      (extra == 1 ? " field after it is" : " fields after it are") +
                      " lost (put the whole value in one pair of double quotes)");
    }
}

}  // namespace

void CheckRegistry(CheckContext& check, const InfSection& section, bool adding)
{
    const Inf& inf = check.inf;
    for (const InfLine& line : section.lines) {
        if (line.valueCount == 0) {
            continue;
        }
        const InfField& rootField = inf.Value(line, 0);
        const std::string root = check.Value(rootField);
        const std::string lowered = LowerAscii(root);
        if (lowered == "hkr") {
            check.Add(Rule::RegistryRoot, rootField.begin,
                      "HKR means the key of a device or service, which [DefaultInstall] has not: "
                      "the engine skips this line");
        } else if (lowered != "hkcr" && lowered != "hkcu" && lowered != "hklm" &&
                   lowered != "hku") {
            check.Add(Rule::RegistryRoot, rootField.begin,
                      Quoted(root) +
                          " is not a root the engine knows (HKCR, HKCU, HKLM, HKU): it skips "
                          "this line");
        }
        if (adding && line.valueCount > 3 && CheckRegistryFlags(check, inf.Value(line, 3))) {
            CheckValueCount(check, line);
        }
    }
}
