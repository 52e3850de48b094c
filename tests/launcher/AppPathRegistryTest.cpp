// QueryAppPath against the real registry (Wine's, in the tests' own prefix).
#include "launcher/AppPath.h"
#include "tests/support/AppPathKey.h"
#include "tests/support/ConversionContract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class AppPathRegistry : public ::testing::Test {
protected:
    void SetUp() override { DeleteAppPathKey(); }
    void TearDown() override
    {
        DeleteAppPathKey();
        EXPECT_EQ("", TakeConversionContractViolations());
    }

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
    std::vector<std::string> texts = {
        "C:\\Program Files\\App", "", "C:\\App\\", "C:\\App;", "C:\\One;D:\\Two",
        std::string(999, 'p'),
    };
    // Stored through the A functions: E9 is a letter in 1252 and 1251, not UTF-8.
    if (GetACP() != CP_UTF8) {
        texts.emplace_back("C:\\Caf\xE9");
    }
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

// Run in three prefixes, whose code pages are 1252, 1251 and UTF-8: each of
// the first two holds the other's letters only as look-alikes or '?'.
TEST_F(AppPathRegistry, TheSystemCodePageDecides)
{
    struct Case {
        std::wstring stored;
        DWORD type;
        const char* inCodePage1252;  // nullptr: NotInCodePage
        const char* inCodePage1251;
        const char* inUtf8;
    };
    const Case cases[] = {
        {L"C:\\Plain", REG_SZ, "C:\\Plain", "C:\\Plain", "C:\\Plain"},
        {L"C:\\M\u00FCller", REG_SZ, "C:\\M\xFCller", nullptr, "C:\\M\xC3\xBCller"},
        {L"C:\\\u041F\u0443\u0442\u044C", REG_SZ, nullptr, "C:\\\xCF\xF3\xF2\xFC",
         "C:\\\xD0\x9F\xD1\x83\xD1\x82\xD1\x8C"},
        {L"C:\\\u65E5\u672C\u8A9E App", REG_SZ, nullptr, nullptr,
         "C:\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E App"},
        {L"C:\\App\uFF02 X", REG_EXPAND_SZ, nullptr, nullptr, "C:\\App\xEF\xBC\x82 X"},
        // A list's first text is checked too: its look-alike would be C:\Lodz App.
        {std::wstring(L"C:\\\u0141\u00F3d\u017A App\0D:\\Two\0", 19), REG_MULTI_SZ, nullptr,
         nullptr,
         "C:\\\xC5\x81\xC3\xB3"
         "d\xC5\xBA App"},
    };
    const UINT codePage = GetACP();
    ASSERT_TRUE(codePage == 1252 || codePage == 1251 || codePage == CP_UTF8) << codePage;
    for (const Case& c : cases) {
        const char* expected = codePage == 1252   ? c.inCodePage1252
                               : codePage == 1251 ? c.inCodePage1251
                                                  : c.inUtf8;
        SetAppPathWide(c.stored, c.type);
        if (expected == nullptr) {
            EXPECT_EQ(AppPathStatus::NotInCodePage, Query()) << Path();
        } else {
            EXPECT_EQ(AppPathStatus::Found, Query()) << expected;
            EXPECT_EQ(expected, Path());
        }
    }
}

// Under UTF-8 the longest path has a third as many characters of three bytes.
TEST_F(AppPathRegistry, TheLongestPathUnderUtf8)
{
    if (GetACP() != CP_UTF8) {
        GTEST_SKIP() << "code page " << GetACP();
    }
    std::string longest;
    for (int i = 0; i < 333; ++i) {
        longest += "\xE6\x97\xA5";
    }
    SetAppPathWide(std::wstring(333, L'\u65E5'));
    EXPECT_EQ(AppPathStatus::Found, Query());
    EXPECT_EQ(longest, Path());
    SetAppPathWide(std::wstring(334, L'\u65E5'));
    EXPECT_EQ(AppPathStatus::ValueMissing, Query());
}

// The key is closed before the lookup returns: a handle made after lookups
// takes the slot that one made before them had.
TEST_F(AppPathRegistry, TheKeyIsClosedOnEveryPath)
{
    SetAppPathText("C:\\App");
    ASSERT_EQ(AppPathStatus::Found, Query());  // whatever a first lookup keeps open for good
    HANDLE before = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(before);
    EXPECT_EQ(AppPathStatus::Found, Query());
    SetAppPathWide(L"C:\\\u65E5 \u0141");
    Query();
    DeleteAppPathKey();
    CreateAppPathKey();
    EXPECT_EQ(AppPathStatus::ValueMissing, Query());
    HANDLE after = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(after);
    EXPECT_EQ(before, after);
}

}  // namespace
