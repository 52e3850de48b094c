// inx-check's INF reader reads what setupapi reads: for the sections the
// reader finds, every line's key and fields as setupapi hands them out
// (SetupGetStringFieldA), compared byte for byte on templates rendered with
// awkward folders and on generated INFs, in the system's ANSI code page. And
// the checker's code pages hold the characters that Windows' conversion gives.
#include "inx-check/reader/InfReader.h"
#include "inx-check/reader/Rendering.h"
#include "inx-check/rules/TemplateCheck.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ThisCodePage.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const unsigned kGeneratedInfs = 2000;

std::string Hex(DWORD value)
{
    char text[16];
    static_cast<void>(
        std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value)));
    return text;
}

// setupapi's error for each reason the reader refuses an INF.
DWORD ErrorOf(InfError error)
{
    switch (error) {
    case InfError::None:
        return 0;
    case InfError::TextBeforeFirstSection:
        return ERROR_EXPECTED_SECTION_NAME;
    case InfError::UnclosedSectionName:
        return ERROR_BAD_SECTION_NAME_LINE;
    case InfError::SectionNameTooLong:
        return ERROR_SECTION_NAME_TOO_LONG;
    case InfError::NoVersionSection:
    case InfError::NoSignature:
    case InfError::UnknownSignature:
        return ERROR_WRONG_INF_STYLE;
    }
    return 1;
}

// `bytes` in code page `page`, converted by Windows, in UTF-8.
std::string ConvertedByWindows(unsigned page, const std::string& bytes)
{
    wchar_t wide[8];
    const int length =
        MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), wide, 8);
    char utf8[32];
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8, sizeof utf8, nullptr, nullptr);
    return std::string(utf8, static_cast<std::size_t>(written > 0 ? written : 0));
}

std::string FieldFromSetupApi(INFCONTEXT* context, DWORD index)
{
    std::vector<char> buffer(16384, '\xBD');
    DWORD required = 0;
    if (SetupGetStringFieldA(context, index, buffer.data(), static_cast<DWORD>(buffer.size()),
                             &required) == FALSE) {
        return "<none>";
    }
    return buffer.data();
}

std::string DumpWithSetupApi(const std::string& path, const Inf& read)
{
    UINT errorLine = 0;
    HINF inf = SetupOpenInfFileA(path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE) {
        return "open: " + Hex(GetLastError()) + "\n";
    }
    std::string dump = "open: ok\n";
    for (const InfSection& section : read.sections) {
        const LONG count = SetupGetLineCountA(inf, section.name.c_str());
        dump += "[" + section.name + "] " + std::to_string(count) + "\n";
        for (LONG i = 0; i < count; ++i) {
            INFCONTEXT context{};
            if (SetupGetLineByIndexA(inf, section.name.c_str(), static_cast<DWORD>(i), &context) ==
                FALSE) {
                dump += "<no line>\n";
                continue;
            }
            const DWORD fields = SetupGetFieldCount(&context);
            dump += FieldFromSetupApi(&context, 0) + " =";
            for (DWORD f = 1; f <= fields; ++f) {
                dump += " |" + FieldFromSetupApi(&context, f);
            }
            dump += "\n";
        }
    }
    SetupCloseInfFile(inf);
    return dump;
}

// Text as an A function hands it back: through UTF-16 and back to the ANSI
// code page, where a pair that is no character becomes the default character.
std::string AsHandedBack(const std::string& text)
{
    // In UTF-8 the file's conversion makes each byte of no sequence U+FFFD;
    // Windows' conversion of a field alone treats a sequence cut at its end
    // otherwise.
    if (GetACP() == CP_UTF8) {
        return Utf8FromCodePage(ThisCodePage(), text);
    }
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    std::string back(wide.size() * 2, '\0');
    back.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), back.data(),
                            static_cast<int>(back.size()), nullptr, nullptr)));
    return back;
}

std::string DumpWithReader(const Inf& inf)
{
    if (inf.error != InfError::None) {
        return "open: " + Hex(ErrorOf(inf.error)) + "\n";
    }
    std::string dump = "open: ok\n";
    for (const InfSection& section : inf.sections) {
        dump += "[" + section.name + "] " + std::to_string(section.lines.size()) + "\n";
        for (const InfLine& line : section.lines) {
            dump += (line.HasKey() ? AsHandedBack(SubstituteStrings(inf, inf.Text(inf.Key(line))))
                                   : "<none>") +
                    " =";
            for (std::size_t i = 0; i < line.valueCount; ++i) {
                dump += " |" + AsHandedBack(SubstituteStrings(inf, inf.Text(inf.Value(line, i))));
            }
            dump += "\n";
        }
    }
    return dump;
}

// INF text from the pieces that packagers write and that trip the engine.
class InfGenerator {
public:
    explicit InfGenerator(unsigned seed) : random_(seed) {}

    std::string Next()
    {
        std::string inf;
        if (Chance(10)) {
            inf += Pick({"junk before\r\n", "; comment first\r\n", "x=1 [Version]\r\n"});
        }
        if (!Chance(15)) {
            inf += Pick({"[Version]", "[version]", "[VERSION] ; c"}) + std::string("\r\n") +
                   Pick({"Signature=\"$Chicago$\"", "signature = $Windows NT$",
                         "Signature=\"$Windows 95$\"", "Signature=$chicago$", "Signature=%Sig%",
                         "Signature=\"$Windows XP$\""}) +
                   "\r\n";
        }
        const int sections = Between(1, 5);
        for (int s = 0; s < sections; ++s) {
            inf += Header() + End();
            const int lines = Between(0, 6);
            for (int l = 0; l < lines; ++l) {
                inf += Line() + End();
            }
        }
        return inf;
    }

private:
    bool Chance(int percent) { return Between(1, 100) <= percent; }
    int Between(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    const char* Pick(std::initializer_list<const char*> choices)
    {
        return choices.begin()[Between(0, static_cast<int>(choices.size()) - 1)];
    }

    std::string Header()
    {
        if (Chance(3)) {
            return Chance(50) ? "[Unclosed" : "[" + std::string(256, 'n') + "]";
        }
        return std::string("[") +
               Pick({"Strings", "strings", "DefaultInstall", "Files", "files", "R", " Spaced ",
                     "A;B", "A\"B", "\x95\x5D", "A\x95\x5D]B"}) +
               "]" + Pick({"", " ; c", " trailing", "\t"});
    }

    std::string End() { return Pick({"\r\n", "\r\n", "\n", "\r\r\n", "\\\r\n", " \\ ; c\r\n"}); }

    std::string Line()
    {
        std::string line = Pick({"", " ", "\t"});
        if (Chance(60)) {
            line += Atom() + Pick({"=", " = ", "\t=\t", "= "});
        }
        const int fields = Between(1, 4);
        for (int f = 0; f < fields; ++f) {
            line += (f > 0 ? std::string(Pick({",", " , ", ",\t"})) : "") + Atom() +
                    (Chance(30) ? Atom() : "");
        }
        if (Chance(15)) {
            line += Pick({" ; comment", ";c", "; \"q"});
        }
        return line;
    }

    std::string Atom()
    {
        if (Chance(3)) {
            return std::string(static_cast<std::size_t>(Between(505, 520)), 'w');
        }
        return Pick({"word", "two words", "\"quoted\"", "\"with space\"", "\"a\"\"b\"", "\"\"",
                     "\"open", "%Key%", "%key%", "%%", "%Undefined%", "x%", "%Sig%", "C:\\App",
                     "\"C:\\App\"\\sub", "a\\b", "\\", "a \\ b", "x;y", "caf\xE9", "nb\xA0sp",
                     "\"q\" tail", "\t", "=", "key=v", "$Chicago$", "\"x,y\"", "", "\\\\",
                     // In a double-byte code page one character whose second byte is '\\', '['
                     // or ']' (the same in 932 and 936); in another, two.
                     "\x95\x5C", "x\x95\x5C", "\"\x95\x5C\"", "\x95\x5B\x95\x5D"});
    }

    std::mt19937 random_;
};

TEST(InfReaderAgreement, ReadsWhatSetupApiReads)
{
    std::vector<std::string> infs;
    const std::string strings = "[Strings]\r\nKey=\"C:\\From Strings\"\r\nSig=\"$Chicago$\"\r\n";
    const std::string templates[] = {
        "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\nCopyFiles=F\r\nAddReg=R\r\n"
        "[DestinationDirs]\r\nF=-1,VUZAZURAV\r\n[F]\r\nf.txt\r\n"
        "[R]\r\nHKCU,Software\\T,Dir,,VUZAZURAV\r\nHKCU,Software\\T,Q,,\"VUZAZURAV\"\r\n"
        "HKCU,Software\\T,Bin,,VUZAZURAV\\bin\r\n" +
            strings,
        "[version]\nsignature=$windows nt$\n[defaultinstall]\naddreg=r\n[r]\n"
        "HKLM,Software\\T,,0x10001,1\nHKCU,Software\\T,Dir,,\"VUZAZURAV\\sub\" /x ; c\n"
        "HKCU,Software\\T,Cmd,,\"\"\"VUZAZURAV\\app.exe\"\" /x\"\n[Strings]\nAppDir=VUZAZURAV\n",
    };
    const std::string folders[] = {"C:\\Program Files\\ZI050",
                                   "C:\\Apps\\A, B; C (x86)",
                                   "C:\\Tools 100%\\ZI050",
                                   "C:\\App\\",
                                   "C:\\a\"b",
                                   "C:\\Users\\Public\\My Apps\\ZI 050 v2.1",
                                   "",
                                   std::string(600, 'd'),
                                   "C:\\Programme\\M\xFCller",
                                   "C:\\%Key%\\x"};
    for (const std::string& text : templates) {
        const std::size_t first = infs.size();
        for (const std::string& folder : folders) {
            std::string script;
            ASSERT_TRUE(RenderInstallScript(text, folder, &script));
            infs.push_back(script);
        }
        // A UTF-8 byte-order mark is no text before the first section.
        infs.push_back("\xEF\xBB\xBF" + infs[first]);
        infs.push_back("\xEF\xBB\xBF" + infs[infs.size() - 2]);
    }
    InfGenerator generator(20261207u);
    for (unsigned i = 0; i < kGeneratedInfs; ++i) {
        infs.push_back(generator.Next() + (i % 2 == 0 ? strings : ""));
    }

    ScratchDirectory scratch;
    const std::string path = (scratch.Path() / "read.inf").string();
    unsigned opened = 0;
    for (std::size_t i = 0; i < infs.size(); ++i) {
        // Where UTF-8 is the code page, the engine reads U+FFFD for each part
        // of the file that is no UTF-8 before it finds quotes, while the reader
        // keeps the bytes: there the INFs are compared in UTF-8, their pairs
        // read as GBK's characters.
        if (GetACP() == CP_UTF8) {
            infs[i] = Utf8FromCodePage(*FindCodePage(936), infs[i]);
        }
        WriteFileBytes(path, infs[i]);
        const Inf read = ReadInf(infs[i], ThisCodePage());
        opened += read.error == InfError::None ? 1 : 0;
        if (read.error == InfError::UnknownSignature && read.signature == "$Windows 95$") {
            // Wine's engine takes it, Windows' does not: otherwise read alike.
            std::string taken = infs[i];
            taken.replace(taken.find("$Windows 95$"), 12, "$Windows NT$");
            const Inf asWine = ReadInf(taken, ThisCodePage());
            std::string dump = DumpWithReader(asWine);
            dump.replace(dump.find("$Windows NT$"), 12, "$Windows 95$");
            ASSERT_EQ(DumpWithSetupApi(path, asWine), dump) << infs[i];
            continue;
        }
        ASSERT_EQ(DumpWithSetupApi(path, read), DumpWithReader(read)) << "INF " << i << ":\n"
                                                                      << infs[i];
    }
    std::printf("%u INFs read alike by setupapi and the reader, %u of them opened\n",
                static_cast<unsigned>(infs.size()), opened);
}

// Every byte and byte pair that a code page's table gives a character
// converts to that character, and its lead bytes are Windows' own.
TEST(CodePageAgreement, TablesHoldWhatWindowsConverts)
{
    for (std::size_t i = 0; i < kCodePageTableCount; ++i) {
        const CodePage& page = kCodePageTables[i];
        unsigned compared = 0;
        for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
            const bool leads = IsDBCSLeadByteEx(page.number, static_cast<BYTE>(lead)) != FALSE;
            std::string text(1, static_cast<char>(lead));
            ASSERT_EQ(leads, CharacterLength(page, text + "A", 0) == 2)
                << page.number << " byte " << Hex(lead);
            for (unsigned trail = leads ? kFirstTrailByte : 0x100; trail <= kLastTrailByte;
                 ++trail) {
                text = {static_cast<char>(lead), static_cast<char>(trail)};
                const std::string ours = Utf8FromCodePage(page, text);
                if (ours != "\xEF\xBF\xBD") {
                    ASSERT_EQ(ConvertedByWindows(page.number, text), ours)
                        << page.number << " bytes " << Hex(lead) << " " << Hex(trail);
                    ++compared;
                }
            }
            const std::string ours = Utf8FromCodePage(page, text.substr(0, 1));
            if (!leads && ours != "\xEF\xBF\xBD") {
                ASSERT_EQ(ConvertedByWindows(page.number, text.substr(0, 1)), ours)
                    << page.number << " byte " << Hex(lead);
                ++compared;
            }
        }
        EXPECT_GT(compared, 100u) << page.number;
    }
}

}  // namespace
