// Three kinds of offset, each its own type: into the template file, into the
// text install.exe reads from it, and into install.inf.
#pragma once

#include <cstddef>

inline constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

struct FileOffset {
    std::size_t at;
};
struct TextOffset {
    std::size_t at;
};
struct InfOffset {
    std::size_t at;
};

// True when the offset names a place (not kNowhere).
template <typename Offset>
constexpr bool Somewhere(Offset offset)
{
    return offset.at != kNowhere;
}
