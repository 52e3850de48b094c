// Install script generation: turns the template "install.inx" into the setup
// information file "install.inf" by replacing each placeholder with the
// application path in double quotes. Portable: C file streams and heap only.
#pragma once

#include <cstddef>

inline constexpr char kTemplateFileName[] = "install.inx";
inline constexpr char kScriptFileName[] = "install.inf";
inline constexpr char kPlaceholder[] = "VUZAZURAV";
inline constexpr std::size_t kPlaceholderLength = sizeof kPlaceholder - 1;
// The buffer that holds the application path and its terminator, and so the
// longest path install.exe accepts, in bytes of the ANSI code page.
inline constexpr std::size_t kAppPathBufferSize = 1000;
inline constexpr std::size_t kLongestAppPath = kAppPathBufferSize - 1;
// Long texts are expanded a block at a time, each small enough to stay in the
// nearest cache between being measured, searched and copied.
inline constexpr std::size_t kExpansionBlockSize = 16384;

enum class ScriptStatus {
    Written,             // install.inf holds the whole expansion; both files closed
    TemplateMissing,     // install.inx could not be opened; nothing was touched
    ScriptNotCreated,    // install.inf could not be opened for writing
    OutOfMemory,         // a buffer could not be reserved, or its size overflows
    TemplateUnreadable,  // measuring or reading install.inx failed
    ScriptNotWritten,    // writing, flushing or closing install.inf failed
};

// A terminated text in a heap block of `capacity` bytes, terminator included.
struct ScriptBuffer {
    char* text;
    std::size_t length;
    std::size_t capacity;
};

// The first placeholder that starts and ends within [from, end), or nullptr.
// Searching on from just past a match finds them as ExpandPlaceholders does.
const char* FindPlaceholder(const char* from, const char* end);

// Number of placeholders in `text` (terminated), counted left to right
// without overlap, the way ExpandPlaceholders replaces them.
std::size_t CountPlaceholders(const char* text);

// Bytes needed, terminator included, for the expansion of a text of
// `textLength` bytes holding `placeholders` occurrences with a path of
// `pathLength` bytes. False when the size does not fit in size_t (or when the
// text is too short to hold that many placeholders).
bool MeasureExpansion(std::size_t textLength, std::size_t placeholders, std::size_t pathLength,
                      std::size_t* size);

// Appends `templateText` (terminated) to `script`, each placeholder replaced
// by a double quote, `applicationPath` and a double quote. The inserted path
// is never searched. Returns false, having written nothing past `capacity`,
// when the expansion does not fit; the text stays terminated either way, but
// for a capacity of 0, which cannot hold even the terminator and is refused
// untouched.
// Example: "Dir=VUZAZURAV" with C:\App gives Dir="C:\App".
[[nodiscard]] bool ExpandPlaceholders(const char* templateText, const char* applicationPath,
                                      ScriptBuffer* script);

// Reads install.inx from the current directory in text mode and writes its
// expansion to install.inf there, also in text mode. Both files are closed and
// both buffers released on return. On any status but TemplateMissing and
// ScriptNotCreated install.inf is complete (Written) or removed (failures);
// on those two an existing install.inf is left as it was.
ScriptStatus GenerateInstallScript(const char* applicationPath);
