#include "inx-check/reader/Rendering.h"

#include "script/InstallScript.h"

#include <algorithm>
#include <iterator>

namespace {

// How many of the sorted `offsets` are below `at`, or at most `at`.
std::size_t CountBelow(const std::vector<std::size_t>& offsets, std::size_t at)
{
    return static_cast<std::size_t>(
        std::distance(offsets.begin(), std::lower_bound(offsets.begin(), offsets.end(), at)));
}
std::size_t CountUpTo(const std::vector<std::size_t>& offsets, std::size_t at)
{
    return static_cast<std::size_t>(
        std::distance(offsets.begin(), std::upper_bound(offsets.begin(), offsets.end(), at)));
}

// How many of the sorted `offsets`, each moved on by its own index, are
// below `at`: the bytes dropped or inserted before `at`, one per offset.
std::size_t CountShiftedBelow(const std::vector<std::size_t>& offsets, std::size_t at)
{
    std::size_t low = 0;
    std::size_t high = offsets.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (offsets[middle] + middle < at) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
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

}  // namespace

Rendering::Rendering(const std::string& fileBytes)
{
    const std::size_t end = std::min(fileBytes.find('\x1A'), fileBytes.size());
    text_.reserve(end);
    std::size_t from = 0;
    for (std::size_t cr = fileBytes.find("\r\n"); cr < end; cr = fileBytes.find("\r\n", cr + 1)) {
        text_.append(fileBytes, from, cr - from);
        droppedCrs_.push_back(text_.size());
        from = cr + 1;
    }
    text_.append(fileBytes, from, end - from);
    text_.resize(std::min(text_.find('\0'), text_.size()));
    const char* textEnd = text_.data() + text_.size();
    for (const char* at = FindPlaceholder(text_.data(), textEnd); at != nullptr;
         at = FindPlaceholder(at + kPlaceholderLength, textEnd)) {
        placeholders_.push_back({static_cast<std::size_t>(at - text_.data())});
    }
}

Rendering::Rendering(const std::string& fileBytes, const std::string& folder) : Rendering(fileBytes)
{
    Render(folder);
}

bool Rendering::Render(const std::string& folder)
{
    folderLength_ = folder.size() + 2;
    std::string expanded;
    rendered_ = Expand(text_, placeholders_.size(), folder, &expanded);
    if (!rendered_) {
        inf_.clear();
        return false;
    }
    inf_.clear();
    inf_.reserve(expanded.size() + expanded.size() / 16);
    lineFeeds_.clear();
    std::size_t from = 0;
    for (std::size_t lf = expanded.find('\n'); lf != std::string::npos;
         lf = expanded.find('\n', lf + 1)) {
        inf_.append(expanded, from, lf - from);
        inf_ += "\r\n";
        from = lf + 1;
        lineFeeds_.push_back(lf);
    }
    inf_.append(expanded, from, std::string::npos);
    return true;
}

std::size_t Rendering::ExpandedOffsetOf(std::size_t placeholder) const
{
    return placeholders_[placeholder].at + placeholder * folderLength_ -
           placeholder * kPlaceholderLength;
}

InfOffset Rendering::FolderBegin(std::size_t index) const
{
    const std::size_t expanded = ExpandedOffsetOf(index);
    return {expanded + CountBelow(lineFeeds_, expanded)};
}

std::size_t Rendering::FolderAtOrAfter(InfOffset at) const
{
    std::size_t low = 0;
    std::size_t high = placeholders_.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (FolderBegin(middle).at + folderLength_ <= at.at) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

TextOffset Rendering::TextOffsetOf(FileOffset at) const
{
    // The CR dropped before the LF at text offset droppedCrs_[i] stood at
    // file offset droppedCrs_[i] + i.
    const std::size_t crsBefore = CountShiftedBelow(droppedCrs_, at.at);
    return {std::min(at.at - crsBefore, text_.size())};
}

FileOffset Rendering::FileOffsetOf(TextOffset at) const
{
    return {at.at + CountUpTo(droppedCrs_, at.at)};
}

InfOffset Rendering::InfOffsetOf(TextOffset at) const
{
    // The placeholders that start at or before `at`.
    const auto before = static_cast<std::size_t>(
        std::distance(placeholders_.begin(),
                      std::upper_bound(placeholders_.begin(), placeholders_.end(), at.at,
                                       [](std::size_t a, TextOffset b) { return a < b.at; })));
    std::size_t expanded = at.at + before * folderLength_ - before * kPlaceholderLength;
    if (before > 0 && at.at < placeholders_[before - 1].at + kPlaceholderLength) {
        expanded = ExpandedOffsetOf(before - 1);
    }
    return {expanded + CountUpTo(lineFeeds_, expanded)};
}

TextOffset Rendering::TextOffsetOf(InfOffset at) const
{
    // The CR written before the expansion's LF i stands at lineFeeds_[i] + i.
    const std::size_t expanded = at.at - CountShiftedBelow(lineFeeds_, at.at);
    // The last placeholder that starts at or before `expanded`.
    std::size_t low = 0;
    std::size_t high = placeholders_.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (ExpandedOffsetOf(middle) <= expanded) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == 0) {
        return {expanded};
    }
    const std::size_t index = low - 1;
    const std::size_t begin = ExpandedOffsetOf(index);
    if (expanded < begin + folderLength_) {
        return placeholders_[index];
    }
    return {placeholders_[index].at + kPlaceholderLength + (expanded - begin - folderLength_)};
}

bool RenderInstallScript(const std::string& fileBytes, const std::string& folder,
                         std::string* script)
{
    Rendering rendering(fileBytes);
    if (!rendering.Render(folder)) {
        return false;
    }
    *script = rendering.Inf();
    return true;
}
