#include "inx-check/rules/CheckContext.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

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

// The placeholders whose folder the engine does not read as it is, each
// with the first value read in its place.
struct AlteredFolders {
    std::vector<std::size_t> placeholders;
    std::string firstRead;
};

// A field that holds an inserted folder must reach the engine with the
// folder as it is. A value cut at the engine's length has had its own finding.
bool FolderAltered(CheckContext& check, const InfField& field, AlteredFolders* altered)
{
    const std::size_t folder = check.FolderIn(field);
    if (!check.folderGiven || folder == kNowhere || field.length > kLongestInfField) {
        return false;
    }
    const std::string read = check.Value(field);
    if (read.find(check.folder) != std::string::npos) {
        return false;
    }
    if (altered->placeholders.empty()) {
        altered->firstRead = read;
    }
    if (std::find(altered->placeholders.begin(), altered->placeholders.end(), folder) ==
        altered->placeholders.end()) {
        altered->placeholders.push_back(folder);
    }
    return true;
}

// Whether `at` lies in an inserted folder: what goes wrong there is the
// folder's, and is told once for it.
bool InFolder(const CheckContext& check, InfOffset at)
{
    const std::size_t folder = check.rendering.FolderAtOrAfter(at);
    return folder < check.rendering.Placeholders().size() &&
           check.rendering.FolderBegin(folder).at <= at.at;
}

void CheckField(CheckContext& check, const InfField& field, bool inStrings, AlteredFolders* altered)
{
    const bool folderAltered = FolderAltered(check, field, altered);
    const auto quoteFinding = [&check, folderAltered](InfOffset at) {
        return Somewhere(at) && !(folderAltered && InFolder(check, at));
    };
    const std::string& inf = check.rendering.Inf();
    if (quoteFinding(field.openQuote)) {
        const std::string_view text = check.inf.Text(field);
        const bool carriageReturn = !text.empty() && text.back() == '\r';
        check.Add(Rule::UnclosedQuote, field.openQuote,
                  std::string("this quote is never closed: the value runs to the end of the line") +
                      (carriageReturn ? ", and Wine's engine keeps the line's CR in it too" : ""));
    }
    if (quoteFinding(field.joinedLine) && field.joinedLine.at > 0 &&
        inf[field.joinedLine.at - 1] != ' ' && inf[field.joinedLine.at - 1] != '\t') {
        check.Add(Rule::LineJoined, field.joinedLine,
                  "a '\\' at the end of a line joins the next line to this one, which is then "
                  "lost as a line of its own; put the value in double quotes");
    }
    if (quoteFinding(field.commentAttached) && inStrings) {
        check.Add(Rule::StringsCut, field.commentAttached,
                  "unquoted ';' in a [Strings] value: it starts a comment and the value ends "
                  "before it; put the whole value in double quotes");
    }
    if (quoteFinding(field.textAfterQuotes)) {
        check.Add(Rule::QuotesRemoved, field.textAfterQuotes,
                  "the engine removes the double quotes from this value; to keep a quote, write "
                  "the whole value in quotes and each quote inside it as \"\"");
    }
    if (field.length > kLongestInfLine) {
        check.Add(Rule::ValueTooLong, field.begin,
                  "this value is " + std::to_string(field.length) +
                      " characters long, more than the INF engine handles (" +
                      std::to_string(kLongestInfLine) + ")");
    } else if (field.length > kLongestInfField) {
        check.Add(Rule::ValueCutByWine, field.begin,
                  "this value is " + std::to_string(field.length) +
                      " characters long: Wine's INF engine cuts it to " +
                      std::to_string(kLongestInfField) + " (Windows keeps up to " +
                      std::to_string(kLongestInfLine) + ")");
    }
}

void CheckPairsIn(CheckContext& check, const InfField& field, bool namesSomething)
{
    std::vector<InfSubstitution> pairs;
    SubstituteStrings(check.inf, check.inf.Text(field), &pairs);
    for (const InfSubstitution& pair : pairs) {
        // In a field read as one span of install.inf, the pair's own column.
        const InfOffset at = field.cooked ? field.begin : InfOffset{field.textAt + pair.at};
        const std::string written = "%" + pair.name + "%";
        if (pair.kind == InfSubstitution::Kind::Directory) {
            if (pair.dirid != 0 && KnowsDirectory(pair.dirid) == DirectoryKnown::No) {
                check.Add(Rule::UnknownDirid, at,
                          written +
                              " is not a directory number the engine knows: it writes the path "
                              "of a folder called 'unknown' under the system folder");
            }
        } else if (pair.kind != InfSubstitution::Kind::Undefined) {
            continue;
        } else if (namesSomething) {
            check.Add(Rule::UndefinedString, at,
                      written +
                          " is not defined in [Strings]: the engine keeps it as it is written, "
                          "and makes a folder, file or key of that name");
        } else if (LooksLikeName(pair.name) && !IsEnvironmentVariable(pair.name)) {
            check.Add(Rule::UndefinedStringInValue, at,
                      written +
                          " is not defined in [Strings] and is no environment variable of "
                          "Windows: the engine keeps it as it is written");
        }
    }
}

}  // namespace

void CheckFields(CheckContext& check)
{
    AlteredFolders altered;
    for (const InfSection& section : check.inf.sections) {
        const bool isStrings = LowerAscii(section.name) == "strings";
        for (const InfLine& line : section.lines) {
            for (std::size_t i = line.KeyIndex(); i < line.firstValue + line.valueCount; ++i) {
                CheckField(check, check.inf.fields[i], isStrings, &altered);
            }
            if (isStrings && line.explicitKey && line.valueCount > 1) {
                check.Add(Rule::StringsCut, check.inf.Value(line, 0).end,
                          "unquoted ',' in a [Strings] value: the value ends before it; put the "
                          "whole value in double quotes");
            }
        }
    }
    if (altered.placeholders.empty()) {
        return;
    }
    const std::size_t count = altered.placeholders.size();
    const std::size_t first =
        *std::min_element(altered.placeholders.begin(), altered.placeholders.end());
    check.Add(Rule::FolderAltered, check.rendering.Placeholders()[first],
              "with this folder the engine reads this value as " + Quoted(altered.firstRead) +
                  ", which does not hold the folder " + Quoted(check.folder) +
                  (count == 1 ? std::string()
                              : "; " + std::to_string(count) + " placeholders are read so"));
}

// A known directory number is the INF's way to name a system folder, and an
// environment variable in a value is kept for the value's reader to expand;
// a pair in an inserted folder that holds a '%' is the folder's, judged with
// the fields.
void CheckPairs(CheckContext& check)
{
    const bool folderHasPercent = check.folder.find('%') != std::string::npos;
    for (const InfSection& section : check.inf.sections) {
        if (LowerAscii(section.name) == "strings") {
            continue;  // [Strings] values are not substituted again
        }
        for (const InfLine& line : section.lines) {
            for (std::size_t i = line.KeyIndex(); i < line.firstValue + line.valueCount; ++i) {
                const InfField& field = check.inf.fields[i];
                if (check.inf.Text(field).find('%') == std::string_view::npos ||
                    (folderHasPercent && check.FolderIn(field) != kNowhere)) {
                    continue;
                }
                CheckPairsIn(check, field, check.namesSomething[i]);
            }
        }
    }
}
