// What the run needs from the desktop; the Windows layer provides the real one.
#pragma once

#include "launcher/AppPath.h"
#include "script/InstallScript.h"

class Desktop {
public:
    // Asks a Yes/No question; true only for Yes.
    virtual bool Confirm(const char* question) = 0;
    // Shows a message with an OK button and no icon.
    virtual void Report(const char* message) = 0;
    // QueryAppPath: fills `path` (kAppPathBufferSize bytes).
    virtual AppPathStatus LookUpAppPath(char* path) = 0;
    // GenerateInstallScript in the current directory.
    virtual ScriptStatus GenerateScript(const char* applicationPath) = 0;
    // Asks the shell to carry out `verb` on `file`; false when it refuses.
    virtual bool Launch(const char* verb, const char* file) = 0;

protected:
    ~Desktop() = default;
};
