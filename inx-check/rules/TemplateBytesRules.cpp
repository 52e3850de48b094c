#include "inx-check/rules/CheckContext.h"
#include "inx-check/reader/CodePage.h"

#include "script/InstallScript.h"

#include <algorithm>
#include <cctype>

namespace {

// UTF-16 shows as a byte-order mark, or as NULs at every other byte of text.
bool LooksLikeUtf16(const std::string& bytes)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        return true;
    }
    const std::size_t sample = std::min<std::size_t>(bytes.size() & ~std::size_t{1}, 64);
    if (sample < 4) {
        return false;
    }
    bool evenNul = true;
    bool oddNul = true;
    for (std::size_t i = 0; i < sample; i += 2) {
        evenNul = evenNul && bytes[i] == '\0' && bytes[i + 1] != '\0';
        oddNul = oddNul && bytes[i + 1] == '\0' && bytes[i] != '\0';
    }
    return evenNul || oddNul;
}

// Ctrl-Z ends the text when install.exe reads it, and NUL ends it after.
void CheckEarlyEnd(CheckContext& check)
{
    const std::string& bytes = check.bytes;
    const std::size_t end = std::min(bytes.find('\x1A'), bytes.find('\0'));
    if (end == std::string::npos || end + 1 == bytes.size()) {
        return;
    }
    const std::string what = bytes[end] == '\0' ? "NUL" : "Ctrl-Z";
    check.Add(Rule::EarlyEnd, FileOffset{end},
              what + " byte: the text ends here, and the " +
                  std::to_string(bytes.size() - end - 1) +
                  " bytes after it never reach install.inf");
}

void CheckPlaceholders(CheckContext& check)
{
    const std::string& text = check.rendering.Text();
    const std::vector<TextOffset>& placeholders = check.rendering.Placeholders();
    if (placeholders.empty()) {
        check.Add(Rule::NoPlaceholder, FileOffset{0},
                  std::string("no placeholder ") + kPlaceholder +
                      ": the application's folder is never used");
    }
    // Quotes are counted from each line's start, once over the text.
    bool inQuotes = false;
    std::size_t next = 0;
    for (const TextOffset at : placeholders) {
        for (; next < at.at; ++next) {
            const char c = text[next];
            inQuotes = c == '"' ? !inQuotes : inQuotes && c != '\n';
        }
        if (inQuotes) {
            check.Add(Rule::QuotedPlaceholder, at,
                      "placeholder already between double quotes: install.exe adds quotes "
                      "itself, so the folder stands in two pairs");
        }
    }
    const std::string lower = LowerAscii(kPlaceholder);
    for (std::size_t at = 0; at + kPlaceholderLength <= text.size(); ++at) {
        if ((text[at] | 0x20) != 'v' ||
            !std::equal(lower.begin(), lower.end(), text.begin() + static_cast<std::ptrdiff_t>(at),
                        [](char a, char b) { return a == (b | 0x20); }) ||
            text.compare(at, kPlaceholderLength, kPlaceholder) == 0) {
            continue;
        }
        check.Add(Rule::PlaceholderCase, TextOffset{at},
                  Quoted(text.substr(at, kPlaceholderLength)) +
                      " is not replaced: only the upper-case placeholder " + kPlaceholder + " is");
        at += kPlaceholderLength - 1;
    }
}

void CheckUtf8(CheckContext& check)
{
    const std::string& text = check.rendering.Text();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        check.Add(Rule::Utf8Text, FileOffset{0},
                  "UTF-8 byte-order mark: Wine's engine reads such a file as UTF-8, but Microsoft "
                  "documents only ANSI and UTF-16 LE INF files, so what Windows makes of it is "
                  "not known; save the template as ANSI");
        return;
    }
    if (check.page.number == kUtf8CodePage) {
        return;  // UTF-8 text is what install.inf is read in
    }
    // In a double-byte code page many pairs are valid UTF-8 too: there only a
    // text that is UTF-8 throughout is taken for UTF-8.
    const bool throughout = check.page.pairs != nullptr;
    std::size_t first = kNowhere;
    for (std::size_t at = 0; at < text.size(); ++at) {
        char32_t code = 0;
        const std::size_t length =
            static_cast<unsigned char>(text[at]) >= 0x80 ? DecodeUtf8(text, at, &code) : 1;
        if (length > 1 && first == kNowhere) {
            first = at;
        }
        if (length == 0 && throughout) {
            return;
        }
        if (first != kNowhere && !throughout) {
            break;
        }
        at += length == 0 ? 0 : length - 1;
    }
    if (first != kNowhere) {
        check.Add(Rule::Utf8Text, TextOffset{first},
                  "UTF-8 text: install.inf is read in the system's ANSI code page, so this "
                  "character comes out as other characters; save the template as ANSI");
    }
}

// Each line as long as the longest folder makes it; one pass over the lines
// and the placeholders together.
void CheckLineLengths(CheckContext& check)
{
    const std::string& text = check.rendering.Text();
    const std::vector<TextOffset>& placeholders = check.rendering.Placeholders();
    const std::size_t growth = kLongestAppPath + 2 - kPlaceholderLength;
    std::size_t placeholder = 0;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::size_t next = end + 1;
        if (end > begin && text[end - 1] == '\r') {
            --end;
        }
        std::size_t onLine = 0;
        for (; placeholder < placeholders.size() && placeholders[placeholder].at < next;
             ++placeholder) {
            onLine += placeholders[placeholder].at < end ? 1U : 0U;
        }
        const std::size_t length = end - begin + onLine * growth;
        if (length > kLongestInfLine) {
            const std::string limit =
                ", more than the INF engine handles (" + std::to_string(kLongestInfLine) + ")";
            check.Add(Rule::LongLine, TextOffset{begin},
                      onLine == 0
                          ? "this line is " + std::to_string(length) + " characters long" + limit
                          : "with the longest folder install.exe accepts (" +
                                std::to_string(kLongestAppPath) + " bytes) this line is " +
                                std::to_string(length) + " characters long" + limit);
        }
        begin = next;
    }
}

}  // namespace

bool CheckTemplateBytes(CheckContext& check)
{
    if (LooksLikeUtf16(check.bytes)) {
        check.Add(Rule::Utf16Template, FileOffset{0},
                  "UTF-16 template: its NUL bytes end the text at once, so install.inf would be "
                  "all but empty; save it as ANSI");
        return false;
    }
    CheckEarlyEnd(check);
    CheckPlaceholders(check);
    CheckUtf8(check);
    CheckLineLengths(check);
    return true;
}

void CheckFolderItself(CheckContext& check)
{
    if (!check.folderGiven) {
        return;
    }
    const std::string& folder = check.folder;
    const FileOffset at = check.rendering.Placeholders().empty()
                              ? FileOffset{0}
                              : check.rendering.FileOffsetOf(check.rendering.Placeholders()[0]);
    if (folder.size() > kLongestAppPath) {
        check.Add(Rule::FolderTooLong, at,
                  "the folder is " + std::to_string(folder.size()) +
                      " bytes long: install.exe accepts at most " +
                      std::to_string(kLongestAppPath) + " and installs nothing");
    }
    for (std::size_t semicolon = folder.find(';'); semicolon != std::string::npos;
         semicolon = folder.find(';', semicolon + 1)) {
        const std::size_t drive = folder.find_first_not_of(' ', semicolon + 1);
        if (drive != std::string::npos && drive + 2 < folder.size() &&
            std::isalpha(static_cast<unsigned char>(folder[drive])) != 0 &&
            folder.compare(drive + 1, 2, ":\\") == 0) {
            check.Add(Rule::FolderList, at,
                      "the folder is a list of folders: install.exe inserts it whole, as one "
                      "folder");
            break;
        }
    }
}
