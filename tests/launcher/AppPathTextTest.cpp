// How the registry's data becomes the application path.
#include "launcher/AppPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char kMarker = '\xBD';

struct Outcome {
    AppPathStatus status;
    std::string path;
    std::string buffer;  // all of it, terminator and what follows included
};

// Places `data` in a marker-filled buffer as the registry would, then applies
// the rules for `dataSize` bytes.
Outcome Terminate(const std::string& data, std::size_t dataSize)
{
    std::vector<char> buffer(kAppPathBufferSize, kMarker);
    std::copy(data.begin(), data.end(), buffer.begin());
    const AppPathStatus status = AppPathFromRegistryData(buffer.data(), dataSize);
    const std::string path = status == AppPathStatus::Found ? std::string(buffer.data()) : "";
    return {status, path, std::string(buffer.begin(), buffer.end())};
}

TEST(AppPathFromRegistryData, TakesTheTextUpToTheFirstNul)
{
    const Outcome terminated = Terminate(std::string("C:\\App\0D:\\Other\0", 16), 16);
    EXPECT_EQ(AppPathStatus::Found, terminated.status);
    EXPECT_EQ("C:\\App", terminated.path);

    const Outcome empty = Terminate(std::string("\0", 1), 1);
    EXPECT_EQ(AppPathStatus::Found, empty.status);
    EXPECT_EQ("", empty.path);
}

TEST(AppPathFromRegistryData, TerminatesDataStoredWithoutNulWithinItsSize)
{
    const Outcome unterminated = Terminate("C:\\App;", 7);
    EXPECT_EQ(AppPathStatus::Found, unterminated.status);
    EXPECT_EQ("C:\\App;", unterminated.path);
    EXPECT_EQ(std::string(8, kMarker), unterminated.buffer.substr(8, 8))
        << "wrote past the terminator";

    const Outcome nothing = Terminate("", 0);
    EXPECT_EQ(AppPathStatus::Found, nothing.status);
    EXPECT_EQ("", nothing.path);
}

TEST(AppPathFromRegistryData, IgnoresBytesBeyondTheReturnedSize)
{
    // "C:\App" was delivered; the "X" after it is a leftover, not data.
    const Outcome leftover = Terminate("C:\\AppX", 6);
    EXPECT_EQ("C:\\App", leftover.path);
}

TEST(AppPathFromRegistryData, TextMustFitWithItsTerminator)
{
    EXPECT_EQ(AppPathStatus::Found,
              Terminate(std::string(999, 'p') + '\0', kAppPathBufferSize).status);
    EXPECT_EQ(AppPathStatus::Found, Terminate(std::string(999, 'p'), 999).status);
    EXPECT_EQ(AppPathStatus::ValueMissing,
              Terminate(std::string(kAppPathBufferSize, 'p'), kAppPathBufferSize).status);
    EXPECT_EQ(AppPathStatus::ValueMissing, Terminate("p", kAppPathBufferSize + 1).status);
}

}  // namespace
