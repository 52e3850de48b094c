// The built install.exe: its headers, imports and resources, read from the file.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::string ProgramPath()
{
    const char* path = std::getenv("INSTALL_EXE");
    return path != nullptr ? path : "";
}

class ProgramImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ifstream file(ProgramPath(), std::ios::binary);
        ASSERT_TRUE(file) << "INSTALL_EXE names no program: " << ProgramPath();
        bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        ASSERT_GE(bytes_.size(), sizeof(IMAGE_DOS_HEADER));
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
        nt_ = At<IMAGE_NT_HEADERS32>(static_cast<std::size_t>(dos->e_lfanew));
        ASSERT_NE(nullptr, nt_);
        ASSERT_EQ(IMAGE_NT_SIGNATURE, nt_->Signature);
    }

    // A structure at a file offset, or nullptr when it does not fit in the file.
    template <typename T>
    const T* At(std::size_t offset) const
    {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
            return nullptr;
        }
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    // The file offset of a relative virtual address.
    std::size_t OffsetOf(DWORD rva) const
    {
        const std::size_t table = static_cast<std::size_t>(At<IMAGE_DOS_HEADER>(0)->e_lfanew) +
                                  offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                  nt_->FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i) {
            const auto* section =
                At<IMAGE_SECTION_HEADER>(table + i * sizeof(IMAGE_SECTION_HEADER));
            if (section == nullptr) {
                break;
            }
            if (rva >= section->VirtualAddress &&
                rva < section->VirtualAddress + section->SizeOfRawData) {
                return rva - section->VirtualAddress + section->PointerToRawData;
            }
        }
        ADD_FAILURE() << "no section holds RVA " << rva;
        return bytes_.size();
    }

    // The terminated text at a file offset, read no further than the file's
    // end; empty past it (OffsetOf has then reported its failure).
    std::string TextAt(std::size_t offset) const
    {
        if (offset >= bytes_.size()) {
            return "";
        }
        const char* text = bytes_.data() + offset;
        const void* end = std::memchr(text, '\0', bytes_.size() - offset);
        EXPECT_NE(nullptr, end) << "a text runs past the file's end at " << offset;
        return end == nullptr ? std::string(text, bytes_.size() - offset)
                              : std::string(text, static_cast<const char*>(end));
    }

    // Bytes of the Authenticode signature appended to the image; 0 when unsigned.
    std::size_t SignatureSize() const
    {
        return nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size;
    }

    std::vector<char> bytes_;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

TEST_F(ProgramImage, IsASmallStrippedPe32GuiProgramWithAslrAndDep)
{
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt_->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt_->OptionalHeader.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt_->OptionalHeader.Subsystem);
    EXPECT_TRUE(nt_->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(nt_->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_NE(0, nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size)
        << "ASLR needs relocations";
    EXPECT_EQ(0u, nt_->FileHeader.TimeDateStamp) << "a build timestamp";
    EXPECT_EQ(0u, nt_->FileHeader.PointerToSymbolTable) << "not stripped";
    EXPECT_EQ(0u, nt_->FileHeader.NumberOfSymbols) << "not stripped";
    EXPECT_LE(bytes_.size() - SignatureSize(), 32u * 1024);
}

// Unsigned, or (with INSTALL_EXPECT_SIGNED=1) signed: one Authenticode
// certificate table, after everything else in the file.
TEST_F(ProgramImage, CarriesNoSignatureOrOneAtTheEnd)
{
    const IMAGE_DATA_DIRECTORY& security =
        nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    const char* expectSigned = std::getenv("INSTALL_EXPECT_SIGNED");
    if (expectSigned == nullptr || std::strcmp(expectSigned, "1") != 0) {
        EXPECT_EQ(0u, security.VirtualAddress);
        EXPECT_EQ(0u, security.Size);
        return;
    }
    // The table's "address" is a file offset; it is 8-byte aligned and ends the file.
    ASSERT_NE(0u, security.Size);
    EXPECT_EQ(0u, security.VirtualAddress % 8);
    EXPECT_EQ(bytes_.size(), std::size_t{security.VirtualAddress} + security.Size);
    const auto* certificate = At<WIN_CERTIFICATE>(security.VirtualAddress);
    ASSERT_NE(nullptr, certificate);
    EXPECT_LE(certificate->dwLength, security.Size);
    EXPECT_EQ(WIN_CERT_REVISION_2_0, certificate->wRevision);
    EXPECT_EQ(WIN_CERT_TYPE_PKCS_SIGNED_DATA, certificate->wCertificateType);
}

TEST_F(ProgramImage, ImportsOnlyFromWindowsOwnDlls)
{
    const IMAGE_DATA_DIRECTORY& directory =
        nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(0u, directory.VirtualAddress);
    std::set<std::string> dlls;
    for (std::size_t offset = OffsetOf(directory.VirtualAddress);;
         offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* import = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
        ASSERT_NE(nullptr, import);
        if (import->Name == 0) {
            break;
        }
        std::string name = TextAt(OffsetOf(import->Name));
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        dlls.insert(name);
    }
    EXPECT_EQ(std::set<std::string>(
                  {"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "SHELL32.DLL", "USER32.DLL"}),
              dlls);
}

// Resource enumeration through Windows itself.
BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR found)
{
    reinterpret_cast<std::set<ULONG_PTR>*>(found)->insert(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found)
{
    reinterpret_cast<std::set<ULONG_PTR>*>(found)->insert(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::set<ULONG_PTR>*>(found)->insert(language);
    return TRUE;
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST(ProgramResources, OneIconGroup101InEnglishWithOne32x32SixteenColourImage)
{
    HMODULE program = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program) << ProgramPath();

    std::set<ULONG_PTR> types;
    EnumResourceTypesA(program, CollectType, reinterpret_cast<LONG_PTR>(&types));
    EXPECT_EQ(std::set<ULONG_PTR>({3 /* RT_ICON */, 14 /* RT_GROUP_ICON */, 24 /* RT_MANIFEST */}),
              types)
        << "no version record, dialog, menu or string table";

    std::set<ULONG_PTR> groups;
    EnumResourceNamesA(program, RT_GROUP_ICON, CollectName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(std::set<ULONG_PTR>({101}), groups);
    std::set<ULONG_PTR> languages;
    EnumResourceLanguagesA(program, RT_GROUP_ICON, MAKEINTRESOURCEA(101), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(std::set<ULONG_PTR>({1033}), languages);

    std::set<ULONG_PTR> images;
    EnumResourceNamesA(program, RT_ICON, CollectName, reinterpret_cast<LONG_PTR>(&images));
    EXPECT_EQ(1u, images.size());

    HRSRC groupResource = FindResourceExA(program, RT_GROUP_ICON, MAKEINTRESOURCEA(101), 1033);
    ASSERT_NE(nullptr, groupResource);
    const auto* group =
        static_cast<const IconGroup*>(LockResource(LoadResource(program, groupResource)));
    ASSERT_NE(nullptr, group);
    ASSERT_EQ(1, group->count);
    EXPECT_EQ(32, group->entries[0].width);
    EXPECT_EQ(32, group->entries[0].height);
    EXPECT_EQ(16, group->entries[0].colorCount);
    EXPECT_EQ(4, group->entries[0].bitCount);

    HRSRC imageResource = FindResourceA(program, MAKEINTRESOURCEA(group->entries[0].id), RT_ICON);
    ASSERT_NE(nullptr, imageResource);
    const auto* image =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(program, imageResource)));
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(32, image->biWidth);
    EXPECT_EQ(64, image->biHeight) << "colour and mask, 32 rows each";
    EXPECT_EQ(4, image->biBitCount);
    FreeLibrary(program);
}

// The manifest Windows reads at start-up: elevated before the first box, so
// that on 64-bit Windows the verb reaches the 32-bit INF engine; declared for
// Windows 7 to 11; themed buttons.
TEST(ProgramResources, ManifestAsksForAdministratorOnEveryWindowsFrom7)
{
    HMODULE program = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program) << ProgramPath();
    std::set<ULONG_PTR> names;
    EnumResourceNamesA(program, RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(std::set<ULONG_PTR>({1}), names) << "CREATEPROCESS_MANIFEST_RESOURCE_ID alone";
    HRSRC resource = FindResourceA(program, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(nullptr, resource);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(program, resource)));
    ASSERT_NE(nullptr, data);
    std::string manifest(data, SizeofResource(program, resource));
    FreeLibrary(program);
    // Compared without the layout's spaces and line ends.
    std::string squeezed;
    for (char c : manifest) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            squeezed += c;
        }
    }
    const auto count = [&squeezed](const std::string& text) {
        std::size_t found = 0;
        for (std::size_t at = squeezed.find(text); at != std::string::npos;
             at = squeezed.find(text, at + 1)) {
            ++found;
        }
        return found;
    };
    EXPECT_EQ(0u, squeezed.rfind("<?xmlversion=\"1.0\"encoding=\"UTF-8\"", 0)) << manifest;
    EXPECT_EQ(1u,
              count("<requestedExecutionLevellevel=\"requireAdministrator\"uiAccess=\"false\"/>"));
    EXPECT_EQ(1u, count("<requestedExecutionLevel"));
    for (const char* id : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a",     // Windows 7
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",     // 8
                           "1f676c76-80e1-4239-95bb-83d0f6d0da78",     // 8.1
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {  // 10 and 11
        EXPECT_EQ(1u, count(std::string("<supportedOSId=\"{") + id + "}\"/>")) << id;
    }
    EXPECT_EQ(4u, count("<supportedOS"));
    EXPECT_EQ(1u, count("name=\"Microsoft.Windows.Common-Controls\"version=\"6.0.0.0\""
                        "processorArchitecture=\"x86\"publicKeyToken=\"6595b64144ccf1df\""));
    EXPECT_EQ(1u, count("xmlns=\"urn:schemas-microsoft-com:asm.v3\""));
}

}  // namespace
