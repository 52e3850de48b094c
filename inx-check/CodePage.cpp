#include "inx-check/CodePage.h"

namespace {

void AppendUtf8(char32_t code, std::string* out)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code page's byte for a character; false when it has none.
bool ByteOf(const CodePage& page, char32_t code, std::string* bytes)
{
    if (code < 0x80) {
        *bytes += static_cast<char>(code);
        return true;
    }
    for (std::size_t i = 0; i < 128; ++i) {
        if (page.high[i] == code && code != 0xFFFD) {
            *bytes += static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

}  // namespace

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
    return numbers;
}

std::string Utf8FromCodePage(const CodePage& page, std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(byte < 0x80 ? byte : page.high[byte - 0x80], &out);
    }
    return out;
}

bool CodePageFromUtf8(const CodePage& page, std::string_view utf8, std::string* bytes)
{
    bytes->clear();
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(utf8, at, &code);
        if (length == 0 || !ByteOf(page, code, bytes)) {
            return false;
        }
        at += length;
    }
    return true;
}

bool CodePageFromUtf16(const CodePage& page, std::u16string_view utf16, std::string* bytes)
{
    bytes->clear();
    for (const char16_t unit : utf16) {
        if ((unit >= 0xD800 && unit <= 0xDFFF) || !ByteOf(page, unit, bytes)) {
            return false;  // no code page has a character beyond the first plane
        }
    }
    return true;
}

std::string UpperInCodePage(const CodePage& page, std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 'a' && byte <= 'z') {
            c = static_cast<char>(byte - 0x20);
        } else if (byte >= 0x80) {
            c = static_cast<char>(page.upper[byte - 0x80]);
        }
    }
    return upper;
}
