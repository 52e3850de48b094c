// QueryAppPath against the real registry (Wine's, in the tests' own prefix).
#include "launcher/AppPath.h"
#include "tests/support/AppPathKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class AppPathRegistry : public ::testing::Test {
protected:
    void SetUp() override { DeleteAppPathKey(); }
    void TearDown() override { DeleteAppPathKey(); }

    // Queries into a buffer pre-filled with marker bytes.
    AppPathStatus Query()
    {
        buffer_.assign(kAppPathBufferSize, '\xBD');
        return QueryAppPath(buffer_.data());
    }
    std::string Path() const { return buffer_.data(); }

private:
    std::vector<char> buffer_;
};

TEST_F(AppPathRegistry, MissingEntryOrValue)
{
    EXPECT_EQ(AppPathStatus::KeyMissing, Query());
    CreateAppPathKey();
    EXPECT_EQ(AppPathStatus::ValueMissing, Query());
}

TEST_F(AppPathRegistry, TextIsTakenAsStored)
{
    const std::vector<std::string> texts = {
        "C:\\Program Files\\App", "", "C:\\App\\", "C:\\App;", "C:\\One;D:\\Two", "C:\\Caf\xE9",
        std::string(999, 'p'),
    };
    for (const std::string& text : texts) {
        SetAppPathText(text);
        EXPECT_EQ(AppPathStatus::Found, Query()) << text.size();
        EXPECT_EQ(text, Path());
    }
}

TEST_F(AppPathRegistry, TextOfAThousandBytesDoesNotFit)
{
    SetAppPathText(std::string(1000, 'p'));
    EXPECT_EQ(AppPathStatus::ValueMissing, Query());
}

TEST_F(AppPathRegistry, AnyTypeIsTakenAsText)
{
    SetAppPathValue(REG_EXPAND_SZ, std::string("%ProgramFiles%\\App\0", 19));
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ("%ProgramFiles%\\App", Path()) << "expanded";

    SetAppPathValue(REG_MULTI_SZ, std::string("C:\\One\0D:\\Two\0\0", 15));
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ("C:\\One", Path());

    SetAppPathValue(REG_DWORD, std::string("ABC\0", 4));
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ("ABC", Path());
}

TEST_F(AppPathRegistry, DataWithoutNul)
{
    SetAppPathValue(REG_BINARY, "C:\\Bin");
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ("C:\\Bin", Path());

    SetAppPathValue(REG_SZ, "C:\\Unterminated");
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ("C:\\Unterminated", Path());

    SetAppPathValue(REG_BINARY, std::string(999, 'b'));
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ(std::string(999, 'b'), Path());

    SetAppPathValue(REG_BINARY, std::string(1000, 'b'));
    EXPECT_EQ(AppPathStatus::ValueMissing, Query()) << "fills the buffer with no room for a NUL";
}

// The test prefix's ANSI code page is 1252.
TEST_F(AppPathRegistry, StoredTextOutsideTheCodePageIsRefused)
{
    if (GetACP() != 1252) {
        GTEST_SKIP() << "code page " << GetACP();
    }
    SetAppPathWide(L"C:\\Programme\\M\u00FCller");
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ("C:\\Programme\\M\xFCller", Path());

    const std::wstring longest(999, L'\u00FC');  // 1998 bytes stored, 999 in the code page
    SetAppPathWide(longest);
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ(std::string(999, '\xFC'), Path());

    const std::wstring outside[] = {
        L"C:\\\u0141\u00F3d\u017A App",  // Ł and ź: best-fit look-alikes L and z
        L"C:\\App\uFF02 X",              // fullwidth quotation mark: best fit "
        L"C:\\\u65E5\u672C\u8A9E",       // no look-alike: ?
    };
    for (const std::wstring& text : outside) {
        SetAppPathWide(text);
        EXPECT_EQ(AppPathStatus::NotInCodePage, Query()) << Path();
    }
}

// Also run in a prefix whose code page is 1251: each of the two code pages
// holds the other's letters only as look-alikes or '?'.
TEST_F(AppPathRegistry, TheSystemCodePageDecides)
{
    const UINT codePage = GetACP();
    ASSERT_TRUE(codePage == 1252 || codePage == 1251) << codePage;
    SetAppPathWide(L"C:\\M\u00FCller");
    EXPECT_EQ(codePage == 1252 ? AppPathStatus::Found : AppPathStatus::NotInCodePage, Query());
    SetAppPathWide(L"C:\\\u041F\u0443\u0442\u044C");
    EXPECT_EQ(codePage == 1251 ? AppPathStatus::Found : AppPathStatus::NotInCodePage, Query());
    if (codePage == 1251) {
        EXPECT_EQ("C:\\\xCF\xF3\xF2\xFC", Path());
    }
}

}  // namespace
