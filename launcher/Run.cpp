#include "launcher/Run.h"

#include "launcher/Messages.h"

void RunInstall(Desktop& desktop)
{
    if (!desktop.Confirm(kConfirmQuestion)) {
        return;
    }
    char applicationPath[kAppPathBufferSize];
    const AppPathStatus pathStatus = desktop.LookUpAppPath(applicationPath);
    if (pathStatus != AppPathStatus::Found) {
        desktop.Report(MessageFor(pathStatus));
        return;
    }
    const ScriptStatus scriptStatus = desktop.GenerateScript(applicationPath);
    if (scriptStatus != ScriptStatus::Written) {
        desktop.Report(MessageFor(scriptStatus));
        return;
    }
    if (!desktop.Launch(kInstallVerb, kScriptFileName)) {
        desktop.Report(kLaunchRefusedMessage);
    }
}
