#include "inx-check/reader/InfReader.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace {

// DIRIDs from here on are defined by the installing program, never by an INF.
constexpr long kFirstUserDirectory = 0x8000;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Where the reading of a line goes after a '"' or a '\' piece.
enum class Part { Key, Value };

class Reader {
public:
    // Ctrl-Z ends the text for the engine too.
    Reader(const std::string& text, const CodePage& page)
        : text_(text), end_(std::min(text.find('\x1A'), text.size())), page_(page)
    {
    }

    Inf Read()
    {
        inf_.text = &text_;
        inf_.page = &page_;
        // Wine's engine reads a file that starts with a UTF-8 byte-order mark
        // as UTF-8, the mark itself no text.
        std::size_t at = text_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        while (at < end_ && inf_.error == InfError::None) {
            at = ReadFromLineStart(at);
        }
        if (inf_.error == InfError::None && Somewhere(inf_.textBeforeFirstSection) &&
            inf_.Find("strings") == nullptr) {
            inf_.error = InfError::TextBeforeFirstSection;
            inf_.errorAt = inf_.textBeforeFirstSection;
        }
        if (inf_.error == InfError::None) {
            CheckSignature();
        }
        inf_.index = std::move(sectionIndex_);
        CollectStrings();
        return std::move(inf_);
    }

private:
    // The engine takes a key's first line and its first field.
    void CollectStrings()
    {
        const InfSection* strings = inf_.Find("strings");
        if (strings == nullptr) {
            return;
        }
        for (const InfLine& line : strings->lines) {
            if (line.HasKey()) {
                inf_.strings.emplace(inf_.Folded(inf_.Text(inf_.Key(line))),
                                     std::string(inf_.Text(inf_.Value(line, 0))));
            }
        }
    }

    // The first Signature line's first field, as written (nothing substituted).
    void CheckSignature()
    {
        const InfSection* version = inf_.Find("version");
        if (version != nullptr) {
            for (const InfLine& line : version->lines) {
                if (!line.HasKey() || LowerAscii(inf_.Text(inf_.Key(line))) != "signature") {
                    continue;
                }
                inf_.signature = inf_.Text(inf_.Value(line, 0));
                const std::string signature = LowerAscii(inf_.signature);
                // Wine also takes "$Windows 95$"; Windows takes no other.
                if (signature == "$windows nt$" || signature == "$chicago$") {
                    return;
                }
                inf_.error = InfError::UnknownSignature;
                inf_.errorAt = inf_.Value(line, 0).begin;
                return;
            }
        }
        inf_.error = version != nullptr ? InfError::NoSignature : InfError::NoVersionSection;
        inf_.errorAt = version != nullptr ? version->header : InfOffset{0};
    }

    bool AtLineEnd(std::size_t at) const { return at >= end_ || text_[at] == '\n'; }

    // The bytes of the character at `at`.
    std::size_t Step(std::size_t at) const
    {
        return CharacterLength(page_, std::string_view(text_).substr(0, end_), at);
    }

    // The characters in [from, to); `*cut`, when not null, gets the bytes of
    // the first `most` of them.
    std::size_t Characters(std::size_t from, std::size_t to, std::size_t most = kNowhere,
                           std::size_t* cut = nullptr) const
    {
        std::size_t count = 0;
        std::size_t at = from;
        for (; at < to && count < most; at += Step(at)) {
            ++count;
        }
        if (cut != nullptr) {
            *cut = std::min(at, to) - from;
        }
        while (at < to) {
            at += Step(at);
            ++count;
        }
        return count;
    }

    // A lead byte takes the byte after it whatever it is, a line feed too (as
    // Wine converts a file).
    std::size_t SkipToLineEnd(std::size_t at) const
    {
        while (!AtLineEnd(at)) {
            at += Step(at);
        }
        return at;
    }

    std::size_t ReadFromLineStart(std::size_t at)
    {
        const char c = text_[at];
        if (c == '\n' || IsSpace(c)) {
            return at + 1;
        }
        if (c == ';') {
            return SkipToLineEnd(at);
        }
        if (c == '[') {
            return ReadSectionHeader(at);
        }
        if (section_ == nullptr) {
            // Skipped a character at a time: a '[' later on the line still opens a section.
            if (!Somewhere(inf_.textBeforeFirstSection)) {
                inf_.textBeforeFirstSection = {at};
            }
            return at + Step(at);
        }
        return ReadLine(at);
    }

    std::size_t ReadSectionHeader(std::size_t open)
    {
        std::size_t close = open + 1;
        while (!AtLineEnd(close) && text_[close] != ']') {
            close += Step(close);
        }
        if (AtLineEnd(close)) {
            Fail(InfError::UnclosedSectionName, open);
            return end_;
        }
        if (Characters(open + 1, close) > kLongestInfSectionName) {
            Fail(InfError::SectionNameTooLong, open);
            return end_;
        }
        std::string name = text_.substr(open + 1, close - open - 1);
        const std::string lowered = inf_.Folded(name);
        const auto found = sectionIndex_.find(lowered);
        if (found == sectionIndex_.end()) {
            sectionIndex_.emplace(lowered, inf_.sections.size());
            inf_.sections.push_back({std::move(name), InfOffset{open}, {}});
            section_ = &inf_.sections.back();
        } else {
            section_ = &inf_.sections[found->second];
        }
        return SkipToLineEnd(close + 1);  // the rest of the line is ignored
    }

    void Fail(InfError error, std::size_t at)
    {
        inf_.error = error;
        inf_.errorAt = {at};
    }

    // Appends text_[from, to) to the field being read. Its text stays a span
    // of text_ while the pieces join up; otherwise it moves to Inf::cooked.
    void Take(std::size_t from, std::size_t to)
    {
        if (to <= from) {
            return;
        }
        if (field_.length == 0 && !field_.quoted) {
            field_.begin = {from};
        }
        const std::size_t room = kLongestInfField - std::min(field_.length, kLongestInfField);
        std::size_t taken = 0;
        field_.length += Characters(from, to, room, &taken);
        field_.end = {to};
        if (field_.textLength == 0 && !field_.cooked) {
            field_.textAt = from;
        } else if (!field_.cooked && field_.textAt + field_.textLength != from) {
            Cook();
        }
        if (field_.cooked) {
            inf_.cooked.append(text_, from, taken);
        }
        field_.textLength += taken;
        if (taken < to - from && !field_.cooked) {
            Cook();
        }
    }

    void Cook()
    {
        const std::size_t at = inf_.cooked.size();
        inf_.cooked.append(text_, field_.textAt, field_.textLength);
        field_.textAt = at;
        field_.cooked = true;
    }

    // An empty quoted text is cooked too: its empty text is not a span.
    void EndField(std::size_t at, bool isKey)
    {
        if (field_.end.at == 0 && field_.length == 0 && !field_.quoted) {
            field_.begin = {at};
            field_.end = {at};
        }
        if (field_.textLength == 0) {
            field_.textAt = 0;
            field_.cooked = true;
        }
        if (isKey) {
            line_.explicitKey = true;
        }
        inf_.fields.push_back(field_);
        if (!isKey) {
            ++line_.valueCount;
        }
        field_ = InfField{};
    }

    void EndLine()
    {
        line_.firstValue = inf_.fields.size() - line_.valueCount;
        section_->lines.push_back(line_);
        line_ = InfLine{};
    }

    // Reads one line, with the lines joined to it, from its first character.
    std::size_t ReadLine(std::size_t at)
    {
        Part part = Part::Key;
        std::size_t start = at;     // first character not yet taken
        std::size_t tokenEnd = at;  // just past the last non-space character
        bool afterQuote = false;    // the last piece was a closing quote
        while (true) {
            if (AtLineEnd(at)) {
                Take(start, tokenEnd);
                EndField(at, false);
                EndLine();
                return at;
            }
            const char c = text_[at];
            // '=' ends the key; after it, it is text like any other.
            if ((c == '=' && part == Part::Key) || c == ',') {
                Take(start, tokenEnd);
                EndField(at, c == '=');
                part = Part::Value;
                at = SkipLeadingSpaces(at + 1, &start);
                tokenEnd = start;
                afterQuote = false;
                continue;
            }
            if (c == ';') {
                Take(start, tokenEnd);
                if (tokenEnd == at && field_.length > 0 && !afterQuote) {
                    field_.commentAttached = {at};
                }
                EndField(at, false);
                EndLine();
                return SkipToLineEnd(at);
            }
            if (c == '"') {
                Take(start, at);  // spaces before a quote stay in the field
                at = ReadQuoted(at);
                start = at;
                tokenEnd = at;
                afterQuote = true;
                continue;
            }
            if (c == '\\') {
                Take(start, tokenEnd);
                start = at;
                at = ReadBackslashes(at, &start);
                tokenEnd = start;
                afterQuote = false;
                continue;
            }
            if (IsSpace(c)) {
                Take(start, at);
                start = at;
                std::size_t next = at;
                while (!AtLineEnd(next) && IsSpace(text_[next])) {
                    ++next;
                }
                if (!AtLineEnd(next) && text_[next] == '\\') {
                    at = ReadBackslashes(next, &start);
                    tokenEnd = start;
                    afterQuote = false;
                    continue;
                }
                if (afterQuote && !AtLineEnd(next) && text_[next] != ',' && text_[next] != ';' &&
                    !Somewhere(field_.textAfterQuotes)) {
                    field_.textAfterQuotes = {next};
                }
                at = next;
                tokenEnd = start;
                continue;
            }
            at += Step(at);
            tokenEnd = at;
            afterQuote = false;
        }
    }

    // Spaces after '=' or ','; a '\' among them may join the next line.
    std::size_t SkipLeadingSpaces(std::size_t at, std::size_t* start)
    {
        while (!AtLineEnd(at) && IsSpace(text_[at])) {
            ++at;
        }
        *start = at;
        if (!AtLineEnd(at) && text_[at] == '\\') {
            return ReadBackslashes(at, start);
        }
        return at;
    }

    // From a '"': the quoted text up to the closing quote, or to the line's end.
    std::size_t ReadQuoted(std::size_t quote)
    {
        if (field_.length == 0 && !field_.quoted) {
            field_.begin = {quote};
        }
        field_.quoted = true;
        std::size_t start = quote + 1;
        std::size_t at = start;
        while (!AtLineEnd(at)) {
            if (text_[at] == '"') {
                if (at + 1 < end_ && text_[at + 1] == '"') {
                    Take(start, at + 1);
                    at += 2;
                    start = at;
                    continue;
                }
                Take(start, at);
                field_.end = {at + 1};
                return at + 1;
            }
            at += Step(at);
        }
        Take(start, at);
        field_.openQuote = {quote};
        return at;
    }

    // From a '\' (or the spaces before it, at `*start`): when only spaces,
    // backslashes and a comment follow on the line, the next line joins this
    // one; otherwise they are text. Sets `*start` to what is taken next.
    std::size_t ReadBackslashes(std::size_t backslash, std::size_t* start)
    {
        std::size_t at = backslash;
        while (at < end_) {
            const char c = text_[at];
            if (c == '\n') {
                if (!Somewhere(field_.joinedLine)) {
                    field_.joinedLine = {backslash};
                }
                ++at;
                while (!AtLineEnd(at) && IsSpace(text_[at])) {
                    ++at;
                }
                *start = at;
                if (!AtLineEnd(at) && text_[at] == '\\') {
                    return ReadBackslashes(at, start);
                }
                return at;
            }
            if (c == ';') {
                at = SkipToLineEnd(at);
                continue;
            }
            if (c == '\\' || IsSpace(c)) {
                ++at;
                continue;
            }
            Take(*start, at);
            *start = at;
            return at;
        }
        *start = at;
        return at;
    }

    const std::string& text_;
    const std::size_t end_;
    const CodePage& page_;
    Inf inf_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;
    InfSection* section_ = nullptr;
    InfLine line_;
    InfField field_;
};

}  // namespace

std::string LowerAscii(std::string_view view)
{
    std::string text(view);
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string Inf::Folded(std::string_view name) const
{
    return page != nullptr ? FoldedName(*page, name) : LowerAscii(name);
}

std::string_view Inf::Text(const InfField& field) const
{
    const std::string& source = field.cooked ? cooked : *text;
    return std::string_view(source).substr(field.textAt, field.textLength);
}

const InfSection* Inf::Find(const std::string& name) const
{
    if (!index.empty()) {
        const auto found = index.find(Folded(name));
        return found != index.end() ? &sections[found->second] : nullptr;
    }
    // While reading, before the index is handed over.
    for (const InfSection& section : sections) {
        if (Folded(section.name) == Folded(name)) {
            return &section;
        }
    }
    return nullptr;
}

Inf ReadInf(const std::string& text, const CodePage& page)
{
    return Reader(text, page).Read();
}

std::string SubstituteStrings(const Inf& inf, std::string_view text,
                              std::vector<InfSubstitution>* pairs, std::string (*directory)(long))
{
    const auto find = [&inf, text](std::size_t from) {
        return inf.page != nullptr ? FindCharacter(*inf.page, text, '%', from)
                                   : text.find('%', from);
    };
    std::size_t open = find(0);
    if (open == std::string_view::npos) {
        return std::string(text);
    }
    std::string result;
    std::size_t copied = 0;
    while (open != std::string_view::npos) {
        const std::size_t close = find(open + 1);
        if (close == std::string_view::npos) {
            break;
        }
        result.append(text.substr(copied, open - copied));
        const std::string name(text.substr(open + 1, close - open - 1));
        InfSubstitution pair{open, name, InfSubstitution::Kind::Undefined};
        std::string replacement(text.substr(open, close - open + 1));
        const auto defined = name.empty() ? inf.strings.end() : inf.strings.find(inf.Folded(name));
        char* numberEnd = nullptr;
        const long number = name.empty() ? 0 : std::strtol(name.c_str(), &numberEnd, 10);
        if (name.empty()) {
            pair.kind = InfSubstitution::Kind::Escape;
            replacement = "%";
        } else if (defined != inf.strings.end()) {
            pair.kind = InfSubstitution::Kind::String;
            replacement = defined->second;
        } else if (numberEnd != nullptr && *numberEnd == '\0' && number < kFirstUserDirectory) {
            pair.kind = InfSubstitution::Kind::Directory;
            pair.dirid = number;
            replacement =
                directory != nullptr ? directory(number) : "<DIRID " + std::to_string(number) + ">";
            // A folder's own trailing '\' goes when the text goes on with one ("%24%\Demo").
            if (!replacement.empty() && replacement.back() == '\\' && close + 1 < text.size() &&
                text[close + 1] == '\\') {
                replacement.pop_back();
            }
        }
        result += replacement;
        if (pairs != nullptr) {
            pairs->push_back(std::move(pair));
        }
        copied = close + 1;
        open = find(copied);
    }
    result.append(text.substr(copied));
    return result;
}

std::string AsWindowsReads(const InfField& field, std::string text)
{
    if (Somewhere(field.openQuote) && !text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return text;
}
