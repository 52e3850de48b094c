// Reads an INF file's text as the INF engine reads it: sections (names
// compared without case, duplicates merged), lines, an optional key before
// '=', comma-separated fields, double quotes ("" inside them is one quote),
// ';' comments outside quotes, '\' at a line's end joining the next line, and
// fields cut at the engine's length. Offsets are into the text read, which
// is in an ANSI code page: a double-byte character is one character, and
// its second byte never a '\\', '[' or ']'. Portable.
#pragma once

#include "inx-check/reader/CodePage.h"
#include "inx-check/reader/Offsets.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The longest field the engine keeps (Wine's setupapi; Windows keeps
// MAX_INF_STRING_LENGTH, 4096) and the longest section name, in characters.
inline constexpr std::size_t kLongestInfField = 511;
inline constexpr std::size_t kLongestInfSectionName = 255;

struct InfField {
    InfOffset begin{0};      // first character read into it
    InfOffset end{0};        // just past the last
    std::size_t length = 0;  // characters before the cut at kLongestInfField
    std::size_t textAt = 0;  // its text: in the INF's own text, or in Inf::cooked
    std::size_t textLength = 0;
    bool cooked = false;  // quotes, a joined line or a cut made its text differ from the INF's
    bool quoted = false;  // some of it stood between double quotes
    InfOffset openQuote{kNowhere};        // a quote still open at the line's end
    InfOffset joinedLine{kNowhere};       // a '\' that joined the next line into it
    InfOffset commentAttached{kNowhere};  // a ';' right after its text, cutting it there
    InfOffset textAfterQuotes{kNowhere};  // unquoted text after a closing quote and a space
};

// A line's fields, in Inf::fields: the key written before '=' (if any), then
// the values.
struct InfLine {
    std::size_t firstValue = 0;
    std::size_t valueCount = 0;
    bool explicitKey = false;  // written with '=', at firstValue - 1

    // A lone value with no '=' is the line's key too.
    bool HasKey() const { return explicitKey || valueCount == 1; }
    std::size_t KeyIndex() const { return explicitKey ? firstValue - 1 : firstValue; }
};

struct InfSection {
    std::string name;
    InfOffset header{0};  // the '[' of its first header
    std::vector<InfLine> lines;
};

// Why the engine refuses a whole INF, in the order it finds them.
enum class InfError {
    None,
    TextBeforeFirstSection,  // only when there is no [Strings] section
    UnclosedSectionName,     // '[' without ']' on its line
    SectionNameTooLong,      // over kLongestInfSectionName characters
    // No [Version] Signature of $Windows NT$ or $Chicago$:
    NoVersionSection,
    NoSignature,       // [Version] has no Signature line
    UnknownSignature,  // the first Signature line names another (errorAt is its value)
};

struct Inf {
    const std::string* text = nullptr;  // what was read; must outlive the Inf
    const CodePage* page = nullptr;     // the code page it was read in
    std::vector<InfSection> sections;   // in the order of their first headers
    std::vector<InfField> fields;       // every line's, in the order read
    std::string cooked;                 // the texts of the cooked fields
    InfError error = InfError::None;
    InfOffset errorAt{kNowhere};
    std::string signature;                       // the first Signature line's value, as written
    InfOffset textBeforeFirstSection{kNowhere};  // the first such text, error or not
    std::unordered_map<std::string, std::size_t> index;    // folded name to section
    std::unordered_map<std::string, std::string> strings;  // folded [Strings] key to value

    // The section named `name` (any case), or nullptr.
    const InfSection* Find(const std::string& name) const;
    // A name as the engine compares it: ASCII letters in lower case.
    std::string Folded(std::string_view name) const;
    // A field's text as the engine keeps it, before substitution.
    std::string_view Text(const InfField& field) const;
    const InfField& Key(const InfLine& line) const { return fields[line.KeyIndex()]; }
    const InfField& Value(const InfLine& line, std::size_t i) const
    {
        return fields[line.firstValue + i];
    }
};

// Reads `text`, in the code page `page`; the Inf refers to both.
Inf ReadInf(const std::string& text, const CodePage& page);

// A %...% pair in a field that the engine replaces, or leaves as it is.
struct InfSubstitution {
    std::size_t at;    // offset of the opening '%' within the field's text
    std::string name;  // between the two '%'
    enum class Kind { Escape, String, Directory, Undefined } kind;
    long dirid = 0;  // a Directory's number, read in decimal as the engine reads it
};

// The field's text as the engine hands it out: each %key% replaced by the
// first field of that key's line in [Strings], %% by %, and %number% by a
// directory (written here as <DIRID number>, or as `directory` gives its path
// when it is not null). Lists each pair met in `pairs` when it is not null.
std::string SubstituteStrings(const Inf& inf, std::string_view text,
                              std::vector<InfSubstitution>* pairs = nullptr,
                              std::string (*directory)(long) = nullptr);

// `text`, a field's text as the engine hands it out, as Windows' engine hands
// it out: the CR that Wine keeps at the end of a field whose quote is never
// closed is Wine's alone.
std::string AsWindowsReads(const InfField& field, std::string text);

// Lower-case ASCII copy, for comparing names as the engine does (in a
// double-byte code page, Inf::Folded).
std::string LowerAscii(std::string_view view);
