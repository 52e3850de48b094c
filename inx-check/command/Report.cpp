#include "inx-check/command/Report.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* SeverityName(Severity severity)
{
    return severity == Severity::Error ? "error" : "warning";
}

// A URI reference for a file name: relative names stay relative, '\' becomes
// '/', and every byte outside the unreserved set is percent-encoded.
std::string UriOf(const std::string& fileName)
{
    std::string uri = !fileName.empty() && fileName[0] == '/' ? "file://" : "";
    for (const char c : fileName) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/') {
            uri += c;
        } else if (c == '\\') {
            uri += '/';
        } else {
            char escaped[4];
            static_cast<void>(std::snprintf(escaped, sizeof escaped, "%%%02X", byte));
            uri += escaped;
        }
    }
    return uri;
}

}  // namespace

std::string JsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            static_cast<void>(std::snprintf(escaped, sizeof escaped, "\\u%04x", byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string ShownText(const CodePage& page, std::string_view text)
{
    const std::string utf8 = Utf8FromCodePage(page, text);
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        // A C1 control, U+0080 to U+009F, is C2 80 to C2 9F in UTF-8.
        const bool c1 =
            byte == 0xC2 && at + 1 < utf8.size() && static_cast<unsigned char>(utf8[at + 1]) < 0xA0;
        if (byte == '\r' || byte == '\n' || byte == '\t') {
            shown += byte == '\r' ? "\\r" : byte == '\n' ? "\\n" : "\\t";
        } else if (byte < 0x20 || byte == 0x7F || c1) {
            char escaped[8];
            const unsigned code = c1 ? static_cast<unsigned char>(utf8[++at]) : byte;
            static_cast<void>(std::snprintf(escaped, sizeof escaped, "\\x%02X", code));
            shown += escaped;
        } else {
            shown += utf8[at];
        }
    }
    return shown;
}

std::string TextReport(const std::string& fileName, const LineIndex& lines,
                       const std::vector<Diagnostic>& findings, const CodePage& page)
{
    std::string report;
    for (const Diagnostic& finding : findings) {
        const Position at = lines.PositionOf(finding.offset);
        report += fileName + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
                  ": " + SeverityName(finding.severity) + ": " + ShownText(page, finding.text) +
                  " [" + std::string(InfoOf(finding.rule).name) + "]\n";
    }
    return report;
}

namespace {

// The SARIF fixes that make `insertions` in `bytes`: each an empty region at
// the byte where its lines go, and the lines, UTF-8, with the file's line ends.
std::string SarifFixes(const std::string& uri, const std::string& bytes,
                       const std::vector<Insertion>& insertions, const CodePage& page)
{
    const std::vector<std::string> lines = SplitLines(bytes);
    const std::string end = bytes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::string replacements;
    for (const Insertion& insertion : insertions) {
        std::size_t offset = 0;
        for (std::size_t i = 0; i < insertion.after && i < lines.size(); ++i) {
            offset += lines[i].size();
        }
        std::string text =
            insertion.after >= lines.size() && !bytes.empty() && bytes.back() != '\n' ? end : "";
        for (const std::string& line : insertion.lines) {
            text += line + end;
        }
        replacements += std::string(replacements.empty() ? "" : ", ") +
                        "{\"deletedRegion\": {\"byteOffset\": " + std::to_string(offset) +
                        ", \"byteLength\": 0}, \"insertedContent\": {\"text\": " +
                        JsonString(Utf8FromCodePage(page, text)) + "}}";
    }
    return ", \"fixes\": [{\"description\": {\"text\": \"Add the uninstall (inx-check --fix)\"}, "
           "\"artifactChanges\": [{\"artifactLocation\": {\"uri\": " +
           uri + "}, \"replacements\": [" + replacements + "]}]}]";
}

}  // namespace

std::string SarifReport(const std::string& fileName, const LineIndex& lines,
                        const std::vector<Diagnostic>& findings, const CodePage& page,
                        std::string_view version, const std::string& bytes,
                        const std::vector<Insertion>& fix)
{
    std::string log =
        "{\n  \"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n"
        "  \"version\": \"2.1.0\",\n  \"runs\": [{\n    \"tool\": {\"driver\": {\n"
        "      \"name\": \"inx-check\",\n      \"version\": " +
        JsonString(version) + ",\n      \"rules\": [";
    for (const RuleInfo* rule = RulesBegin(); rule != RulesEnd(); ++rule) {
        log += std::string(rule == RulesBegin() ? "\n" : ",\n") +
               "        {\"id\": " + JsonString(rule->name) +
               ", \"shortDescription\": {\"text\": " + JsonString(rule->summary) +
               "}, \"fullDescription\": {\"text\": " + JsonString(rule->explanation) +
               "}, \"defaultConfiguration\": {\"level\": \"" + SeverityName(rule->severity) +
               "\"}}";
    }
    log += "\n      ]\n    }},\n    \"columnKind\": \"unicodeCodePoints\",\n    \"results\": [";
    const std::string uri = JsonString(UriOf(fileName));
    const std::string fixes = fix.empty() ? "" : SarifFixes(uri, bytes, fix, page);
    bool first = true;
    for (const Diagnostic& finding : findings) {
        const Position at = lines.PositionOf(finding.offset);
        log += std::string(first ? "\n" : ",\n") +
               "      {\"ruleId\": " + JsonString(InfoOf(finding.rule).name) +
               ", \"ruleIndex\": " + std::to_string(static_cast<int>(finding.rule)) +
               ", \"level\": \"" + SeverityName(finding.severity) +
               "\", \"message\": {\"text\": " + JsonString(ShownText(page, finding.text)) +
               "}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": " + uri +
               "}, \"region\": {\"startLine\": " + std::to_string(at.line) +
               ", \"startColumn\": " + std::to_string(at.column) + "}}}]" +
               (InfoOf(finding.rule).fix.empty() ? "" : fixes) + "}";
        first = false;
    }
    log += std::string(first ? "" : "\n    ") + "]\n  }]\n}\n";
    return log;
}

namespace {

// `text` wrapped at 79 columns, each line indented by four spaces.
std::string Wrapped(std::string_view text)
{
    std::string wrapped;
    std::string line = "    ";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t space = text.find(' ', at);
        const std::size_t end = space == std::string_view::npos ? text.size() : space;
        const std::string_view word = text.substr(at, end - at);
        if (line.size() > 4 && line.size() + 1 + word.size() > 79) {
            wrapped += line + "\n";
            line = "    ";
        }
        line += (line.size() > 4 ? " " : "") + std::string(word);
        at = end + 1;
    }
    return wrapped + line + "\n";
}

// An example's template, a line at a time and indented, its control
// characters escaped, and the folder it is checked for.
std::string ShownExample(const char* title, const RuleExample& example)
{
    if (example.inf.empty()) {
        return std::string(title) + ": no template short enough to show gives it.\n";
    }
    std::string shown = title;
    if (!example.folder.empty()) {
        shown += ", with --path '" + std::string(example.folder) + "'";
        if (example.folderLength > example.folder.size()) {
            shown += " and 'x' up to " + std::to_string(example.folderLength) + " bytes";
        }
    }
    shown += ":\n";
    const CodePage& page = *FindCodePage(kDefaultCodePage);
    for (std::size_t at = 0; at < example.inf.size();) {
        const std::size_t end = std::min(example.inf.find('\n', at), example.inf.size());
        shown += "    " + ShownText(page, example.inf.substr(at, end - at)) + "\n";
        at = end + 1;
    }
    return shown;
}

}  // namespace

std::string RuleList()
{
    std::string list;
    for (const RuleInfo* rule = RulesBegin(); rule != RulesEnd(); ++rule) {
        std::string name(rule->name);
        name.resize(std::max<std::size_t>(name.size() + 1, 27), ' ');
        list += name + SeverityName(rule->severity) +
                std::string(rule->severity == Severity::Error ? "    " : "  ") +
                std::string(rule->summary) + "\n" + Wrapped(rule->explanation);
    }
    return list;
}

std::string RuleExplanation(const RuleInfo& rule)
{
    const std::string fix = rule.fix.empty()
                                ? "inx-check --fix offers none: the answer is not one edit."
                                : "inx-check --fix writes " + std::string(rule.fix) + ".";
    return std::string(rule.name) + " (" + SeverityName(rule.severity) +
           "): " + std::string(rule.summary) + "\n" + Wrapped(rule.explanation) + "\n" +
           ShownExample("Gives it", rule.produces) + "\n" + ShownExample("Does not", rule.avoids) +
           "\n" + Wrapped(fix) + "\n";
}
