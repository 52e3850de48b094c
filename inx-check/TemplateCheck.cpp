#include "inx-check/TemplateCheck.h"

#include "script/InstallScript.h"

#include <algorithm>
#include <cctype>

namespace {

const std::string kDefaultInstall = "defaultinstall";

struct Line {
    std::size_t begin;
    std::size_t end;  // the LF, or the end of the text; a CR before the LF excluded
};

std::vector<Line> LinesOf(const std::string& text)
{
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        end = end == std::string::npos ? text.size() : end;
        if (end > begin && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back({begin, end});
        begin = next;
    }
    return lines;
}

// Offset of the first byte of the line that holds `offset`.
std::size_t LineBegin(const std::string& text, std::size_t offset)
{
    const std::size_t lineBreak = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
    return lineBreak == std::string::npos ? 0 : lineBreak + 1;
}

std::string Lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Offsets of the placeholders, found left to right without overlap, as install.exe replaces them.
std::vector<std::size_t> PlaceholdersIn(const std::string& text)
{
    std::vector<std::size_t> found;
    for (std::size_t at = text.find(kPlaceholder); at != std::string::npos;
         at = text.find(kPlaceholder, at + kPlaceholderLength)) {
        found.push_back(at);
    }
    return found;
}

// Length of a valid UTF-8 multi-byte sequence at `at`, or 0.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at)
{
    const auto byte = [&text](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(at);
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

class Checker {
public:
    explicit Checker(const std::string& fileBytes) : bytes_(fileBytes) {}

    std::vector<Diagnostic> Run(const std::string* folder)
    {
        if (CheckUtf16()) {
            return diagnostics_;
        }
        CheckEarlyEnd();
        CheckSections();
        CheckPlaceholders();
        CheckUtf8();
        CheckLineLengths();
        if (folder != nullptr && !placeholders_.empty()) {
            CheckFolder(*folder);
        }
        std::stable_sort(
            diagnostics_.begin(), diagnostics_.end(),
            [](const Diagnostic& a, const Diagnostic& b) { return a.offset < b.offset; });
        return diagnostics_;
    }

private:
    void Add(Severity severity, std::size_t offset, std::string text)
    {
        diagnostics_.push_back({severity, offset, std::move(text)});
    }

    bool CheckUtf16()
    {
        const bool byteOrderMark =
            bytes_.compare(0, 2, "\xFF\xFE") == 0 || bytes_.compare(0, 2, "\xFE\xFF") == 0;
        if (byteOrderMark) {
            Add(Severity::Error, 0,
                "UTF-16 template (byte-order mark): its NUL bytes end the text at once, so "
                "install.inf would be all but empty; save it as ANSI");
            return true;
        }
        const std::size_t nul = bytes_.find('\0');
        if (nul != std::string::npos && nul < bytes_.find('\n')) {
            Add(Severity::Error, nul,
                "NUL byte in the first line: the template looks like UTF-16, whose NUL bytes end "
                "the text at once; save it as ANSI");
            return true;
        }
        return false;
    }

    // Ctrl-Z ends the text when install.exe reads it, and NUL ends it after.
    void CheckEarlyEnd()
    {
        const std::size_t end = bytes_.find_first_of(std::string("\x1A\0", 2));
        text_ = bytes_.substr(0, end);
        if (end == std::string::npos || end + 1 == bytes_.size()) {
            return;
        }
        const std::string what = bytes_[end] == '\0' ? "NUL" : "Ctrl-Z";
        Add(Severity::Error, end,
            what + " byte: the text ends here, and the " + std::to_string(bytes_.size() - end - 1) +
                " bytes after it never reach install.inf");
    }

    void CheckSections()
    {
        for (const Line& line : LinesOf(text_)) {
            const std::size_t open = text_.find_first_not_of(" \t", line.begin);
            if (open >= line.end || text_[open] != '[') {
                continue;
            }
            const std::size_t close = text_.find(']', open);
            if (close >= line.end) {
                continue;
            }
            std::string name = text_.substr(open + 1, close - open - 1);
            name.erase(0, name.find_first_not_of(" \t"));
            name.erase(name.find_last_not_of(" \t") + 1);
            name = Lower(name);
            if (name == kDefaultInstall || name.rfind(kDefaultInstall + ".", 0) == 0) {
                return;
            }
        }
        Add(Severity::Error, 0,
            "no [DefaultInstall] section: the shell's \"install\" verb runs that section, so "
            "nothing would be installed");
    }

    void CheckPlaceholders()
    {
        placeholders_ = PlaceholdersIn(text_);
        if (placeholders_.empty()) {
            Add(Severity::Warning, 0,
                std::string("no placeholder ") + kPlaceholder +
                    ": the application's folder is never used");
        }
        for (std::size_t at : placeholders_) {
            const std::size_t lineBegin = LineBegin(text_, at);
            const auto quotes = std::count(text_.begin() + static_cast<std::ptrdiff_t>(lineBegin),
                                           text_.begin() + static_cast<std::ptrdiff_t>(at), '"');
            if (quotes % 2 == 1) {
                Add(Severity::Warning, at,
                    "placeholder already between double quotes: install.exe adds quotes itself, "
                    "so the folder stands in two pairs");
            }
        }
        const std::string lower = Lower(text_);
        const std::string lowerPlaceholder = Lower(kPlaceholder);
        for (std::size_t at = lower.find(lowerPlaceholder); at != std::string::npos;
             at = lower.find(lowerPlaceholder, at + kPlaceholderLength)) {
            const std::string written = text_.substr(at, kPlaceholderLength);
            if (written != kPlaceholder) {
                Add(Severity::Warning, at,
                    "'" + written + "' is not replaced: only the upper-case placeholder " +
                        kPlaceholder + " is");
            }
        }
    }

    void CheckUtf8()
    {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            Add(Severity::Warning, 0,
                "UTF-8 byte-order mark: install.inf is read in the system's ANSI code page, where "
                "these bytes are other characters; save the template as ANSI");
            return;
        }
        for (std::size_t at = 0; at < text_.size(); ++at) {
            if (Utf8SequenceAt(text_, at) != 0) {
                Add(Severity::Warning, at,
                    "UTF-8 text: install.inf is read in the system's ANSI code page, so this "
                    "character comes out as other characters; save the template as ANSI");
                return;
            }
        }
    }

    void CheckLineLengths()
    {
        const std::size_t growth = kLongestFolder + 2 - kPlaceholderLength;
        for (const Line& line : LinesOf(text_)) {
            const auto placeholders = static_cast<std::size_t>(std::count_if(
                placeholders_.begin(), placeholders_.end(),
                [&line](std::size_t at) { return at >= line.begin && at < line.end; }));
            const std::size_t length = line.end - line.begin + placeholders * growth;
            if (length <= kLongestInfLine) {
                continue;
            }
            const std::string limit =
                ", more than the INF engine handles (" + std::to_string(kLongestInfLine) + ")";
            Add(Severity::Warning, line.begin,
                placeholders == 0
                    ? "this line is " + std::to_string(length) + " characters long" + limit
                    : "with the longest folder install.exe accepts (" +
                          std::to_string(kLongestFolder) + " bytes) this line is " +
                          std::to_string(length) + " characters long" + limit);
        }
    }

    void CheckFolder(const std::string& folder)
    {
        const std::size_t at = placeholders_.front();
        if (folder.size() > kLongestFolder) {
            Add(Severity::Error, at,
                "the folder is " + std::to_string(folder.size()) +
                    " bytes long: install.exe accepts at most " + std::to_string(kLongestFolder));
        }
        if (folder.find('%') != std::string::npos) {
            Add(Severity::Warning, at,
                "the folder holds '%': the INF engine reads text between two '%' as a string key");
        }
        if (folder.find(';') != std::string::npos) {
            Add(Severity::Warning, at,
                "the folder holds ';', like a list of folders: install.exe inserts it whole, as "
                "one folder");
        }
        if (folder.find('"') != std::string::npos) {
            Add(Severity::Warning, at,
                "the folder holds '\"', which ends the quotes around it early");
        }
    }

    const std::string& bytes_;
    std::string text_;  // what reaches install.inf, before the text-mode translation
    std::vector<std::size_t> placeholders_;
    std::vector<Diagnostic> diagnostics_;
};

}  // namespace

std::vector<Diagnostic> CheckTemplate(const std::string& fileBytes, const std::string* folder)
{
    return Checker(fileBytes).Run(folder);
}

bool RenderInstallScript(const std::string& fileBytes, const std::string& folder,
                         std::string* script)
{
    // Reading in text mode: Ctrl-Z ends the file, CR LF reads as LF, a lone CR stays.
    const std::size_t end = std::min(fileBytes.find('\x1A'), fileBytes.size());
    std::string text;
    text.reserve(end);
    for (std::size_t i = 0; i < end; ++i) {
        if (fileBytes[i] != '\r' || i + 1 == end || fileBytes[i + 1] != '\n') {
            text += fileBytes[i];
        }
    }
    text.resize(std::min(text.find('\0'), text.size()));

    std::size_t size = 0;
    if (!MeasureExpansion(text.size(), CountPlaceholders(text.c_str()), folder.size(), &size)) {
        return false;
    }
    std::string expanded(size, '\0');
    ScriptBuffer buffer{&expanded[0], 0, size};
    if (!ExpandPlaceholders(text.c_str(), folder.c_str(), &buffer)) {
        return false;
    }
    expanded.resize(buffer.length);

    // Writing in text mode: LF becomes CR LF.
    script->clear();
    script->reserve(expanded.size() +
                    static_cast<std::size_t>(std::count(expanded.begin(), expanded.end(), '\n')));
    for (char c : expanded) {
        if (c == '\n') {
            *script += '\r';
        }
        *script += c;
    }
    return true;
}

Position PositionOf(const std::string& fileBytes, std::size_t offset)
{
    offset = std::min(offset, fileBytes.size());
    const auto lineBreaks = static_cast<std::size_t>(std::count(
        fileBytes.begin(), fileBytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
    return {lineBreaks + 1, offset - LineBegin(fileBytes, offset) + 1};
}
