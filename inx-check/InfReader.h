// Reads an INF file's text as the INF engine reads it: sections (names
// compared without case, duplicates merged), lines, an optional key before
// '=', comma-separated fields, double quotes ("" inside them is one quote),
// ';' comments outside quotes, '\' at a line's end joining the next line, and
// fields cut at the engine's length. Offsets are into the text read; bytes
// are characters of the ANSI code page. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// The longest field the engine keeps (Wine's setupapi; Windows keeps
// MAX_INF_STRING_LENGTH, 4096) and the longest section name, in characters.
inline constexpr std::size_t kLongestInfField = 511;
inline constexpr std::size_t kLongestInfSectionName = 255;
inline constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

struct InfField {
    std::string text;  // as the engine keeps it: quotes resolved, cut at kLongestInfField
    std::size_t begin = 0;  // first character read into it
    std::size_t end = 0;    // just past the last
    std::size_t length = 0;  // characters before the cut
    bool quoted = false;     // some of it stood between double quotes
    std::size_t openQuote = kNowhere;        // a quote still open at the line's end
    std::size_t joinedLine = kNowhere;       // a '\' that joined the next line into it
    std::size_t commentAttached = kNowhere;  // a ';' right after its text, cutting it there
    std::size_t textAfterQuotes = kNowhere;  // unquoted text after a closing quote and a space
};

struct InfLine {
    std::size_t begin = 0;
    bool hasKey = false;       // "key = fields"; a lone field with no '=' is its own key too
    bool explicitKey = false;  // written with '='
    InfField key;              // when explicitKey
    std::vector<InfField> fields;

    // The key, when hasKey.
    const InfField& Key() const { return explicitKey ? key : fields[0]; }
};

struct InfSection {
    std::string name;
    std::size_t header = 0;  // the '[' of its first header
    std::vector<InfLine> lines;
};

// Why the engine refuses a whole INF, in the order it finds them.
enum class InfError {
    None,
    TextBeforeFirstSection,  // only when there is no [Strings] section
    UnclosedSectionName,     // '[' without ']' on its line
    SectionNameTooLong,      // over kLongestInfSectionName characters
    NoSignature,  // no [Version] Signature of $Windows NT$, $Chicago$ or $Windows 95$
};

struct Inf {
    std::vector<InfSection> sections;  // in the order of their first headers
    InfError error = InfError::None;
    std::size_t errorAt = kNowhere;
    std::size_t textBeforeFirstSection = kNowhere;  // the first such text, error or not
    std::unordered_map<std::string, std::size_t> index;  // lower-case name to section
    std::unordered_map<std::string, std::string> strings;  // lower-case [Strings] key to value

    // The section named `name` (any case), or nullptr.
    const InfSection* Find(const std::string& name) const;
};

Inf ReadInf(const std::string& text);

// A %...% pair in a field that the engine replaces, or leaves as it is.
struct InfSubstitution {
    std::size_t at;    // offset of the opening '%' within the field's text
    std::string name;  // between the two '%'
    enum class Kind { Escape, String, Directory, Undefined } kind;
};

// The field's text as the engine hands it out: each %key% replaced by the
// first field of that key's line in [Strings], %% by %, and %number% by a
// directory (written here as <DIRID number>). Lists each pair met in `pairs`
// when it is not null.
std::string SubstituteStrings(const Inf& inf, const std::string& text,
                              std::vector<InfSubstitution>* pairs = nullptr);

// Lower-case ASCII copy, for comparing names as the engine does.
std::string LowerAscii(std::string text);
