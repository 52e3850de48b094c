// What the run needs from the system: the user, the registry, the files and
// the shell. The Windows layer provides the real one; tests a fake.
#pragma once

#include "launcher/AppPath.h"
#include "script/InstallScript.h"

class Platform {
public:
    // Asks a Yes/No question; true only for Yes.
    virtual bool Confirm(const char* question) = 0;
    // Shows a message with an OK button and no icon.
    virtual void Report(const char* message) = 0;
    // Reads the application path into `path` (kAppPathBufferSize bytes), as ::QueryAppPath.
    virtual AppPathStatus QueryAppPath(char* path) = 0;
    // Writes install.inf in the current directory, as ::GenerateInstallScript.
    virtual ScriptStatus GenerateInstallScript(const char* applicationPath) = 0;
    // Asks the shell to carry out `verb` on `file`; false when it refuses.
    virtual bool Launch(const char* verb, const char* file) = 0;

protected:
    ~Platform() = default;
};
