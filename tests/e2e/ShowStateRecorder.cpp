// Stands in for the INF engine as the "install" verb's program: writes the
// show state it was started with ("none" when none was given) to the file
// named by its argument with ".show" appended.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc < 2) {
        return 1;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const std::string shown = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                                  ? std::to_string(startup.wShowWindow)
                                  : "none";
    std::FILE* record = std::fopen((std::string(__argv[1]) + ".show").c_str(), "wb");
    if (record == nullptr) {
        return 1;
    }
    const bool written = std::fputs(shown.c_str(), record) >= 0;
    return std::fclose(record) == 0 && written ? 0 : 1;
}
