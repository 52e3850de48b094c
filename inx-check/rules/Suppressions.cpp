#include "inx-check/rules/Suppressions.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::string_view kMarker = "inx-check:";
constexpr std::string_view kDisable = "disable=";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The offset of the ';' that starts the line's comment (outside quotes), or npos.
std::size_t CommentStart(std::string_view line)
{
    bool inQuotes = false;
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] == '"') {
            inQuotes = !inQuotes;
        } else if (line[at] == ';' && !inQuotes) {
            return at;
        }
    }
    return std::string_view::npos;
}

struct Silenced {
    std::size_t line;  // 1-based
    Rule rule;
};

// Reads the suppression in the comment of `line` (1-based, starting at
// `begin` in the file), if any: what it silences, and a finding per unknown
// name. A reason after the rule list, behind ';' or "--", is no rule name.
void ReadSuppression(std::string_view text, std::size_t begin, std::size_t line,
                     std::vector<Silenced>* silenced, std::vector<Diagnostic>* unknown)
{
    const std::size_t comment = CommentStart(text);
    if (comment == std::string_view::npos) {
        return;
    }
    std::size_t at = comment + 1;
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    if (text.compare(at, kMarker.size(), kMarker) != 0) {
        return;
    }
    at += kMarker.size();
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    if (text.compare(at, kDisable.size(), kDisable) != 0) {
        return;
    }
    at += kDisable.size();
    const bool aloneOnLine =
        std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(comment), IsBlank);
    // The rule list ends at a ';' or a "--": a reason may follow.
    const std::size_t reason = std::min(text.find(';', at), text.find("--", at));
    text = text.substr(0, std::min(reason, text.size()));
    while (at < text.size()) {
        while (at < text.size() && (IsBlank(text[at]) || text[at] == ',')) {
            ++at;
        }
        const std::size_t end = std::min(text.find_first_of(", \t\r", at), text.size());
        if (end == at) {
            break;
        }
        const std::string_view name = text.substr(at, end - at);
        Rule rule = Rule::UnknownRule;
        if (FindRule(name, &rule)) {
            silenced->push_back({line, rule});
            if (aloneOnLine) {
                silenced->push_back({line + 1, rule});
            }
        } else {
            unknown->push_back({Rule::UnknownRule, InfoOf(Rule::UnknownRule).severity,
                                FileOffset{begin + at},
                                "'" + std::string(name) +
                                    "' is no rule of inx-check: this comment silences nothing "
                                    "for it"});
        }
        at = end;
    }
}

}  // namespace

std::vector<Diagnostic> ApplySuppressions(const std::string& fileBytes, const LineIndex& lines,
                                          const std::vector<Diagnostic>& findings,
                                          const std::vector<bool>& disabledForRun)
{
    std::vector<Silenced> silenced;
    std::vector<Diagnostic> unknown;
    const std::string_view bytes(fileBytes);
    std::size_t line = 1;
    for (std::size_t begin = 0; begin < bytes.size(); ++line) {
        const std::size_t end = std::min(bytes.find('\n', begin), bytes.size());
        if (bytes.substr(begin, end - begin).find(kMarker) != std::string_view::npos) {
            ReadSuppression(bytes.substr(begin, end - begin), begin, line, &silenced, &unknown);
        }
        begin = end + 1;
    }
    const auto isOff = [&disabledForRun](Rule rule) {
        const auto index = static_cast<std::size_t>(rule);
        return index < disabledForRun.size() && disabledForRun[index];
    };
    std::vector<Diagnostic> kept;
    for (const Diagnostic& finding : findings) {
        const std::size_t at = lines.PositionOf(finding.offset).line;
        const bool silencedHere =
            std::any_of(silenced.begin(), silenced.end(),
                        [&](const Silenced& s) { return s.line == at && s.rule == finding.rule; });
        if (!silencedHere && !isOff(finding.rule)) {
            kept.push_back(finding);
        }
    }
    if (!isOff(Rule::UnknownRule)) {
        kept.insert(kept.end(), unknown.begin(), unknown.end());
        std::stable_sort(kept.begin(), kept.end(), [](const Diagnostic& a, const Diagnostic& b) {
            return a.offset.at < b.offset.at;
        });
    }
    return kept;
}
