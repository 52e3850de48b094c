#include "inx-check/rules/CheckContext.h"

#include "inx-check/plan/InstallReading.h"

#include <algorithm>
#include <iterator>

namespace {

const char* const kDirectives[] = {
    "copyfiles",  "addreg",       "delreg",         "delfiles",     "renfiles",
    "updateinis", "registerdlls", "unregisterdlls", "profileitems", "updateinifields",
    "ini2reg",    "bitreg",       "needs"};

}  // namespace

CheckContext::CheckContext(const std::string& fileBytes, const std::string* givenFolder,
                           const Package* packageFolder, const CodePage& codePage, Windows windows)
    : bytes(fileBytes),
      folder(givenFolder != nullptr ? *givenFolder : kStandInFolder),
      folderGiven(givenFolder != nullptr),
      package(packageFolder),
      page(codePage),
      rendering(fileBytes, folder),
      inf(ReadInf(rendering.Inf(), page)),
      namesSomething(NamingFields(inf)),
      plan(MakePlan(inf, windows))
{
}

void CheckContext::Add(Rule rule, FileOffset at, std::string text)
{
    findings.push_back({rule, InfoOf(rule).severity, at, std::move(text)});
}

void CheckContext::Add(Rule rule, TextOffset at, std::string text)
{
    Add(rule, rendering.FileOffsetOf(at), std::move(text));
}

void CheckContext::Add(Rule rule, InfOffset at, std::string text)
{
    Add(rule, rendering.FileOffsetOf(at), std::move(text));
}

std::string CheckContext::Value(const InfField& field) const
{
    return SubstituteStrings(inf, inf.Text(field));
}

std::size_t CheckContext::FolderIn(const InfField& field) const
{
    const std::size_t first = rendering.FolderAtOrAfter(field.begin);
    return first < rendering.Placeholders().size() && rendering.FolderBegin(first).at < field.end.at
               ? first
               : kNowhere;
}

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

const InfSection* ChosenInstallSection(const Inf& inf)
{
    return ChosenSection(inf, "DefaultInstall");
}

std::vector<std::pair<std::string, const InfLine*>> DirectiveLines(const Inf& inf,
                                                                   const InfSection& install)
{
    std::vector<std::pair<std::string, const InfLine*>> lines;
    for (const InfSection* run : SectionsRun(inf, install)) {
        for (const InfLine& line : run->lines) {
            if (!line.explicitKey) {
                continue;
            }
            const std::string directive =
                LowerAscii(SubstituteStrings(inf, inf.Text(inf.Key(line))));
            if (std::find(std::begin(kDirectives), std::end(kDirectives), directive) !=
                std::end(kDirectives)) {
                lines.emplace_back(directive, &line);
            }
        }
    }
    return lines;
}

std::vector<bool> NamingFields(const Inf& inf)
{
    std::vector<bool> names(inf.fields.size(), false);
    const auto mark = [&names](const InfLine& line, std::size_t count) {
        for (std::size_t i = 0; i < std::min(line.valueCount, count); ++i) {
            names[line.firstValue + i] = true;
        }
    };
    for (const char* listing : {"destinationdirs", "sourcedisksfiles", "sourcedisksfiles.x86"}) {
        const InfSection* section = inf.Find(listing);
        for (std::size_t i = 0; section != nullptr && i < section->lines.size(); ++i) {
            mark(section->lines[i], kNowhere);
        }
    }
    const InfSection* install = ChosenInstallSection(inf);
    if (install == nullptr) {
        return names;
    }
    for (const auto& [directive, line] : DirectiveLines(inf, *install)) {
        mark(*line, kNowhere);
        for (std::size_t i = 0; i < line->valueCount; ++i) {
            const InfSection* section =
                inf.Find(SubstituteStrings(inf, inf.Text(inf.Value(*line, i))));
            // A copied file's name and its source; a registry line's root, key and value name.
            const std::size_t named = directive == "copyfiles"                         ? 2
                                      : directive == "addreg" || directive == "delreg" ? 3
                                                                                       : 0;
            for (std::size_t l = 0; section != nullptr && l < section->lines.size(); ++l) {
                mark(section->lines[l], named);
            }
        }
    }
    return names;
}
