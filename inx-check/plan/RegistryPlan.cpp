#include "inx-check/plan/RegistryPlan.h"

#include <cstdlib>
#include <cstring>

namespace {

// AddReg and DelReg flags.
constexpr unsigned long kBinaryValueType = 0x1;
constexpr unsigned long kNoClobber = 0x2;
constexpr unsigned long kDeleteValue = 0x4;
constexpr unsigned long kAppend = 0x8;
constexpr unsigned long kKeyOnly = 0x10;
constexpr unsigned long kOverwriteOnly = 0x20;
constexpr unsigned long kKeyOnlyCommon = 0x2000;
constexpr unsigned long kDeleteRegBit = 0x8000;
constexpr unsigned long kDeleteString = 0x18002;
constexpr unsigned long kTypeMask = 0xFFFF0001;

// A REG_DWORD's text as wcstoul reads it: base 0, up to the first character
// that is no digit, a minus sign wrapping around, saturated at 32 bits.
unsigned long DwordOf(const std::string& text)
{
    const char* at = text.c_str();
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    const bool negative = *at == '-';
    char* end = nullptr;
    const unsigned long long read = std::strtoull(negative || *at == '+' ? at + 1 : at, &end, 0);
    const unsigned long value =
        read > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : static_cast<unsigned long>(read);
    return negative && read <= 0xFFFFFFFFULL ? (0x100000000ULL - value) & 0xFFFFFFFFUL : value;
}

unsigned long TypeOf(unsigned long flags)
{
    switch (flags & kTypeMask) {
    case 0x00000000:
        return kRegSz;
    case 0x00010000:
        return kRegMultiSz;
    case 0x00020000:
        return kRegExpandSz;
    case 0x00000001:
        return kRegBinary;
    case 0x00010001:
        return kRegDword;
    case 0x00020001:
        return kRegNone;
    default:
        return flags >> 16;
    }
}

// The bytes a binary field holds, as SetupGetBinaryField reads it: its hex
// digits up to the first character that is none (an empty field is 00);
// false when they make more than a byte (the engine then writes bytes it
// never read).
bool BinaryByte(const std::string& written, unsigned char* byte)
{
    unsigned value = 0;
    for (const char c : written) {
        const char* const digits = "0123456789abcdef";
        const char* const found =
            c == '\0' ? nullptr : std::strchr(digits, c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
        if (found == nullptr) {
            break;
        }
        const auto digit = static_cast<unsigned>(found - digits);
        if ((value <<= 4U) > 255) {
            return false;
        }
        value |= digit;
    }
    *byte = static_cast<unsigned char>(value);
    return true;
}

}  // namespace

void RegistryPlanner::Plan(const std::vector<RegistryRequest>& requests, bool deleting)
{
    for (const RegistryRequest& request : requests) {
        Act(request, deleting);
    }
}

void RegistryPlanner::MakeKey(const std::string& key, InfOffset at)
{
    const std::string compared = UpperInCodePage(page_, key);
    if (madeKeys_.insert(compared).second) {
        plan_.keys.push_back({key, at, skipping_});
    } else if (!skipping_) {
        // Made before in a part Wine skips, and now in one it runs.
        for (PlannedKey& made : plan_.keys) {
            if (UpperInCodePage(page_, made.key) == compared) {
                made.wineSkips = false;
            }
        }
    }
}

void RegistryPlanner::Act(const RegistryRequest& request, bool deleting)
{
    const unsigned long flags = request.flags;
    const std::string key = RegistryLocation(request.key, flags, windows_);
    const std::string wineKey = WineRegistryLocation(request.key, flags, windows_);
    if (!wineKey.empty() && wineDiffers_.insert(UpperInCodePage(page_, key)).second) {
        plan_.wineDiffers.push_back({key, wineKey, request.at});
    }
    if (deleting && flags != 0 && (flags & kDeleteRegBit) == 0) {
        // An AddReg line under DelReg: Wine's engine and some of Windows' skip it, others
        // delete its value.
        plan_.registryDeletesVary.push_back({key, request.name, std::nullopt, request.at});
        return;
    }
    if (!deleting && (flags & kDeleteRegBit) != 0) {
        return;  // the engine leaves such a line to DelReg
    }
    // The engine only opens the key to delete from it, or to overwrite a value.
    if (!deleting && (flags & kOverwriteOnly) == 0) {
        MakeKey(key, request.at);
    }
    if (deleting || (flags & kDeleteValue) != 0) {
        PlannedRegistryDelete removal{key, std::nullopt, std::nullopt, request.at, skipping_};
        if (!request.name.empty() && (flags & kKeyOnlyCommon) == 0) {
            removal.name = request.name;
            if ((flags & kDeleteString) == kDeleteString) {
                if (request.data.empty()) {
                    return;  // no string to delete: the engine leaves the value
                }
                removal.string = request.data.front();
            }
        }
        plan_.registryDeletes.push_back(removal);
        return;
    }
    if ((flags & (kKeyOnly | kKeyOnlyCommon)) != 0 ||
        (flags & (kNoClobber | kOverwriteOnly)) == (kNoClobber | kOverwriteOnly)) {
        return;  // a key alone; or a value written only where it is, and only where it is not
    }
    WriteValue(request, key);
}

void RegistryPlanner::WriteValue(const RegistryRequest& request, const std::string& key)
{
    const unsigned long flags = request.flags;
    PlannedValue value;
    value.key = key;
    value.name = request.name;
    value.at = request.at;
    value.wineSkips = skipping_;
    value.type = TypeOf(flags);
    value.write = (flags & kNoClobber) != 0       ? Write::IfMissing
                  : (flags & kOverwriteOnly) != 0 ? Write::IfPresent
                                                  : Write::Set;
    if ((flags & kBinaryValueType) == 0 || (value.type == kRegDword && request.fieldCount == 5)) {
        if (value.type == kRegMultiSz) {
            // The engine joins the fields from the fifth on, up to an empty one.
            for (const std::string& item : request.data) {
                if (item.empty()) {
                    break;
                }
                value.strings.push_back(item);
            }
            if ((flags & kAppend) != 0) {
                if (value.strings.empty()) {
                    return;  // nothing to append: the value is not touched
                }
                value.write = Write::AppendStrings;
            }
        } else if (value.type == kRegDword) {
            value.number = request.data.empty() ? 0 : DwordOf(request.data.front());
        } else {
            value.strings.push_back(request.data.empty() ? "" : request.data.front());
        }
    } else {
        value.binary = true;
        for (const std::string& written : request.written) {
            unsigned char byte = 0;
            if (!BinaryByte(written, &byte)) {
                value.bytesKnown = false;
                break;
            }
            value.bytes += static_cast<char>(byte);
        }
    }
    plan_.registry.push_back(value);
}
