// Points .inf files at a file type without verbs for the holder's lifetime:
// the shell then refuses install.exe's launch, and no installation runs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

class InfWithoutVerbs {
public:
    InfWithoutVerbs() { Set("InstallTestNoVerbs"); }
    ~InfWithoutVerbs() { Set("inffile"); }
    InfWithoutVerbs(const InfWithoutVerbs&) = delete;
    InfWithoutVerbs& operator=(const InfWithoutVerbs&) = delete;

private:
    static void Set(const char* fileType)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, ".inf", REG_SZ, fileType, 0));
    }
};
