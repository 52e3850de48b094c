#include "launcher/AppPath.h"

#include <windows.h>

AppPathStatus QueryAppPath(char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZI050.EXE", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return AppPathStatus::KeyMissing;
    }
    DWORD type = 0;
    DWORD dataSize = kAppPathBufferSize;
    const LONG queried =
        RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &dataSize);
    RegCloseKey(key);
    if (queried != ERROR_SUCCESS) {
        return AppPathStatus::ValueMissing;
    }
    // The data need not be terminated, and an empty value leaves the buffer as it was.
    return TerminateAppPath(path, dataSize);
}
