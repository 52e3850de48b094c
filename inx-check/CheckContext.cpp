#include "inx-check/CheckContext.h"

#include <algorithm>
#include <iterator>

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
