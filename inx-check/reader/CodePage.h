// The ANSI code pages in which Windows reads an INF's bytes: their
// characters, and case as Windows compares file names. In a double-byte code
// page a lead byte and the byte after it are one character; in UTF-8 (65001,
// which has no table) each sequence is, and case is the other pages'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr unsigned char kFirstTrailByte = 0x40;
inline constexpr unsigned char kLastTrailByte = 0xFE;
inline constexpr std::size_t kTrailBytes = kLastTrailByte - kFirstTrailByte + 1;

struct DoubleByteTable {
    std::uint16_t row[128];      // for bytes 0x80 to 0xFF: 1 + its row of pairs; 0: no lead byte
    const char16_t* characters;  // each row's characters of trail bytes 0x40 to 0xFE
    const std::uint32_t* upper;  // pair << 16 | its upper-case pair, sorted by pair
    std::size_t upperCount;
};

struct CodePageTable {
    unsigned number;
    char16_t high[128];            // the characters of bytes 0x80 to 0xFF alone
    unsigned char upper[128];      // each of those bytes' upper-case byte
    const DoubleByteTable* pairs;  // nullptr in a single-byte code page
};
extern const CodePageTable kCodePageTables[];
extern const std::size_t kCodePageTableCount;

using CodePage = CodePageTable;
inline constexpr unsigned kDefaultCodePage = 1252;
// UTF-8 as the ANSI code page, which has no table.
inline constexpr unsigned kUtf8CodePage = 65001;

// The code page of that number, or nullptr when there is none such.
const CodePage* FindCodePage(unsigned number);
// The bytes of the character at `at`: 2 for a lead byte with a byte after it.
std::size_t CharacterLength(const CodePage& page, std::string_view text, std::size_t at);
// The first character `c` (ASCII) in `text` from `from` on, or npos; the
// start of the last character, or npos when the text is empty.
std::size_t FindCharacter(const CodePage& page, std::string_view text, char c,
                          std::size_t from = 0);
std::size_t LastCharacter(const CodePage& page, std::string_view text);
// The numbers of the code pages there are, as "874, 1250, …".
std::string CodePageNumbers();

// `text`, read in the code page, in UTF-8; in UTF-16.
std::string Utf8FromCodePage(const CodePage& page, std::string_view text);
std::u16string Utf16FromCodePage(const CodePage& page, std::string_view text);
// The code page's bytes for UTF-8 text (or UTF-16 text); false when the text
// is not valid or holds a character the code page lacks.
bool CodePageFromUtf8(const CodePage& page, std::string_view utf8, std::string* bytes);
bool CodePageFromUtf16(const CodePage& page, std::u16string_view utf16, std::string* bytes);
// The character of a valid UTF-8 sequence at `at` in `text`, and the
// sequence's length; 0 when the bytes there are no valid sequence.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t* code);
// The bytes of the UTF-8 character at `at`: a valid sequence, or the start
// of one cut short (one unknown character), or a byte that starts none.
std::size_t Utf8CharacterLength(std::string_view text, std::size_t at);
// A name as the engine compares it: ASCII letters in lower case; a lead
// byte is never a letter, and its second byte is stepped over.
std::string FoldedName(const CodePage& page, std::string_view name);
// Upper-case bytes, for comparing names without regard to case as Windows
// does, for every letter the code page has.
std::string UpperInCodePage(const CodePage& page, std::string_view text);
