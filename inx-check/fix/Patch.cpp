#include "inx-check/fix/Patch.h"

#include <algorithm>

namespace {

constexpr std::size_t kContext = 3;
constexpr char kNoNewline[] = "\\ No newline at end of file\n";

// A line as a diff shows it after `mark`; a line without an end gets the marker.
std::string Shown(char mark, const std::string& line)
{
    const bool ended = !line.empty() && line.back() == '\n';
    return mark + line + (ended ? "" : "\n" + std::string(kNoNewline));
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find('\n', at);
        const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(at, next - at));
        at = next;
    }
    return lines;
}

std::string UnifiedDiff(const std::string& path, const std::string& bytes,
                        std::vector<Insertion> insertions)
{
    const std::vector<std::string> old = SplitLines(bytes);
    insertions.erase(
        std::remove_if(insertions.begin(), insertions.end(),
                       [](const Insertion& insertion) { return insertion.lines.empty(); }),
        insertions.end());
    if (insertions.empty()) {
        return "";
    }
    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const Insertion& a, const Insertion& b) { return a.after < b.after; });
    const std::string end =
        !old.empty() && old.front().size() >= 2 && old.front()[old.front().size() - 2] == '\r'
            ? "\r\n"
            : "\n";
    // Each old line, and the lines that follow it (index 0: before the first).
    std::vector<std::vector<std::string>> added(old.size() + 1);
    for (const Insertion& insertion : insertions) {
        const std::size_t after = std::min(insertion.after, old.size());
        for (const std::string& line : insertion.lines) {
            added[after].push_back(line + end);
        }
    }
    // The last line gets an end when lines follow it.
    const bool unended = !old.empty() && old.back().back() != '\n';
    std::vector<std::size_t> points;  // where lines are inserted, in order
    for (std::size_t i = 0; i <= old.size(); ++i) {
        if (!added[i].empty()) {
            points.push_back(i);
        }
    }
    std::string diff = "--- " + path + "\n+++ " + path + "\n";
    std::size_t shift = 0;  // lines the earlier hunks added
    for (std::size_t first = 0; first < points.size();) {
        std::size_t last = first;
        while (last + 1 < points.size() && points[last + 1] - points[last] <= 2 * kContext) {
            ++last;
        }
        const std::size_t from = points[first] > kContext ? points[first] - kContext : 0;
        const std::size_t to = std::min(old.size(), points[last] + kContext);
        std::string body;
        std::size_t inserted = 0;
        for (std::size_t k = from; k <= to; ++k) {
            for (const std::string& line : added[k]) {
                body += "+" + line;
                ++inserted;
            }
            if (k == to) {
                break;
            }
            const bool reEnded = unended && k + 1 == old.size() && !added[old.size()].empty();
            body += reEnded ? Shown('-', old[k]) + "+" + old[k] + end : Shown(' ', old[k]);
        }
        const std::size_t oldCount = to - from;
        const std::size_t newCount = oldCount + inserted;
        diff += "@@ -" + std::to_string(oldCount == 0 ? from : from + 1) + "," +
                std::to_string(oldCount) + " +" +
                std::to_string(newCount == 0 ? from + shift : from + shift + 1) + "," +
                std::to_string(newCount) + " @@\n" + body;
        shift += inserted;
        first = last + 1;
    }
    return diff;
}
