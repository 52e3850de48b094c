#include "script/InstallScript.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMarker = '\xBD';
constexpr std::size_t kGuardBytes = 16;

// Expands into a buffer of exactly the measured size followed by marker
// bytes, and checks that nothing was written past the measured size.
std::string Expand(const std::string& text, const std::string& path)
{
    std::size_t size = 0;
    EXPECT_TRUE(MeasureExpansion(std::strlen(text.c_str()), CountPlaceholders(text.c_str()),
                                 path.size(), &size));
    std::vector<char> buffer(size + kGuardBytes, kMarker);
    buffer[0] = '\0';
    ScriptBuffer script{buffer.data(), 0, size};
    EXPECT_TRUE(ExpandPlaceholders(text.c_str(), path.c_str(), &script));
    EXPECT_EQ(script.length + 1, size) << "measured size is not exact";
    EXPECT_EQ(std::string(size + kGuardBytes - size, kMarker),
              std::string(buffer.begin() + static_cast<std::ptrdiff_t>(size), buffer.end()));
    return std::string(script.text, script.length);
}

struct ExpansionCase {
    const char* what;
    std::string text;
    std::string path;
    std::string expected;
};

TEST(ExpandPlaceholders, ReplacesEachPlaceholderWithTheQuotedPath)
{
    const std::vector<ExpansionCase> cases = {
        {"no placeholder", "[Strings]\nKey=Value\n", "C:\\App", "[Strings]\nKey=Value\n"},
        {"only the placeholder", "VUZAZURAV", "C:\\App", "\"C:\\App\""},
        {"in a line", "Dir=VUZAZURAV\n", "C:\\App", "Dir=\"C:\\App\"\n"},
        {"back to back", "VUZAZURAVVUZAZURAV", "C:\\A", "\"C:\\A\"\"C:\\A\""},
        {"after its own first letters", "VUVUZAZURAV", "p", "VU\"p\""},
        {"after a stray V", "VVUZAZURAV", "p", "V\"p\""},
        {"sharing letters with the next", "VUZAZURAVUZAZURAV", "p", "\"p\"UZAZURAV"},
        {"eight letters at the end", "x=VUZAZURA", "p", "x=VUZAZURA"},
        {"a lone V at the end", "VUZAZURAVV", "p", "\"p\"V"},
        {"lower case", "vuzazurav", "p", "vuzazurav"},
        {"mixed case", "VuzazuraV VUZAZURAv", "p", "VuzazuraV VUZAZURAv"},
        {"empty path", "a=VUZAZURAV;", "", "a=\"\";"},
        {"empty template", "", "C:\\App", ""},
        {"quotes already there", "\"VUZAZURAV\"", "C:\\A", "\"\"C:\\A\"\""},
        {"path is never escaped", "VUZAZURAV", "a\"b\\c;%WINDIR%\\", "\"a\"b\\c;%WINDIR%\\\""},
        {"path holding the placeholder", "VUZAZURAV|VUZAZURAV", "C:\\VUZAZURAV",
         "\"C:\\VUZAZURAV\"|\"C:\\VUZAZURAV\""},
        {"8-bit bytes kept", "\xE9VUZAZURAV\xFF", "C:\\Caf\xE9", "\xE9\"C:\\Caf\xE9\"\xFF"},
    };
    for (const ExpansionCase& c : cases) {
        EXPECT_EQ(c.expected, Expand(c.text, c.path)) << c.what;
    }
}

TEST(ExpandPlaceholders, StopsAtTheFirstNul)
{
    const std::string text("Dir=VUZAZURAV\0VUZAZURAV", 23);
    EXPECT_EQ(1u, CountPlaceholders(text.c_str()));
    EXPECT_EQ("Dir=\"p\"", Expand(text, "p"));
}

TEST(ExpandPlaceholders, GrowsByPathLengthMinusSevenPerPlaceholder)
{
    const std::string text = "A=VUZAZURAV\nB=VUZAZURAV\nC=VUZAZURAVVUZAZURAV\n";
    const std::size_t placeholders = 4;
    for (std::size_t pathLength = 0; pathLength <= 12; ++pathLength) {
        const std::string expanded = Expand(text, std::string(pathLength, 'p'));
        EXPECT_EQ(text.size() + placeholders * pathLength - placeholders * 7, expanded.size())
            << pathLength;
    }
}

TEST(ExpandPlaceholders, ManyPlaceholdersWithTheLongestPathAreNeverCut)
{
    // Far beyond template size + 2 x path + 1000 bytes.
    const std::string path(999, 'x');
    std::string text;
    std::string expected;
    for (int line = 0; line < 5000; ++line) {
        text += "VUZAZURAV\n";
        expected += '"' + path + "\"\n";
    }
    EXPECT_EQ(expected, Expand(text, path));
}

// The plain rule, for comparison: each placeholder, left to right.
std::string ReplaceEach(std::string text, const std::string& path)
{
    for (std::size_t at = text.find(kPlaceholder); at != std::string::npos;
         at = text.find(kPlaceholder, at + path.size() + 2)) {
        text.replace(at, kPlaceholderLength, '"' + path + '"');
    }
    return text;
}

TEST(ExpandPlaceholders, LongTextsAreExpandedWholeWhereverPlaceholdersFall)
{
    // Long texts are worked through in blocks; periods of 10 to 19 bytes put
    // placeholders across every possible seam between them.
    for (std::size_t period = kPlaceholderLength + 1; period < 20; ++period) {
        const std::string unit = kPlaceholder + std::string(period - kPlaceholderLength, 'x');
        std::string text;
        while (text.size() < 150000) {
            text += unit;
        }
        text += "VUZAZURA";  // a placeholder cut short at the very end
        EXPECT_EQ(ReplaceEach(text, "C:\\App"), Expand(text, "C:\\App")) << period;
    }
    const std::string plain(200000, 'V');
    EXPECT_EQ(plain, Expand(plain, "C:\\App"));
}

TEST(ExpandPlaceholders, APlaceholderAcrossTheFirstBlockSeamAtEveryOffset)
{
    // Lead-ins from a whole placeholder before the seam to one after it.
    for (std::size_t lead = kExpansionBlockSize - 2 * kPlaceholderLength;
         lead <= kExpansionBlockSize + kPlaceholderLength; ++lead) {
        const std::string text = std::string(lead, 'x') + kPlaceholder + "tail";
        EXPECT_EQ(std::string(lead, 'x') + "\"C:\\App\"tail", Expand(text, "C:\\App")) << lead;
    }
}

TEST(ExpandPlaceholders, RefusesABufferThatIsTooSmallWithoutWritingPastIt)
{
    const std::string text = "Dir=VUZAZURAV;Tail";
    const std::string path = "C:\\Program Files\\App";
    const std::size_t size = text.size() - 9 + path.size() + 2 + 1;
    for (std::size_t capacity = 0; capacity < size; ++capacity) {
        std::vector<char> buffer(capacity + kGuardBytes, kMarker);
        if (capacity == 0) {
            ScriptBuffer empty{buffer.data(), 0, 0};
            EXPECT_FALSE(ExpandPlaceholders(text.c_str(), path.c_str(), &empty));
            EXPECT_EQ(std::string(kGuardBytes, kMarker), std::string(buffer.begin(), buffer.end()));
            continue;
        }
        buffer[0] = '\0';
        ScriptBuffer script{buffer.data(), 0, capacity};
        EXPECT_FALSE(ExpandPlaceholders(text.c_str(), path.c_str(), &script)) << capacity;
        EXPECT_LT(script.length, capacity);
        EXPECT_EQ('\0', buffer[script.length]);
        for (std::size_t i = capacity; i < buffer.size(); ++i) {
            ASSERT_EQ(kMarker, buffer[i]) << "written past a capacity of " << capacity;
        }
    }
}

TEST(MeasureExpansion, ReportsSizesThatDoNotFit)
{
    std::size_t size = 0;
    EXPECT_TRUE(MeasureExpansion(0, 0, 0, &size));
    EXPECT_EQ(1u, size);
    EXPECT_TRUE(MeasureExpansion(18, 2, 999, &size));
    EXPECT_EQ(2u * 1001 + 1, size);
    EXPECT_TRUE(MeasureExpansion(SIZE_MAX - 1, 0, 999, &size));
    EXPECT_EQ(SIZE_MAX, size);

    EXPECT_FALSE(MeasureExpansion(SIZE_MAX, 0, 0, &size)) << "no room for the terminator";
    const std::size_t manyPlaceholders = SIZE_MAX / 9;
    EXPECT_FALSE(MeasureExpansion(manyPlaceholders * 9, manyPlaceholders, 999, &size));
    EXPECT_FALSE(MeasureExpansion(18, 2, SIZE_MAX - 1, &size)) << "path plus quotes overflows";
    EXPECT_FALSE(MeasureExpansion(17, 2, 0, &size)) << "more placeholders than the text holds";
}

}  // namespace
