#include "tests/support/ConversionContract.h"

#undef MultiByteToWideChar
#undef WideCharToMultiByte

namespace {

std::string violations;

UINT ActualCodePage(UINT codePage)
{
    if (codePage == CP_ACP || codePage == CP_THREAD_ACP) {
        return GetACP();
    }
    return codePage == CP_OEMCP ? GetOEMCP() : codePage;
}

// Code pages for which both functions take no flags at all.
bool TakesNoFlags(UINT codePage)
{
    return codePage == 42 || codePage == CP_UTF7 || (codePage >= 50220 && codePage <= 50229) ||
           (codePage >= 57002 && codePage <= 57011);
}

// Code pages for which the only flag is the one that refuses invalid text.
bool TakesOnlyErrorFlag(UINT codePage)
{
    return codePage == CP_UTF8 || codePage == 54936;
}

int Refuse(const char* call, UINT codePage, const char* rule, DWORD error)
{
    violations +=
        std::string(call) + " under code page " + std::to_string(codePage) + ": " + rule + "\n";
    SetLastError(error);
    return 0;
}

}  // namespace

int WINAPI CheckedMultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteCount,
                                      LPWSTR wide, int wideCount)
{
    const char call[] = "MultiByteToWideChar";
    const UINT actual = ActualCodePage(codePage);
    if (TakesNoFlags(actual) && flags != 0) {
        return Refuse(call, actual, "flags must be 0", ERROR_INVALID_FLAGS);
    }
    if (TakesOnlyErrorFlag(actual) && (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        return Refuse(call, actual, "flags must be 0 or MB_ERR_INVALID_CHARS", ERROR_INVALID_FLAGS);
    }
    if (bytes == nullptr || byteCount == 0 || wideCount < 0 ||
        (wide == nullptr && wideCount != 0)) {
        return Refuse(call, actual, "no input, or no room", ERROR_INVALID_PARAMETER);
    }
    return MultiByteToWideChar(codePage, flags, bytes, byteCount, wide, wideCount);
}

int WINAPI CheckedWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount,
                                      LPSTR bytes, int byteCount, LPCCH defaultChar,
                                      LPBOOL usedDefaultChar)
{
    const char call[] = "WideCharToMultiByte";
    const UINT actual = ActualCodePage(codePage);
    if (TakesNoFlags(actual) && flags != 0) {
        return Refuse(call, actual, "flags must be 0", ERROR_INVALID_FLAGS);
    }
    if (TakesOnlyErrorFlag(actual) && (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        return Refuse(call, actual, "flags must be 0 or WC_ERR_INVALID_CHARS", ERROR_INVALID_FLAGS);
    }
    if (!TakesOnlyErrorFlag(actual) && (flags & WC_ERR_INVALID_CHARS) != 0) {
        return Refuse(call, actual, "WC_ERR_INVALID_CHARS is for UTF-8 and GB18030 only",
                      ERROR_INVALID_FLAGS);
    }
    if ((actual == CP_UTF8 || actual == CP_UTF7) &&
        (defaultChar != nullptr || usedDefaultChar != nullptr)) {
        return Refuse(call, actual, "the default character and its flag must be NULL",
                      ERROR_INVALID_PARAMETER);
    }
    if (wide == nullptr || wideCount == 0 || byteCount < 0 ||
        (bytes == nullptr && byteCount != 0)) {
        return Refuse(call, actual, "no input, or no room", ERROR_INVALID_PARAMETER);
    }
    return WideCharToMultiByte(codePage, flags, wide, wideCount, bytes, byteCount, defaultChar,
                               usedDefaultChar);
}

std::string TakeConversionContractViolations()
{
    std::string taken;
    taken.swap(violations);
    return taken;
}
