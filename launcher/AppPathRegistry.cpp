#include "launcher/AppPath.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr wchar_t kPathValueName[] = L"Path";

bool IsText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The registry stores text as Unicode and converts it for the A functions,
// putting a look-alike or '?' in place of a character that the ANSI code page
// lacks, and still reporting success. Found only when the stored text, up to
// its first NUL, converts to exactly `path` with no character substituted.
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
    if (storedLength == 0) {
        return path[0] == '\0' ? AppPathStatus::Found : AppPathStatus::NotInCodePage;
    }
    char converted[kAppPathBufferSize];
    BOOL usedDefaultChar = FALSE;
    const int convertedLength =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, stored, storedLength, converted,
                            sizeof converted, nullptr, &usedDefaultChar);
    const bool same = convertedLength > 0 && usedDefaultChar == FALSE &&
                      std::strlen(path) == static_cast<std::size_t>(convertedLength) &&
                      std::memcmp(path, converted, static_cast<std::size_t>(convertedLength)) == 0;
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
    const AppPathStatus status = TerminateAppPath(path, dataSize);
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
