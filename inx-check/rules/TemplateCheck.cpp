#include "inx-check/rules/TemplateCheck.h"

#include "inx-check/rules/CheckContext.h"

#include <algorithm>
#include <iterator>

std::vector<Diagnostic> CheckTemplate(const std::string& fileBytes, const std::string* folder,
                                      const Package* package, const CodePage& page,
                                      std::optional<std::string>* script, Windows windows)
{
    CheckContext check(fileBytes, folder, package, page, windows);
    if (CheckTemplateBytes(check)) {
        CheckFolderItself(check);
        if (!check.rendering.Rendered()) {
            check.Add(Rule::TooLarge, FileOffset{0},
                      "the expansion would be larger than this computer can address: "
                      "install.exe cannot write install.inf");
        } else {
            if (CheckInfAccepted(check)) {
                CheckFields(check);
                CheckInstallSection(check);
                CheckServices(check);
                CheckDriverRoute(check);
                CheckPairs(check);
                CheckUninstall(check);
            }
            if (script != nullptr) {
                *script = check.rendering.Inf();
            }
        }
    }
    std::stable_sort(
        check.findings.begin(), check.findings.end(),
        [](const Diagnostic& a, const Diagnostic& b) { return a.offset.at < b.offset.at; });
    return std::move(check.findings);
}

LineIndex::LineIndex(const std::string& fileBytes)
{
    lineStarts_.push_back(0);
    for (std::size_t at = fileBytes.find('\n'); at != std::string::npos;
         at = fileBytes.find('\n', at + 1)) {
        lineStarts_.push_back(at + 1);
    }
}

Position LineIndex::PositionOf(FileOffset offset) const
{
    const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset.at);
    const std::size_t line = static_cast<std::size_t>(std::distance(lineStarts_.begin(), next));
    return {line, offset.at - lineStarts_[line - 1] + 1};
}
