// What the shell does with .inf files, changed for the holder's lifetime.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// Points .inf files at a file type named `fileType`, then back at Windows' own.
class InfFileType {
public:
    explicit InfFileType(const char* fileType) { Set(fileType); }
    ~InfFileType() { Set("inffile"); }
    InfFileType(const InfFileType&) = delete;
    InfFileType& operator=(const InfFileType&) = delete;

private:
    static void Set(const char* fileType)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, ".inf", REG_SZ, fileType, 0));
    }
};

// A file type without verbs: the shell refuses install.exe's launch, and no
// installation runs.
class InfWithoutVerbs {
public:
    InfWithoutVerbs() : type_("InstallTestNoVerbs") {}

private:
    InfFileType type_;
};

// A file type whose "install" verb runs `command` (with "%1" for the file).
class InfInstallCommand {
public:
    explicit InfInstallCommand(const std::string& command) : type_(Register(command)) {}
    ~InfInstallCommand() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kFileType); }
    InfInstallCommand(const InfInstallCommand&) = delete;
    InfInstallCommand& operator=(const InfInstallCommand&) = delete;

private:
    static constexpr char kFileType[] = "InstallTestCommand";
    static const char* Register(const std::string& command)
    {
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueA(HKEY_CLASSES_ROOT, "InstallTestCommand\\shell\\install\\command",
                               REG_SZ, command.c_str(), 0));
        return kFileType;
    }
    InfFileType type_;
};
