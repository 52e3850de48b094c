#include "tests/support/AppPathKey.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr char kAppPathKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZI050.EXE";

HKEY OpenAppPathKeyForWriting()
{
    HKEY key = nullptr;
    const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAppPathKey, 0, nullptr, 0,
                                         KEY_SET_VALUE, nullptr, &key, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, created) << "cannot create the App Paths entry";
    return key;
}

}  // namespace

void DeleteAppPathKey()
{
    const LONG deleted = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kAppPathKey);
    EXPECT_TRUE(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) << deleted;
}

void CreateAppPathKey()
{
    RegCloseKey(OpenAppPathKeyForWriting());
}

void SetAppPathValue(DWORD type, const std::string& data)
{
    HKEY key = OpenAppPathKeyForWriting();
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "Path", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}

void SetAppPathText(const std::string& text)
{
    SetAppPathValue(REG_SZ, text + '\0');
}

void SetAppPathWide(const std::wstring& text, DWORD type)
{
    HKEY key = OpenAppPathKeyForWriting();
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, L"Path", 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(key);
}

void DeleteUserKey(const char* name)
{
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software) ==
        ERROR_SUCCESS) {
        RegDeleteTreeA(software, name);
        RegCloseKey(software);
    }
}

std::string ReadUserText(const char* name, const char* value)
{
    const std::string keyName = std::string("Software\\") + name;
    std::vector<char> data(4096, '\0');
    DWORD size = static_cast<DWORD>(data.size() - 1);
    if (RegGetValueA(HKEY_CURRENT_USER, keyName.c_str(), value, RRF_RT_REG_SZ, nullptr, data.data(),
                     &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return data.data();
}
