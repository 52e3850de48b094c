// The single-byte ANSI code pages in which Windows reads an INF's bytes:
// their characters, and case as Windows compares file names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct CodePageTable {
    unsigned number;
    char16_t high[128];        // the characters of bytes 0x80 to 0xFF
    unsigned char upper[128];  // each of those bytes' upper-case byte
};
extern const CodePageTable kCodePageTables[];
extern const std::size_t kCodePageTableCount;

using CodePage = CodePageTable;
inline constexpr unsigned kDefaultCodePage = 1252;

// The code page of that number, or nullptr when it is not a single-byte one.
const CodePage* FindCodePage(unsigned number);
// The numbers of the code pages there are, as "874, 1250, …".
std::string CodePageNumbers();

// `text`, read in the code page, in UTF-8.
std::string Utf8FromCodePage(const CodePage& page, std::string_view text);
// The code page's bytes for UTF-8 text (or UTF-16 text); false when the text
// is not valid or holds a character the code page lacks.
bool CodePageFromUtf8(const CodePage& page, std::string_view utf8, std::string* bytes);
bool CodePageFromUtf16(const CodePage& page, std::u16string_view utf16, std::string* bytes);
// The character of a valid UTF-8 sequence at `at` in `text`, and the
// sequence's length; 0 when the bytes there are no valid sequence.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t* code);
// Upper-case bytes, for comparing names without regard to case as Windows
// does, for every letter the code page has.
std::string UpperInCodePage(const CodePage& page, std::string_view text);
