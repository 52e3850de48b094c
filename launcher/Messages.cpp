#include "launcher/Messages.h"

const char* MessageFor(AppPathStatus status)
{
    switch (status) {
    case AppPathStatus::Found:
        return nullptr;
    case AppPathStatus::KeyMissing:
        return "Cannot locate the ZI050.EXE App Path Registry Entry.";
    case AppPathStatus::ValueMissing:
        return "Cannot locate the ZI050.EXE Path Registry Entry.";
    case AppPathStatus::NotInCodePage:
        return "Cannot use the ZI050.EXE Path Registry Entry: it holds characters that the "
               "system code page cannot represent.";
    }
    return nullptr;
}

const char* MessageFor(ScriptStatus status)
{
    switch (status) {
    case ScriptStatus::Written:
        return nullptr;
    case ScriptStatus::TemplateMissing:
        return "Cannot locate the file 'install.inx', this file must be in the working "
               "directory to install the program. Please move the file to the working "
               "directory and retry.";
    case ScriptStatus::ScriptNotCreated:
        return "Cannot open the file 'install.inf'. This should not have happened!";
    case ScriptStatus::OutOfMemory:
        return "There is not enough memory to create the file 'install.inf'.";
    case ScriptStatus::TemplateUnreadable:
        return "Cannot read the file 'install.inx'.";
    case ScriptStatus::ScriptNotWritten:
        return "Cannot write the file 'install.inf'. The disk may be full.";
    }
    return nullptr;
}
