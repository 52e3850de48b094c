#include "launcher/AppPath.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace {

constexpr wchar_t kPathValueName[] = L"Path";

bool IsText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The registry stores text as Unicode and converts it for the A functions,
// putting a look-alike or '?' in place of a character that the ANSI code page
// lacks, and still reporting success. Found only when `path`, read back from
// the ANSI code page, is the stored text up to its first NUL. Reading back
// takes the same flags under every ANSI code page, UTF-8 (65001) included,
// where Windows refuses WideCharToMultiByte's best-fit flag and used-default
// pointer.
AppPathStatus CheckStoredText(HKEY key, const char* path)
{
    // The ANSI text fits in kAppPathBufferSize bytes, so the stored text has
    // at most that many characters.
    wchar_t stored[kAppPathBufferSize];
    DWORD storedSize = sizeof stored;
    if (RegQueryValueExW(key, kPathValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(stored),
                         &storedSize) != ERROR_SUCCESS) {
        return AppPathStatus::ValueMissing;
    }
    const DWORD storedCount = storedSize / sizeof stored[0];
    int storedLength = 0;
    while (static_cast<DWORD>(storedLength) < storedCount && stored[storedLength] != L'\0') {
        ++storedLength;
    }
    const int pathLength = static_cast<int>(std::strlen(path));
    if (storedLength == 0 || pathLength == 0) {
        return storedLength == pathLength ? AppPathStatus::Found : AppPathStatus::NotInCodePage;
    }
    // Each byte of the path gives at most one UTF-16 unit.
    wchar_t readBack[kAppPathBufferSize];
    const int readBackLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, pathLength,
                                                   readBack, static_cast<int>(kAppPathBufferSize));
    const bool same = readBackLength == storedLength &&
                      std::wmemcmp(readBack, stored, static_cast<std::size_t>(storedLength)) == 0;
    return same ? AppPathStatus::Found : AppPathStatus::NotInCodePage;
}

AppPathStatus ReadAppPath(HKEY key, char* path)
{
    DWORD type = 0;
    DWORD dataSize = kAppPathBufferSize;
    if (RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &dataSize) !=
        ERROR_SUCCESS) {
        return AppPathStatus::ValueMissing;
    }
    // The data need not be terminated, and an empty value leaves the buffer as it was.
    const AppPathStatus status = AppPathFromRegistryData(path, dataSize);
    if (status != AppPathStatus::Found || !IsText(type)) {
        return status;
    }
    return CheckStoredText(key, path);
}

}  // namespace

AppPathStatus QueryAppPath(char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZI050.EXE", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return AppPathStatus::KeyMissing;
    }
    const AppPathStatus status = ReadAppPath(key, path);
    RegCloseKey(key);
    return status;
}
