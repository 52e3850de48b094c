// The entry point and the Windows side of the run.
#include "launcher/Messages.h"
#include "launcher/Run.h"

#include <windows.h>
#include <shellapi.h>

namespace {

class WindowsPlatform final : public Platform {
public:
    bool Confirm(const char* question) override
    {
        return MessageBoxA(nullptr, question, kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
    }

    void Report(const char* message) override { MessageBoxA(nullptr, message, kCaption, MB_OK); }

    AppPathStatus QueryAppPath(char* path) override { return ::QueryAppPath(path); }

    ScriptStatus GenerateInstallScript(const char* applicationPath) override
    {
        return ::GenerateInstallScript(applicationPath);
    }

    bool Launch(const char* verb, const char* file) override
    {
        // The shell shows nothing itself when it cannot run the verb.
        HINSTANCE result = ShellExecuteA(nullptr, verb, file, nullptr, nullptr, SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }
};

// Loads DLLs that are loaded later by name from the system folder only, not
// from the program's folder (often a download folder). Older systems lack the
// call; there the run goes on as before.
void RestrictDllSearchToSystem()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return;
    }
    FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (found != nullptr) {
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

}  // namespace

// The command line and the show state are ignored; the exit code is always 0.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearchToSystem();
    WindowsPlatform platform;
    RunInstall(platform);
    return 0;
}
