// Code-page conversions held to the parameter rules that Microsoft documents,
// which Wine does not enforce (it accepts any flags for UTF-8, for one). A
// test build of the registry lookup is compiled with this header forced in
// (-include), so its two conversion calls come here: a call that breaks a
// rule fails as Windows fails it and is recorded; any other goes to Windows.
#pragma once

#include <windows.h>

#include <string>

int WINAPI CheckedMultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteCount,
                                      LPWSTR wide, int wideCount);
int WINAPI CheckedWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount,
                                      LPSTR bytes, int byteCount, LPCCH defaultChar,
                                      LPBOOL usedDefaultChar);

// The rules broken since the last call, one a line; empty when none.
std::string TakeConversionContractViolations();

#define MultiByteToWideChar CheckedMultiByteToWideChar
#define WideCharToMultiByte CheckedWideCharToMultiByte
