// A unified diff of lines inserted into a file: what `patch -p0` and
// `git apply -p0` apply. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Lines to insert after the first `after` lines of the file (0: at its top).
struct Insertion {
    std::size_t after = 0;
    std::vector<std::string> lines;  // without their line ends
};

// The file's lines, each with its own line end (the last may have none).
std::vector<std::string> SplitLines(const std::string& bytes);

// The diff that inserts `insertions` into `bytes`, named `path` on both
// sides; each inserted line ends as the file's first line does ("\r\n" or
// "\n"). Empty when there is nothing to insert.
std::string UnifiedDiff(const std::string& path, const std::string& bytes,
                        std::vector<Insertion> insertions);
