// Checks an install.inx template as install.exe and then the INF engine will
// read it: install.exe's own rules on the bytes, and the engine's on the
// install.inf it becomes. Renders that install.inf as install.exe writes it on
// Windows. Portable: the expansion is the program's own (script/).
#pragma once

#include "inx-check/plan/Windows.h"
#include "inx-check/reader/CodePage.h"
#include "inx-check/rules/Diagnostic.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Diagnostics for a template file holding `fileBytes`, in the order of their
// offsets, for the application's `folder` as the registry would hold it
// (kStandInFolder when null: then no finding is about the folder). Files that
// CopyFiles names are looked for in `package` unless it is null. The bytes
// are characters of the ANSI code page `page`. When
// `script` is not null, it receives the install.inf that install.exe writes
// on Windows for that folder, unless the expansion cannot be made. The
// findings are those of the plan on `windows`.
std::vector<Diagnostic> CheckTemplate(const std::string& fileBytes, const std::string* folder,
                                      const Package* package, const CodePage& page,
                                      std::optional<std::string>* script = nullptr,
                                      Windows windows = Windows::Bits32);

// 1-based line and column of an offset in a file; lines end at LF.
struct Position {
    std::size_t line;
    std::size_t column;
};

class LineIndex {
public:
    explicit LineIndex(const std::string& fileBytes);
    Position PositionOf(FileOffset offset) const;

private:
    std::vector<std::size_t> lineStarts_;
};
