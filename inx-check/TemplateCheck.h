// Checks an install.inx template against the rules install.exe applies to it,
// and renders the install.inf that install.exe would write from it on Windows.
// Portable: the expansion itself is the program's own (script/).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class Severity { Warning, Error };

struct Diagnostic {
    Severity severity;
    std::size_t offset;  // of the byte in the template file that is the cause
    std::string text;
};

// The longest folder that install.exe accepts, in bytes.
inline constexpr std::size_t kLongestFolder = 999;
// The longest INF line or string that Windows' INF engine handles
// (MAX_INF_STRING_LENGTH), in characters.
inline constexpr std::size_t kLongestInfLine = 4096;

// Diagnostics for a template file holding `fileBytes`, in the order of their
// offsets. With `folder` (the folder as the registry would hold it), also
// diagnostics about that folder, placed at the first placeholder.
std::vector<Diagnostic> CheckTemplate(const std::string& fileBytes, const std::string* folder);

// The bytes of the install.inf that install.exe writes on Windows from a
// template file holding `fileBytes`, for `folder`: read in text mode (Ctrl-Z
// ends it, CR LF reads as LF), ended at its first NUL, expanded, and written
// in text mode (LF becomes CR LF). False when the expansion cannot be had
// (out of memory).
bool RenderInstallScript(const std::string& fileBytes, const std::string& folder,
                         std::string* script);

// 1-based line and column of `offset` in `fileBytes`; lines end at LF.
struct Position {
    std::size_t line;
    std::size_t column;
};
Position PositionOf(const std::string& fileBytes, std::size_t offset);
