// Planted beside install.exe as uxtheme.dll: records in the current directory
// that a process loaded it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        HANDLE marker = CreateFileA("planted-dll-loaded.txt", FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(marker, "loaded\r\n", 8, &written, nullptr);
            CloseHandle(marker);
        }
    }
    return TRUE;
}
