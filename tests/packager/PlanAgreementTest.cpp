// The plan's folder table against setupapi: one file installed to each
// folder number lands where the table says.
#include "inx-check/Plan.h"
#include "tests/support/ScratchDirectory.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The table's path with the user's profile folder filled in.
std::string OnThisMachine(std::string path)
{
    const std::string user = "C:\\Users\\<user>";
    char profile[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    if (path.compare(0, user.size(), user) == 0 && length > 0 && length < MAX_PATH) {
        path.replace(0, user.size(), profile);
    }
    return path;
}

UINT CALLBACK Quietly(PVOID context, UINT notification, UINT_PTR first, UINT_PTR second)
{
    const UINT answer = SetupDefaultQueueCallbackA(context, notification, first, second);
    return notification == SPFILENOTIFY_COPYERROR ? FILEOP_SKIP : answer;
}

TEST(DirectoryTable, EachNumberInstallsWhereTheTableSays)
{
    const ScratchDirectory scratch;
    std::string inf = "[Version]\r\nSignature=\"$Chicago$\"\r\n[DefaultInstall]\r\n";
    std::string destinations = "[DestinationDirs]\r\n";
    std::string sections;
    std::vector<long> numbers;
    for (const long dirid : DirectoryNumbers()) {
        if (dirid == 1) {
            continue;  // the package's own folder
        }
        const std::string name = "F" + std::to_string(dirid);
        const std::string file = "inx-plan-" + std::to_string(dirid) + ".txt";
        WriteFileBytes(file, "planned\r\n");
        inf.append("CopyFiles=").append(name).append("\r\n");
        destinations.append(name).append("=").append(std::to_string(dirid)).append("\r\n");
        sections.append("[").append(name).append("]\r\n").append(file).append("\r\n");
        numbers.push_back(dirid);
    }
    WriteFileBytes("plan.inf", inf + destinations + sections);
    const std::string folder = scratch.Path().string();
    HINF hinf =
        SetupOpenInfFileA((folder + "\\plan.inf").c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hinf);
    void* context = SetupInitDefaultQueueCallbackEx(
        nullptr, static_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
    EXPECT_TRUE(SetupInstallFromInfSectionA(nullptr, hinf, "DefaultInstall", SPINST_FILES, nullptr,
                                            folder.c_str(), SP_COPY_NEWER, Quietly, context,
                                            nullptr, nullptr));
    SetupTermDefaultQueueCallback(context);
    SetupCloseInfFile(hinf);
    for (const long dirid : numbers) {
        const std::string planned = OnThisMachine(DirectoryPath(dirid));
        const std::string file = planned + (planned.back() == '\\' ? "" : "\\") + "inx-plan-" +
                                 std::to_string(dirid) + ".txt";
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(file.c_str()))
            << "folder number " << dirid << ": nothing at " << file;
        DeleteFileA(file.c_str());
    }
}

}  // namespace
