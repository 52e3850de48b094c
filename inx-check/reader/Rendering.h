// The install.inf that install.exe writes from a template, and the way back
// from each of its bytes to the template's. Three kinds of offset meet here,
// each its own type: into the template file, into the text install.exe reads
// from it (Ctrl-Z ends it, CR LF reads as LF, a NUL ends it after), and into
// install.inf (each placeholder a quoted folder, each LF written as CR LF).
#pragma once

#include "inx-check/reader/Offsets.h"

#include <cstddef>
#include <string>
#include <vector>

class Rendering {
public:
    // Reads the template as install.exe does and finds its placeholders.
    explicit Rendering(const std::string& fileBytes);
    // The same, rendered for `folder` (see Rendered).
    Rendering(const std::string& fileBytes, const std::string& folder);

    // Expands the text for `folder` and writes it in text mode. False when
    // the expansion's size does not fit in memory's address range.
    bool Render(const std::string& folder);

    const std::string& Text() const { return text_; }
    const std::vector<TextOffset>& Placeholders() const { return placeholders_; }
    const std::string& Inf() const { return inf_; }
    // Whether the last Render succeeded.
    bool Rendered() const { return rendered_; }

    // Where the quoted folder that the `index`th placeholder became starts
    // in install.inf.
    InfOffset FolderBegin(std::size_t index) const;
    // The first placeholder whose folder ends after `at`, or the count of
    // placeholders when none does.
    std::size_t FolderAtOrAfter(InfOffset at) const;

    // A dropped CR goes to its LF; the text's end to the Ctrl-Z or NUL
    // that ended it.
    TextOffset TextOffsetOf(FileOffset at) const;
    FileOffset FileOffsetOf(TextOffset at) const;
    // A placeholder's bytes go to its folder's opening quote, and back.
    InfOffset InfOffsetOf(TextOffset at) const;
    TextOffset TextOffsetOf(InfOffset at) const;
    FileOffset FileOffsetOf(InfOffset at) const { return FileOffsetOf(TextOffsetOf(at)); }

private:
    std::size_t ExpandedOffsetOf(std::size_t placeholder) const;

    std::string text_;
    std::vector<std::size_t> droppedCrs_;  // text offsets of the LFs whose CR was dropped
    std::vector<TextOffset> placeholders_;
    std::size_t folderLength_ = 0;
    std::string inf_;
    std::vector<std::size_t> lineFeeds_;  // offsets of the expansion's LFs
    bool rendered_ = false;
};

// The bytes of the install.inf that install.exe writes on Windows from a
// template file holding `fileBytes`, for `folder`. False when the
// expansion's size does not fit in memory's address range.
bool RenderInstallScript(const std::string& fileBytes, const std::string& folder,
                         std::string* script);
