#include "launcher/Run.h"

#include "launcher/Messages.h"

void RunInstall(Platform& platform)
{
    if (!platform.Confirm(kConfirmQuestion)) {
        return;
    }
    char applicationPath[kAppPathBufferSize];
    const AppPathStatus pathStatus = platform.QueryAppPath(applicationPath);
    if (pathStatus != AppPathStatus::Found) {
        platform.Report(MessageFor(pathStatus));
        return;
    }
    const ScriptStatus scriptStatus = platform.GenerateInstallScript(applicationPath);
    if (scriptStatus != ScriptStatus::Written) {
        platform.Report(MessageFor(scriptStatus));
        return;
    }
    if (!platform.Launch(kInstallVerb, kScriptFileName)) {
        platform.Report(kLaunchRefusedMessage);
    }
}
