// The App Paths entry of ZI050.EXE in the registry, made and removed by tests.
#pragma once

#include <windows.h>

#include <string>

// Removes the entry with all its values.
void DeleteAppPathKey();

// Creates the entry with no values.
void CreateAppPathKey();

// Creates the entry with a "Path" value holding exactly `data` of `type`.
void SetAppPathValue(DWORD type, const std::string& data);

// Creates the entry with a "Path" text value, terminator included.
void SetAppPathText(const std::string& text);

// Creates the entry with a "Path" value of `type` holding `text` as stored
// Unicode, terminator included.
void SetAppPathWide(const std::wstring& text, DWORD type = REG_SZ);

// Removes HKCU\Software\<name> with everything under it.
void DeleteUserKey(const char* name);

// The text value `value` of HKCU\Software\<name>; "<missing>" when absent.
std::string ReadUserText(const char* name, const char* value);
