#include "inx-check/reader/CodePage.h"

#include <algorithm>
#include <unordered_map>

namespace {

void AppendUtf8(char32_t code, std::string* out)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-8 as the ANSI code page (Windows' "Beta: Use Unicode UTF-8"): no table.
const CodePageTable kUtf8{kUtf8CodePage, {}, {}, nullptr};

bool IsUtf8(const CodePage& page)
{
    return page.number == kUtf8CodePage;
}

// Each character's upper case as the code pages' tables give it, for UTF-8.
const std::unordered_map<char32_t, char32_t>& UpperCharacters();

constexpr char16_t kUndefined = 0xFFFD;

// The row of pairs that `byte` leads, or nullptr.
const char16_t* PairRow(const CodePage& page, unsigned char byte)
{
    if (page.pairs == nullptr || byte < 0x80 || page.pairs->row[byte - 0x80] == 0) {
        return nullptr;
    }
    return page.pairs->characters + (page.pairs->row[byte - 0x80] - 1) * kTrailBytes;
}

// The character at `at`, and its length in bytes.
char32_t CharacterAt(const CodePage& page, std::string_view text, std::size_t at,
                     std::size_t* length)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    *length = CharacterLength(page, text, at);
    if (IsUtf8(page)) {
        char32_t code = kUndefined;
        return DecodeUtf8(text, at, &code) == 0 ? kUndefined : code;
    }
    if (*length == 2) {
        const auto trail = static_cast<unsigned char>(text[at + 1]);
        return trail >= kFirstTrailByte && trail <= kLastTrailByte
                   ? PairRow(page, byte)[trail - kFirstTrailByte]
                   : kUndefined;
    }
    return byte < 0x80 ? byte : page.high[byte - 0x80];
}

// The code page's bytes for a character; false when it has none.
bool BytesOf(const CodePage& page, char32_t code, std::string* bytes)
{
    if (code < 0x80) {
        *bytes += static_cast<char>(code);
        return true;
    }
    if (IsUtf8(page)) {
        if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return false;
        }
        AppendUtf8(code, bytes);
        return true;
    }
    if (code == kUndefined || code > 0xFFFF) {
        return false;
    }
    // A lead byte alone reads as U+FFFD, which no character is encoded as.
    for (std::size_t i = 0; i < 128; ++i) {
        if (page.high[i] == code) {
            *bytes += static_cast<char>(0x80 + i);
            return true;
        }
    }
    for (unsigned lead = 0x80; lead <= 0xFF && page.pairs != nullptr; ++lead) {
        const char16_t* row = PairRow(page, static_cast<unsigned char>(lead));
        const char16_t* found = row != nullptr ? std::find(row, row + kTrailBytes, code) : nullptr;
        if (found != nullptr && found != row + kTrailBytes) {
            *bytes += static_cast<char>(lead);
            *bytes += static_cast<char>(kFirstTrailByte + (found - row));
            return true;
        }
    }
    return false;
}

}  // namespace

std::size_t Utf8CharacterLength(std::string_view text, std::size_t at)
{
    char32_t code = 0;
    const std::size_t length = DecodeUtf8(text, at, &code);
    if (length != 0) {
        return length;
    }
    // The start of a sequence cut short is one character (one U+FFFD, as
    // Windows converts it); a byte that starts none is one alone.
    const auto byte = [&text](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(at);
    const std::size_t full = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 1;
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    std::size_t taken = 1;
    while (taken < full) {
        const unsigned next = byte(at + taken);
        if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF)) {
            break;
        }
        ++taken;
    }
    return taken;
}

std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t* code)
{
    const auto byte = [&text](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(at);
    std::size_t length = 1;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        *code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        *code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
        *code = lead & 0x07;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byte(at + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return 0;
        }
        *code = (*code << 6) | (next & 0x3F);
    }
    return length;
}

const CodePage* FindCodePage(unsigned number)
{
    if (number == kUtf8CodePage) {
        return &kUtf8;
    }
    for (std::size_t i = 0; i < kCodePageTableCount; ++i) {
        if (kCodePageTables[i].number == number) {
            return &kCodePageTables[i];
        }
    }
    return nullptr;
}

std::string CodePageNumbers()
{
    std::string numbers;
    for (std::size_t i = 0; i < kCodePageTableCount; ++i) {
        numbers += (i == 0 ? "" : ", ") + std::to_string(kCodePageTables[i].number);
    }
    return numbers + ", " + std::to_string(kUtf8CodePage);
}

std::size_t CharacterLength(const CodePage& page, std::string_view text, std::size_t at)
{
    if (IsUtf8(page)) {
        return Utf8CharacterLength(text, at);
    }
    // A lead byte before a NUL, or at the end, is a character alone.
    return at + 1 < text.size() && text[at + 1] != '\0' &&
                   PairRow(page, static_cast<unsigned char>(text[at])) != nullptr
               ? 2
               : 1;
}

std::size_t FindCharacter(const CodePage& page, std::string_view text, char c, std::size_t from)
{
    for (std::size_t at = 0; at < text.size(); at += CharacterLength(page, text, at)) {
        if (at >= from && text[at] == c) {
            return at;
        }
    }
    return std::string_view::npos;
}

std::size_t LastCharacter(const CodePage& page, std::string_view text)
{
    std::size_t last = std::string_view::npos;
    for (std::size_t at = 0; at < text.size(); at += CharacterLength(page, text, at)) {
        last = at;
    }
    return last;
}

std::string Utf8FromCodePage(const CodePage& page, std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        AppendUtf8(CharacterAt(page, text, at, &length), &out);
    }
    return out;
}

std::u16string Utf16FromCodePage(const CodePage& page, std::string_view text)
{
    std::u16string out;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t code = CharacterAt(page, text, at, &length);
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10U));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FFU));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

bool CodePageFromUtf8(const CodePage& page, std::string_view utf8, std::string* bytes)
{
    bytes->clear();
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(utf8, at, &code);
        if (length == 0 || !BytesOf(page, code, bytes)) {
            return false;
        }
        at += length;
    }
    return true;
}

bool CodePageFromUtf16(const CodePage& page, std::u16string_view utf16, std::string* bytes)
{
    bytes->clear();
    if (IsUtf8(page)) {
        for (std::size_t at = 0; at < utf16.size(); ++at) {
            char32_t code = utf16[at];
            if (code >= 0xD800 && code <= 0xDBFF && at + 1 < utf16.size() &&
                utf16[at + 1] >= 0xDC00 && utf16[at + 1] <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10U) + (utf16[++at] - 0xDC00);
            }
            if (!BytesOf(page, code, bytes)) {
                return false;
            }
        }
        return true;
    }
    for (const char16_t unit : utf16) {
        if ((unit >= 0xD800 && unit <= 0xDFFF) || !BytesOf(page, unit, bytes)) {
            return false;  // no code page has a character beyond the first plane
        }
    }
    return true;
}

std::string UpperInCodePage(const CodePage& page, std::string_view text)
{
    if (IsUtf8(page)) {
        std::string upper;
        for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
            const char32_t code = CharacterAt(page, text, at, &length);
            const auto found = UpperCharacters().find(code);
            if (code >= 'a' && code <= 'z') {
                upper += static_cast<char>(code - 0x20);
            } else if (found != UpperCharacters().end()) {
                AppendUtf8(found->second, &upper);
            } else {
                upper.append(text.substr(at, length));
            }
        }
        return upper;
    }
    std::string upper(text);
    for (std::size_t at = 0; at < upper.size(); ++at) {
        const auto byte = static_cast<unsigned char>(upper[at]);
        if (CharacterLength(page, upper, at) == 2) {
            const std::uint32_t pair =
                std::uint32_t{byte} << 8U | static_cast<unsigned char>(upper[at + 1]);
            const std::uint32_t* end = page.pairs->upper + page.pairs->upperCount;
            const std::uint32_t* found = std::lower_bound(page.pairs->upper, end, pair << 16);
            if (found != end && *found >> 16 == pair) {
                upper[at] = static_cast<char>((*found >> 8) & 0xFF);
                upper[at + 1] = static_cast<char>(*found & 0xFF);
            }
            ++at;
        } else if (byte >= 'a' && byte <= 'z') {
            upper[at] = static_cast<char>(byte - 0x20);
        } else if (byte >= 0x80) {
            upper[at] = static_cast<char>(page.upper[byte - 0x80]);
        }
    }
    return upper;
}

namespace {

const std::unordered_map<char32_t, char32_t>& UpperCharacters()
{
    static const std::unordered_map<char32_t, char32_t> upper = [] {
        std::unordered_map<char32_t, char32_t> map;
        for (std::size_t t = 0; t < kCodePageTableCount; ++t) {
            const CodePage& page = kCodePageTables[t];
            for (std::size_t i = 0; i < 128; ++i) {
                const unsigned char to = page.upper[i];
                const char32_t from = page.high[i];
                const char32_t into = to < 0x80 ? to : page.high[to - 0x80];
                if (from != into && from != kUndefined && into != kUndefined) {
                    map.emplace(from, into);
                }
            }
            for (std::size_t i = 0; page.pairs != nullptr && i < page.pairs->upperCount; ++i) {
                const std::uint32_t entry = page.pairs->upper[i];
                const auto at = [&page](std::uint32_t pair) {
                    return PairRow(page, static_cast<unsigned char>(
                                             pair >> 8U))[(pair & 0xFFU) - kFirstTrailByte];
                };
                map.emplace(at(entry >> 16U), at(entry & 0xFFFFU));
            }
        }
        return map;
    }();
    return upper;
}

}  // namespace

std::string FoldedName(const CodePage& page, std::string_view name)
{
    std::string folded(name);
    for (std::size_t at = 0; at < folded.size(); at += CharacterLength(page, folded, at)) {
        if (folded[at] >= 'A' && folded[at] <= 'Z') {
            folded[at] = static_cast<char>(folded[at] - 'A' + 'a');
        }
    }
    return folded;
}
