#include "inx-check/TemplateCheck.h"

#include "inx-check/InfReader.h"
#include "launcher/AppPath.h"
#include "script/InstallScript.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

namespace {

// What install.exe reads from the template: the file's bytes up to a Ctrl-Z,
// CR LF read as LF, ended at the first NUL.
struct TemplateText {
    std::string text;
    std::vector<std::size_t> droppedCrs;  // text offsets of the LFs whose CR was dropped
};

TemplateText ReadInTextMode(const std::string& fileBytes)
{
    TemplateText read;
    const std::size_t end = std::min(fileBytes.find('\x1A'), fileBytes.size());
    read.text.reserve(end);
    std::size_t from = 0;
    for (std::size_t cr = fileBytes.find("\r\n"); cr < end; cr = fileBytes.find("\r\n", cr + 1)) {
        read.text.append(fileBytes, from, cr - from);
        read.droppedCrs.push_back(read.text.size());
        from = cr + 1;
    }
    read.text.append(fileBytes, from, end - from);
    read.text.resize(std::min(read.text.find('\0'), read.text.size()));
    return read;
}

// The file offset of an offset in the text read: each dropped CR before it counts.
std::size_t FileOffsetOf(const TemplateText& read, std::size_t textOffset)
{
    return textOffset +
           static_cast<std::size_t>(std::distance(
               read.droppedCrs.begin(),
               std::upper_bound(read.droppedCrs.begin(), read.droppedCrs.end(), textOffset)));
}

// The placeholders' offsets in `text`, as install.exe finds them.
std::vector<std::size_t> PlaceholdersIn(const std::string& text)
{
    std::vector<std::size_t> found;
    const char* end = text.data() + text.size();
    for (const char* at = FindPlaceholder(text.data(), end); at != nullptr;
         at = FindPlaceholder(at + kPlaceholderLength, end)) {
        found.push_back(static_cast<std::size_t>(at - text.data()));
    }
    return found;
}

bool Expand(const std::string& text, std::size_t placeholders, const std::string& folder,
            std::string* expanded)
{
    std::size_t size = 0;
    if (!MeasureExpansion(text.size(), placeholders, folder.size(), &size)) {
        return false;
    }
    expanded->assign(size, '\0');
    ScriptBuffer buffer{&(*expanded)[0], 0, size};
    if (!ExpandPlaceholders(text.c_str(), folder.c_str(), &buffer)) {
        return false;
    }
    expanded->resize(buffer.length);
    return true;
}

// LF becomes CR LF.
std::string WriteInTextMode(const std::string& expanded)
{
    std::string written;
    written.reserve(expanded.size() + expanded.size() / 16);
    std::size_t from = 0;
    for (std::size_t lf = expanded.find('\n'); lf != std::string::npos;
         lf = expanded.find('\n', lf + 1)) {
        written.append(expanded, from, lf - from);
        written += "\r\n";
        from = lf + 1;
    }
    written.append(expanded, from, std::string::npos);
    return written;
}

// install.inf as rendered for one folder, with the way back from each of its
// offsets to the template file's.
class Rendering {
public:
    bool Render(const TemplateText& read, const std::vector<std::size_t>& placeholders,
                const std::string& folder)
    {
        read_ = &read;
        placeholders_ = &placeholders;
        folderLength_ = folder.size() + 2;
        std::string expanded;
        if (!Expand(read.text, placeholders.size(), folder, &expanded)) {
            return false;
        }
        inf_ = WriteInTextMode(expanded);
        for (std::size_t at = expanded.find('\n'); at != std::string::npos;
             at = expanded.find('\n', at + 1)) {
            insertedCrs_.push_back(at + lineFeeds_.size());
            lineFeeds_.push_back(at);
        }
        std::size_t lineFeedsBefore = 0;
        folderBegins_.reserve(placeholders.size());
        for (std::size_t i = 0; i < placeholders.size(); ++i) {
            const std::size_t begin = ExpandedOffsetOf(i);
            while (lineFeedsBefore < lineFeeds_.size() && lineFeeds_[lineFeedsBefore] < begin) {
                ++lineFeedsBefore;
            }
            folderBegins_.push_back(begin + lineFeedsBefore);
        }
        return true;
    }

    const std::string& Inf() const { return inf_; }

    // Where the quoted folder that the `index`th placeholder became starts in install.inf.
    const std::vector<std::size_t>& FolderBegins() const { return folderBegins_; }
    std::size_t FolderLength() const { return folderLength_; }

    // The template file's offset of install.inf's offset `at`; a folder's
    // bytes go back to their placeholder.
    std::size_t TemplateOffsetOf(std::size_t at) const
    {
        const auto crsBefore = static_cast<std::size_t>(std::distance(
            insertedCrs_.begin(), std::lower_bound(insertedCrs_.begin(), insertedCrs_.end(), at)));
        const std::size_t expanded = at - crsBefore;
        std::size_t text = expanded;
        // The last placeholder that starts at or before `expanded`.
        std::size_t low = 0;
        std::size_t high = placeholders_->size();
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (ExpandedOffsetOf(middle) <= expanded) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        if (low > 0) {
            const std::size_t index = low - 1;
            const std::size_t begin = ExpandedOffsetOf(index);
            if (expanded < begin + folderLength_) {
                text = (*placeholders_)[index];
            } else {
                text = (*placeholders_)[index] + kPlaceholderLength +
                       (expanded - begin - folderLength_);
            }
        }
        return FileOffsetOf(*read_, text);
    }

private:
    std::size_t ExpandedOffsetOf(std::size_t index) const
    {
        return (*placeholders_)[index] + index * folderLength_ - index * kPlaceholderLength;
    }

    const TemplateText* read_ = nullptr;
    const std::vector<std::size_t>* placeholders_ = nullptr;
    std::size_t folderLength_ = 0;
    std::string inf_;
    std::vector<std::size_t> lineFeeds_;     // offsets of the expansion's LFs
    std::vector<std::size_t> insertedCrs_;   // install.inf offsets of the CRs written before them
    std::vector<std::size_t> folderBegins_;  // install.inf offsets of the inserted folders
};

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

bool IsNumber(const std::string& text, long* number)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    *number = std::strtol(text.c_str(), &end, 0);
    return *end == '\0';
}

// The directory numbers that Microsoft documents for [DestinationDirs].
enum class DirectoryKnown { Yes, WindowsOnly, No };
DirectoryKnown KnowsDirectory(long dirid)
{
    static const long system[] = {-1, 1,  10, 11, 12, 13, 17, 18, 20, 21,
                                  23, 24, 25, 30, 50, 51, 52, 53, 54, 55};
    if (std::find(std::begin(system), std::end(system), dirid) != std::end(system) ||
        (dirid >= 16384 && dirid <= 16447)) {
        return DirectoryKnown::Yes;
    }
    return dirid >= 66000 && dirid <= 66004 ? DirectoryKnown::WindowsOnly : DirectoryKnown::No;
}

// [DefaultInstall.NT.Services] and the like belong to an install section;
// they are none themselves. `name` is lower case.
bool IsSubsection(const std::string& name)
{
    static const char* const kinds[] = {".services", ".hw",     ".coinstallers",
                                        ".wmi",      ".events", ".interfaces"};
    return std::any_of(std::begin(kinds), std::end(kinds),
                       [&name](const char* kind) { return name.find(kind) != std::string::npos; });
}

// The variables that Windows itself sets, which a command line or an
// expandable registry value may name on purpose.
bool IsEnvironmentVariable(const std::string& name)
{
    static const char* const variables[] = {"allusersprofile",
                                            "appdata",
                                            "commonprogramfiles",
                                            "commonprogramfiles(x86)",
                                            "commonprogramw6432",
                                            "computername",
                                            "comspec",
                                            "driverdata",
                                            "homedrive",
                                            "homepath",
                                            "homeshare",
                                            "localappdata",
                                            "logonserver",
                                            "number_of_processors",
                                            "onedrive",
                                            "os",
                                            "path",
                                            "pathext",
                                            "processor_architecture",
                                            "processor_identifier",
                                            "processor_level",
                                            "processor_revision",
                                            "programdata",
                                            "programfiles",
                                            "programfiles(x86)",
                                            "programw6432",
                                            "psmodulepath",
                                            "public",
                                            "systemdrive",
                                            "systemroot",
                                            "temp",
                                            "tmp",
                                            "userdomain",
                                            "username",
                                            "userprofile",
                                            "windir"};
    const std::string lower = LowerAscii(name);
    return std::find(std::begin(variables), std::end(variables), lower) != std::end(variables);
}

// A %...% pair whose inside reads as a name, not text that merely lies
// between two '%' of a command line ("%1" "%2").
bool LooksLikeName(const std::string& name)
{
    if (name.empty() ||
        (std::isalpha(static_cast<unsigned char>(name[0])) == 0 && name[0] != '_')) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.' ||
               c == '(' || c == ')' || c == '-';
    });
}

bool IsAbsolutePath(const std::string& path)
{
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 &&
                       path[1] == ':' && path[2] == '\\';
    return drive || path.rfind("\\\\", 0) == 0;
}

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

const char* const kDirectives[] = {
    "copyfiles",    "addreg",         "delreg",       "delfiles",        "renfiles", "updateinis",
    "registerdlls", "unregisterdlls", "profileitems", "updateinifields", "ini2reg",  "bitreg"};

class Checker {
public:
    Checker(const std::string& fileBytes, const std::string* folder, const Package* package)
        : bytes_(fileBytes),
          folder_(folder != nullptr ? *folder : kStandInFolder),
          folderGiven_(folder != nullptr),
          package_(package)
    {
    }

    std::vector<Diagnostic> Run()
    {
        if (LooksLikeUtf16(bytes_)) {
            Add(Rule::Utf16Template, 0,
                "UTF-16 template: its NUL bytes end the text at once, so install.inf would be all "
                "but empty; save it as ANSI");
            return diagnostics_;
        }
        read_ = ReadInTextMode(bytes_);
        placeholders_ = PlaceholdersIn(read_.text);
        CheckEarlyEnd();
        CheckPlaceholders();
        CheckUtf8();
        CheckLineLengths();
        CheckFolderItself();
        if (rendering_.Render(read_, placeholders_, folder_)) {
            inf_ = ReadInf(rendering_.Inf());
            CheckInf();
        } else {
            Add(Rule::TooLarge, 0,
                "the expansion would be larger than this computer can address: install.exe "
                "cannot write install.inf");
        }
        std::stable_sort(
            diagnostics_.begin(), diagnostics_.end(),
            [](const Diagnostic& a, const Diagnostic& b) { return a.offset < b.offset; });
        return diagnostics_;
    }

private:
    void Add(Rule rule, std::size_t offset, std::string text)
    {
        diagnostics_.push_back({rule, InfoOf(rule).severity, offset, std::move(text)});
    }
    // A finding at an offset of install.inf.
    void AddAt(Rule rule, std::size_t infOffset, std::string text)
    {
        Add(rule, rendering_.TemplateOffsetOf(infOffset), std::move(text));
    }

    std::size_t FileOffsetOfText(std::size_t textOffset) const
    {
        return FileOffsetOf(read_, textOffset);
    }

    // Ctrl-Z ends the text when install.exe reads it, and NUL ends it after.
    void CheckEarlyEnd()
    {
        const std::size_t end = std::min(bytes_.find('\x1A'), bytes_.find('\0'));
        if (end == std::string::npos || end + 1 == bytes_.size()) {
            return;
        }
        const std::string what = bytes_[end] == '\0' ? "NUL" : "Ctrl-Z";
        Add(Rule::EarlyEnd, end,
            what + " byte: the text ends here, and the " + std::to_string(bytes_.size() - end - 1) +
                " bytes after it never reach install.inf");
    }

    void CheckPlaceholders()
    {
        const std::string& text = read_.text;
        if (placeholders_.empty()) {
            Add(Rule::NoPlaceholder, 0,
                std::string("no placeholder ") + kPlaceholder +
                    ": the application's folder is never used");
        }
        // Quotes are counted from each line's start, once over the text.
        bool inQuotes = false;
        std::size_t next = 0;
        for (std::size_t at : placeholders_) {
            for (; next < at; ++next) {
                const char c = text[next];
                inQuotes = c == '"' ? !inQuotes : inQuotes && c != '\n';
            }
            if (inQuotes) {
                Add(Rule::QuotedPlaceholder, FileOffsetOfText(at),
                    "placeholder already between double quotes: install.exe adds quotes itself, "
                    "so the folder stands in two pairs");
            }
        }
        const std::string lower = LowerAscii(kPlaceholder);
        for (std::size_t at = 0; at + kPlaceholderLength <= text.size(); ++at) {
            if ((text[at] | 0x20) != 'v' ||
                !std::equal(lower.begin(), lower.end(),
                            text.begin() + static_cast<std::ptrdiff_t>(at),
                            [](char a, char b) { return a == (b | 0x20); }) ||
                text.compare(at, kPlaceholderLength, kPlaceholder) == 0) {
                continue;
            }
            Add(Rule::PlaceholderCase, FileOffsetOfText(at),
                Quoted(text.substr(at, kPlaceholderLength)) +
                    " is not replaced: only the upper-case placeholder " + kPlaceholder + " is");
            at += kPlaceholderLength - 1;
        }
    }

    void CheckUtf8()
    {
        const std::string& text = read_.text;
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            Add(Rule::Utf8Text, 0,
                "UTF-8 byte-order mark: install.inf is read in the system's ANSI code page, where "
                "these bytes are other characters; save the template as ANSI");
            return;
        }
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (static_cast<unsigned char>(text[at]) >= 0xC2 && Utf8SequenceAt(text, at) != 0) {
                Add(Rule::Utf8Text, FileOffsetOfText(at),
                    "UTF-8 text: install.inf is read in the system's ANSI code page, so this "
                    "character comes out as other characters; save the template as ANSI");
                return;
            }
        }
    }

    // Each line as long as the longest folder makes it; one pass over the
    // lines and the placeholders together.
    void CheckLineLengths()
    {
        const std::string& text = read_.text;
        const std::size_t growth = kLongestAppPath + 2 - kPlaceholderLength;
        std::size_t placeholder = 0;
        for (std::size_t begin = 0; begin < text.size();) {
            std::size_t end = std::min(text.find('\n', begin), text.size());
            const std::size_t next = end + 1;
            if (end > begin && text[end - 1] == '\r') {
                --end;
            }
            std::size_t onLine = 0;
            for (; placeholder < placeholders_.size() && placeholders_[placeholder] < next;
                 ++placeholder) {
                onLine += placeholders_[placeholder] < end ? 1U : 0U;
            }
            const std::size_t length = end - begin + onLine * growth;
            if (length > kLongestInfLine) {
                const std::string limit =
                    ", more than the INF engine handles (" + std::to_string(kLongestInfLine) + ")";
                Add(Rule::LongLine, FileOffsetOfText(begin),
                    onLine == 0
                        ? "this line is " + std::to_string(length) + " characters long" + limit
                        : "with the longest folder install.exe accepts (" +
                              std::to_string(kLongestAppPath) + " bytes) this line is " +
                              std::to_string(length) + " characters long" + limit);
            }
            begin = next;
        }
    }

    std::size_t FolderFindingOffset() const
    {
        return placeholders_.empty() ? 0 : FileOffsetOfText(placeholders_.front());
    }

    void CheckFolderItself()
    {
        if (!folderGiven_) {
            return;
        }
        if (folder_.size() > kLongestAppPath) {
            Add(Rule::FolderTooLong, FolderFindingOffset(),
                "the folder is " + std::to_string(folder_.size()) +
                    " bytes long: install.exe accepts at most " + std::to_string(kLongestAppPath) +
                    " and installs nothing");
        }
        for (std::size_t at = folder_.find(';'); at != std::string::npos;
             at = folder_.find(';', at + 1)) {
            const std::size_t drive = folder_.find_first_not_of(' ', at + 1);
            if (drive != std::string::npos && drive + 2 < folder_.size() &&
                std::isalpha(static_cast<unsigned char>(folder_[drive])) != 0 &&
                folder_.compare(drive + 1, 2, ":\\") == 0) {
                Add(Rule::FolderList, FolderFindingOffset(),
                    "the folder is a list of folders: install.exe inserts it whole, as one folder");
                break;
            }
        }
    }

    // --- The INF engine's reading of install.inf ---

    void CheckInf()
    {
        switch (inf_.error) {
        case InfError::TextBeforeFirstSection:
            AddAt(Rule::InfRefused, inf_.errorAt,
                  "text before the first section, and no [Strings] section: the INF engine "
                  "refuses the whole file and installs nothing");
            return;
        case InfError::UnclosedSectionName:
            AddAt(Rule::InfRefused, inf_.errorAt,
                  "section name without its ']': the INF engine refuses the whole file and "
                  "installs nothing");
            return;
        case InfError::SectionNameTooLong:
            AddAt(Rule::InfRefused, inf_.errorAt,
                  "section name over " + std::to_string(kLongestInfSectionName) +
                      " characters: the INF engine refuses the whole file and installs nothing");
            return;
        case InfError::NoSignature:
            CheckSignature();
            break;
        case InfError::None:
            break;
        }
        if (inf_.textBeforeFirstSection != kNowhere) {
            AddAt(Rule::TextBeforeSection, inf_.textBeforeFirstSection,
                  "text before the first section: Windows refuses the file for it; Wine ignores "
                  "it only because there is a [Strings] section");
        }
        CheckFields();
        namesSomething_.assign(inf_.fields.size(), false);
        for (const char* named : {"destinationdirs", "sourcedisksfiles"}) {
            const InfSection* section = inf_.Find(named);
            for (std::size_t i = 0; section != nullptr && i < section->lines.size(); ++i) {
                for (std::size_t value = 0; value < section->lines[i].valueCount; ++value) {
                    MarkName(inf_.Value(section->lines[i], value));
                }
            }
        }
        const InfSection* install = InstallSection();
        if (install != nullptr) {
            CheckDirectives(*install);
        }
        CheckPairs();
    }

    void CheckSignature()
    {
        const InfSection* version = inf_.Find("version");
        std::string text = "no [Version] section";
        if (version != nullptr) {
            text = "no Signature in [Version]";
            for (const InfLine& line : version->lines) {
                if (line.HasKey() && LowerAscii(inf_.Text(inf_.Key(line))) == "signature") {
                    const std::string value(inf_.Text(inf_.Value(line, 0)));
                    text =
                        value.find('%') != std::string::npos
                            ? "the signature " + Quoted(value) + " is not substituted: write it out"
                            : "the signature " + Quoted(value) + " is not one the engine knows";
                    break;
                }
            }
        }
        AddAt(Rule::NoSignature, inf_.errorAt,
              text +
                  ": the INF engine refuses the file and installs nothing, without a message "
                  "(Signature=\"$Windows NT$\" or \"$Chicago$\" is needed)");
    }

    // Windows runs [DefaultInstall.NTx86], or else [DefaultInstall.NT], or
    // else [DefaultInstall].
    const InfSection* InstallSection()
    {
        const InfSection* plain = inf_.Find("defaultinstall");
        const InfSection* nt = inf_.Find("defaultinstall.nt");
        const InfSection* x86 = inf_.Find("defaultinstall.ntx86");
        const InfSection* chosen = x86 != nullptr ? x86 : nt != nullptr ? nt : plain;
        if (chosen == nullptr) {
            for (const InfSection& section : inf_.sections) {
                const std::string name = LowerAscii(section.name);
                if (name.rfind("defaultinstall.nt", 0) == 0 && !IsSubsection(name)) {
                    AddAt(Rule::NoInstallSection, section.header,
                          "[" + section.name +
                              "] is not run on 32-bit Windows, where the engine looks for "
                              "[DefaultInstall.NTx86], [DefaultInstall.NT] or [DefaultInstall] "
                              "only: it installs nothing");
                    return nullptr;
                }
            }
            AddAt(Rule::NoInstallSection, 0,
                  "no [DefaultInstall] section: the shell's \"install\" verb runs that section, "
                  "so nothing would be installed");
            return nullptr;
        }
        for (const InfSection* ignored : {plain, nt}) {
            if (ignored != nullptr && ignored != chosen) {
                AddAt(Rule::IgnoredInstallSection, ignored->header,
                      "[" + ignored->name + "] is ignored: the engine runs [" + chosen->name +
                          "] instead");
            }
        }
        return chosen;
    }

    void CheckFields()
    {
        for (const InfSection& section : inf_.sections) {
            const bool isStrings = LowerAscii(section.name) == "strings";
            for (const InfLine& line : section.lines) {
                const std::size_t first = line.explicitKey ? line.firstValue - 1 : line.firstValue;
                for (std::size_t i = first; i < line.firstValue + line.valueCount; ++i) {
                    CheckField(inf_.fields[i], isStrings);
                }
                if (isStrings && line.explicitKey && line.valueCount > 1) {
                    AddAt(Rule::StringsCut, inf_.Value(line, 0).end,
                          "unquoted ',' in a [Strings] value: the value ends before it; put the "
                          "whole value in double quotes");
                }
            }
        }
    }

    void CheckField(const InfField& field, bool inStrings)
    {
        if (field.openQuote != kNowhere) {
            AddAt(Rule::UnclosedQuote, field.openQuote,
                  "this quote is never closed: the value runs to the end of the line, and Wine's "
                  "engine keeps the line's CR in it too");
        }
        if (field.joinedLine != kNowhere && field.joinedLine > 0 &&
            rendering_.Inf()[field.joinedLine - 1] != ' ' &&
            rendering_.Inf()[field.joinedLine - 1] != '\t') {
            AddAt(Rule::LineJoined, field.joinedLine,
                  "a '\\' at the end of a line joins the next line to this one, which is then "
                  "lost as a line of its own; put the value in double quotes");
        }
        if (field.commentAttached != kNowhere && inStrings) {
            AddAt(Rule::StringsCut, field.commentAttached,
                  "unquoted ';' in a [Strings] value: it starts a comment and the value ends "
                  "before it; put the whole value in double quotes");
        }
        if (field.textAfterQuotes != kNowhere) {
            AddAt(Rule::QuotesRemoved, field.textAfterQuotes,
                  "the engine removes the double quotes from this value; to keep a quote, write "
                  "the whole value in quotes and each quote inside it as \"\"");
        }
        if (field.length > kLongestInfLine) {
            AddAt(Rule::ValueTooLong, field.begin,
                  "this value is " + std::to_string(field.length) +
                      " characters long, more than the INF engine handles (" +
                      std::to_string(kLongestInfLine) + ")");
        } else if (field.length > kLongestInfField) {
            AddAt(Rule::ValueCutByWine, field.begin,
                  "this value is " + std::to_string(field.length) +
                      " characters long: Wine's INF engine cuts it to " +
                      std::to_string(kLongestInfField) + " (Windows keeps up to " +
                      std::to_string(kLongestInfLine) + ")");
        }
        CheckFolderIn(field);
    }

    // The template's own %...% pairs. A known directory number is the INF's
    // way to name a system folder, and an environment variable in a value is
    // kept for the value's reader to expand; a pair in an inserted folder that
    // holds a '%' is the folder's, judged by CheckFolderIn.
    void CheckPairs()
    {
        const bool folderHasPercent = folder_.find('%') != std::string::npos;
        for (const InfSection& section : inf_.sections) {
            if (LowerAscii(section.name) == "strings") {
                continue;  // [Strings] values are not substituted again
            }
            for (const InfLine& line : section.lines) {
                const std::size_t first = line.explicitKey ? line.firstValue - 1 : line.firstValue;
                for (std::size_t i = first; i < line.firstValue + line.valueCount; ++i) {
                    const InfField& field = inf_.fields[i];
                    if (inf_.Text(field).find('%') == std::string_view::npos ||
                        (folderHasPercent && FolderIn(field) != kNowhere)) {
                        continue;
                    }
                    CheckPairsIn(field, namesSomething_[i]);
                }
            }
        }
    }

    void CheckPairsIn(const InfField& field, bool namesSomething)
    {
        std::vector<InfSubstitution> pairs;
        SubstituteStrings(inf_, inf_.Text(field), &pairs);
        for (const InfSubstitution& pair : pairs) {
            const std::size_t at = field.cooked ? field.begin : field.begin + pair.at;
            const std::string written = "%" + pair.name + "%";
            if (pair.kind == InfSubstitution::Kind::Directory) {
                const long number = std::strtol(pair.name.c_str(), nullptr, 10);
                if (number != 0 && KnowsDirectory(number) == DirectoryKnown::No) {
                    AddAt(Rule::UnknownDirid, at,
                          written +
                              " is not a directory number the engine knows: it writes the "
                              "path of a folder called 'unknown' under the system folder");
                }
            } else if (pair.kind != InfSubstitution::Kind::Undefined) {
                continue;
            } else if (namesSomething) {
                AddAt(Rule::UndefinedString, at,
                      written +
                          " is not defined in [Strings]: the engine keeps it as it is written, "
                          "and makes a folder, file or key of that name");
            } else if (LooksLikeName(pair.name) && !IsEnvironmentVariable(pair.name)) {
                AddAt(Rule::UndefinedStringInValue, at,
                      written +
                          " is not defined in [Strings] and is no environment variable of "
                          "Windows: the engine keeps it as it is written");
            }
        }
    }

    // Marks the field as naming a folder, file, section or registry key.
    void MarkName(const InfField& field)
    {
        namesSomething_[static_cast<std::size_t>(&field - inf_.fields.data())] = true;
    }

    // The index of the first inserted folder that `field` overlaps, or kNowhere.
    std::size_t FolderIn(const InfField& field) const
    {
        const std::vector<std::size_t>& begins = rendering_.FolderBegins();
        const std::size_t length = rendering_.FolderLength();
        // The first folder that ends after the field begins.
        const auto first = std::upper_bound(
            begins.begin(), begins.end(), field.begin,
            [length](std::size_t at, std::size_t begin) { return at < begin + length; });
        return first != begins.end() && *first < field.end
                   ? static_cast<std::size_t>(std::distance(begins.begin(), first))
                   : kNowhere;
    }

    std::string Value(const InfField& field) const
    {
        return SubstituteStrings(inf_, inf_.Text(field));
    }

    void CheckDirectives(const InfSection& install)
    {
        for (const InfLine& line : install.lines) {
            if (!line.explicitKey) {
                continue;
            }
            const std::string directive = LowerAscii(Value(inf_.Key(line)));
            if (std::find(std::begin(kDirectives), std::end(kDirectives), directive) ==
                std::end(kDirectives)) {
                continue;
            }
            for (std::size_t i = 0; i < line.valueCount; ++i) {
                const InfField& field = inf_.Value(line, i);
                const std::string name = Value(field);
                MarkName(field);
                if (name.empty()) {
                    continue;
                }
                if (directive == "copyfiles" && name[0] == '@') {
                    const InfLine* destination = DestinationFor("", field);
                    if (destination != nullptr) {
                        CheckDestination(*destination);
                    }
                    CheckCopiedFile(field, name.substr(1), name.substr(1), destination);
                    continue;
                }
                const InfSection* section = inf_.Find(name);
                if (section == nullptr) {
                    AddAt(Rule::MissingSection, field.begin,
                          "[" + name + "] does not exist: the engine skips this " +
                              std::string(inf_.Text(inf_.Key(line))) + " without a word");
                    continue;
                }
                if (directive == "copyfiles") {
                    CheckCopyFiles(*section, field);
                } else if (directive == "addreg" || directive == "delreg") {
                    CheckRegistry(*section, directive == "addreg");
                }
            }
        }
    }

    // The destination line for the CopyFiles section `name`: its own, or
    // DefaultDestDir (the only one for an empty name, as for CopyFiles=@file).
    const InfLine* DestinationFor(const std::string& name, const InfField& cause)
    {
        const InfSection* destinations = inf_.Find("destinationdirs");
        if (destinations == nullptr) {
            AddAt(Rule::DefaultDestination, cause.begin,
                  "no [DestinationDirs] section: the engine copies these files into the system "
                  "folder (C:\\Windows\\System32), its default");
            return nullptr;
        }
        const InfLine* fallback = nullptr;
        for (const InfLine& line : destinations->lines) {
            if (!line.HasKey()) {
                continue;
            }
            const std::string key = LowerAscii(Value(inf_.Key(line)));
            if (!name.empty() && key == LowerAscii(name)) {
                return &line;
            }
            if (key == "defaultdestdir" && fallback == nullptr) {
                fallback = &line;
            }
        }
        if (fallback == nullptr) {
            AddAt(Rule::DefaultDestination, cause.begin,
                  "[DestinationDirs] names no folder for " + Quoted(name) +
                      " and has no DefaultDestDir: the engine copies into the system folder "
                      "(C:\\Windows\\System32), its default");
        }
        return fallback;
    }

    void CheckCopyFiles(const InfSection& section, const InfField& cause)
    {
        const InfLine* destination = DestinationFor(section.name, cause);
        if (destination != nullptr) {
            CheckDestination(*destination);
        }
        for (const InfLine& line : section.lines) {
            if (line.valueCount == 0) {
                continue;
            }
            MarkName(inf_.Value(line, 0));
            if (line.valueCount > 1) {
                MarkName(inf_.Value(line, 1));
            }
            const std::string target = Value(inf_.Value(line, 0));
            const std::string source = line.valueCount > 1 && !Value(inf_.Value(line, 1)).empty()
                                           ? Value(inf_.Value(line, 1))
                                           : target;
            CheckCopiedFile(inf_.Value(line, 0), target, source, destination);
        }
    }

    void CheckCopiedFile(const InfField& field, const std::string& target,
                         const std::string& source, const InfLine* destination)
    {
        if (target.find_first_of("\\/") != std::string::npos ||
            source.find_first_of("\\/") != std::string::npos) {
            AddAt(Rule::FolderInEntry, field.begin,
                  Quoted(source) +
                      " holds a folder, but a CopyFiles entry is a file name: the engine cannot "
                      "find it and waits for it forever (Wine) or asks for a disk (Windows); name "
                      "the folder in [SourceDisksNames] or [SourceDisksFiles]");
            return;
        }
        if (package_ != nullptr && !package_->Holds(SourcePath(source))) {
            AddAt(Rule::MissingFile, field.begin,
                  Quoted(SourcePath(source)) +
                      " is not in the package folder: the engine asks the user for a disk "
                      "(Windows) or waits forever (Wine)");
        }
        if (destination != nullptr && destination->valueCount > 1 &&
            Value(inf_.Value(*destination, 0)) == "-1") {
            const std::string folder = Value(inf_.Value(*destination, 1));
            if (folder.size() + 1 + target.size() >= kLongestWindowsPath &&
                folder.size() < kLongestDestination) {
                AddAt(Rule::CopyPathTooLong, field.begin,
                      "the copied file's path would be " +
                          std::to_string(folder.size() + 1 + target.size()) +
                          " characters long: Windows copies files to paths of fewer than " +
                          std::to_string(kLongestWindowsPath) + " only");
            }
        }
    }

    // Where the engine looks for a file: [SourceDisksFiles] names its disk and
    // subfolder, [SourceDisksNames] the disk's folder.
    std::string SourcePath(const std::string& name)
    {
        std::string path;
        const InfSection* files = inf_.Find("sourcedisksfiles");
        const InfSection* disks = inf_.Find("sourcedisksnames");
        if (files == nullptr) {
            return name;
        }
        for (const InfLine& line : files->lines) {
            if (!line.HasKey() || LowerAscii(Value(inf_.Key(line))) != LowerAscii(name)) {
                continue;
            }
            // The engine reads the disk as a number and finds the first
            // [SourceDisksNames] line whose key is that number written out.
            const std::string disk =
                line.valueCount == 0
                    ? ""
                    : std::to_string(std::strtol(Value(inf_.Value(line, 0)).c_str(), nullptr, 10));
            for (std::size_t i = 0; disks != nullptr && i < disks->lines.size(); ++i) {
                const InfLine& diskLine = disks->lines[i];
                if (diskLine.HasKey() && Value(inf_.Key(diskLine)) == disk) {
                    path = diskLine.valueCount > 3 ? Value(inf_.Value(diskLine, 3)) : "";
                    break;
                }
            }
            if (line.valueCount > 1) {
                path += (path.empty() ? "" : "\\") + Value(inf_.Value(line, 1));
            }
            break;
        }
        while (!path.empty() && path[0] == '\\') {
            path.erase(0, 1);
        }
        while (!path.empty() && path.back() == '\\') {
            path.pop_back();
        }
        return path.empty() ? name : path + "\\" + name;
    }

    // Each destination line once, however many copy sections use it.
    void CheckDestination(const InfLine& line)
    {
        if (std::find(checkedDestinations_.begin(), checkedDestinations_.end(), &line) !=
            checkedDestinations_.end()) {
            return;
        }
        checkedDestinations_.push_back(&line);
        const InfField& dirid = inf_.Value(line, 0);
        const std::string written = Value(dirid);
        long number = 0;
        if (!IsNumber(written, &number)) {
            AddAt(Rule::DiridNotNumber, dirid.begin,
                  "the folder number " + Quoted(written) +
                      " is not a number: the engine copies into the system folder");
            return;
        }
        if (number >= 0x8000 && number < 66000) {
            AddAt(Rule::ProgramDirid, dirid.begin,
                  "directory " + written +
                      " is a program's own number, which no INF installed by the shell defines: "
                      "the engine copies into the system folder");
            return;
        }
        const DirectoryKnown known = KnowsDirectory(number);
        if (known != DirectoryKnown::Yes) {
            AddAt(known == DirectoryKnown::No ? Rule::UnknownDirid : Rule::WindowsOnlyDirid,
                  dirid.begin,
                  "directory " + written +
                      (known == DirectoryKnown::No
                           ? " is not one Windows knows: the engine copies into an 'unknown' "
                             "folder under the system folder"
                           : " is known to Windows but not to Wine's INF engine"));
            return;
        }
        if (number != -1) {
            return;
        }
        if (line.valueCount < 2 || Value(inf_.Value(line, 1)).empty()) {
            AddAt(Rule::DestinationPath,
                  line.valueCount < 2 ? dirid.begin : inf_.Value(line, 1).begin,
                  "directory -1 with no path: the engine cannot make the folder and waits "
                  "forever (Wine)");
            return;
        }
        const std::string path = Value(inf_.Value(line, 1));
        if (!IsAbsolutePath(path)) {
            AddAt(Rule::DestinationPath, inf_.Value(line, 1).begin,
                  "directory -1 takes an absolute path, and " + Quoted(path) +
                      " is relative: the engine makes it under its own working folder");
        } else if (path.size() >= kLongestDestination) {
            AddAt(Rule::DestinationTooLong, inf_.Value(line, 1).begin,
                  "the destination is " + std::to_string(path.size()) +
                      " characters long: Wine's INF engine cannot make it and waits forever; "
                      "Windows copies to paths of fewer than " +
                      std::to_string(kLongestWindowsPath) + " characters");
        } else if (std::toupper(static_cast<unsigned char>(path[0])) != 'C' && path[1] == ':') {
            AddAt(Rule::OtherDrive, inf_.Value(line, 1).begin,
                  "the destination is on drive " + path.substr(0, 2) +
                      ": where that drive does not exist, the engine waits forever (Wine)");
        }
    }

    void CheckRegistry(const InfSection& section, bool adding)
    {
        for (const InfLine& line : section.lines) {
            if (line.valueCount == 0) {
                continue;
            }
            for (std::size_t i = 0; i < std::min<std::size_t>(line.valueCount, 3); ++i) {
                MarkName(inf_.Value(line, i));
            }
            const std::string root = Value(inf_.Value(line, 0));
            const std::string lowered = LowerAscii(root);
            if (lowered == "hkr") {
                AddAt(Rule::RegistryRoot, inf_.Value(line, 0).begin,
                      "HKR means the key of a device or service, which [DefaultInstall] has not: "
                      "the engine skips this line");
            } else if (lowered != "hkcr" && lowered != "hkcu" && lowered != "hklm" &&
                       lowered != "hku") {
                AddAt(Rule::RegistryRoot, inf_.Value(line, 0).begin,
                      Quoted(root) +
                          " is not a root the engine knows (HKCR, HKCU, HKLM, HKU): it skips "
                          "this line");
            }
            if (adding && line.valueCount > 3 && CheckRegistryFlags(inf_.Value(line, 3))) {
                CheckValueCount(line);
            }
        }
    }

    // True when the flags are a number the engine reads as written.
    bool CheckRegistryFlags(const InfField& field)
    {
        const std::string flags = Value(field);
        if (flags.empty()) {
            return true;
        }
        const bool hex = flags.size() > 2 && flags[0] == '0' && (flags[1] | 0x20) == 'x' &&
                         flags.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
        const bool decimal = flags.find_first_not_of("0123456789") == std::string::npos;
        if (decimal && flags.size() > 1 && flags[0] == '0') {
            AddAt(Rule::RegistryFlags, field.begin,
                  "the flags " + Quoted(flags) +
                      " start with 0, which Wine reads as an octal number (another value type "
                      "than meant); write 0x" +
                      flags.substr(flags.find_first_not_of('0') == std::string::npos
                                       ? flags.size() - 1
                                       : flags.find_first_not_of('0')));
        } else if (!hex && !decimal) {
            AddAt(Rule::RegistryFlags, field.begin,
                  "the flags " + Quoted(flags) +
                      " are not a number (hexadecimal with 0x, or decimal): the engine skips or "
                      "misreads this line");
        } else {
            return true;
        }
        return false;
    }

    // A string or expandable string takes one value field, and the engine
    // stores only that one (Wine's and Windows' AddReg read field 5 alone).
    void CheckValueCount(const InfLine& line)
    {
        const std::string flags = Value(inf_.Value(line, 3));
        const unsigned long number = flags.empty() ? 0 : std::strtoul(flags.c_str(), nullptr, 0);
        constexpr unsigned long kTypeMask = 0xFFFF0001UL;
        constexpr unsigned long kExpandable = 0x00020000UL;
        constexpr unsigned long kNoValue = 0x14UL;  // FLG_ADDREG_KEYONLY, FLG_ADDREG_DELVAL
        const unsigned long type = number & kTypeMask;
        if ((type != 0 && type != kExpandable) || (number & kNoValue) != 0) {
            return;
        }
        std::size_t extra = 0;
        for (std::size_t i = 4; i < line.valueCount; ++i) {
            const InfField& field = inf_.Value(line, i);
            if (field.joinedLine != kNowhere ||
                (FolderIn(field) != kNowhere && Value(field).find(folder_) == std::string::npos)) {
                return;  // a joined line or a split folder has its own finding
            }
            extra += i > 4 && !inf_.Text(field).empty() ? 1U : 0U;
        }
        if (extra > 0) {
            AddAt(Rule::ExtraValueFields, inf_.Value(line, 5).begin,
                  std::string(type == 0 ? "a string value" : "an expandable string value") +
                      " takes one field, and the engine stores only " +
                      Quoted(Value(inf_.Value(line, 4))) + ": the " + std::to_string(extra) +
                      (extra == 1 ? " field after it is" : " fields after it are") +
                      " lost (put the whole value in one pair of double quotes)");
        }
    }

    // A field that holds an inserted folder must reach the engine with the
    // folder as it is. A value cut at the engine's length has had its own finding.
    void CheckFolderIn(const InfField& field)
    {
        const std::size_t folder = FolderIn(field);
        if (!folderGiven_ || folder == kNowhere || field.length > kLongestInfField) {
            return;
        }
        const std::string read = Value(field);
        if (read.find(folder_) == std::string::npos && folder != lastFolderReported_) {
            lastFolderReported_ = folder;  // once for a folder cut into fields
            Add(Rule::FolderAltered, FileOffsetOfText(placeholders_[folder]),
                "with this folder the engine reads this value as " + Quoted(read) +
                    ", which does not hold the folder " + Quoted(folder_));
        }
    }

    // Wine's INF engine cannot make a folder this long; Windows' file paths
    // stay under MAX_PATH.
    static constexpr std::size_t kLongestDestination = 259;
    static constexpr std::size_t kLongestWindowsPath = 260;

    const std::string& bytes_;
    const std::string folder_;
    const bool folderGiven_;
    const Package* package_;
    TemplateText read_;
    std::vector<std::size_t> placeholders_;
    Rendering rendering_;
    Inf inf_;
    std::size_t lastFolderReported_ = kNowhere;
    std::vector<bool> namesSomething_;
    std::vector<const InfLine*>
        checkedDestinations_;  // by field: names a folder, file, section or key
    std::vector<Diagnostic> diagnostics_;
};

}  // namespace

std::vector<Diagnostic> CheckTemplate(const std::string& fileBytes, const std::string* folder,
                                      const Package* package)
{
    return Checker(fileBytes, folder, package).Run();
}

bool RenderInstallScript(const std::string& fileBytes, const std::string& folder,
                         std::string* script)
{
    const TemplateText read = ReadInTextMode(fileBytes);
    std::string expanded;
    if (!Expand(read.text, CountPlaceholders(read.text.c_str()), folder, &expanded)) {
        return false;
    }
    *script = WriteInTextMode(expanded);
    return true;
}

LineIndex::LineIndex(const std::string& fileBytes)
{
    lineStarts_.push_back(0);
    for (std::size_t at = fileBytes.find('\n'); at != std::string::npos;
         at = fileBytes.find('\n', at + 1)) {
        lineStarts_.push_back(at + 1);
    }
}

Position LineIndex::PositionOf(std::size_t offset) const
{
    const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const std::size_t line = static_cast<std::size_t>(std::distance(lineStarts_.begin(), next));
    return {line, offset - lineStarts_[line - 1] + 1};
}
