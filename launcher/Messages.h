// Every text the program shows.
#pragma once

#include "launcher/AppPath.h"
#include "script/InstallScript.h"

inline constexpr char kCaption[] = "Install";
inline constexpr char kConfirmQuestion[] = "Are you sure you want to install this program?";
inline constexpr char kLaunchRefusedMessage[] =
    "Cannot start the installation from the file 'install.inf'.";

// The message for a failure; nullptr for Found and Written.
const char* MessageFor(AppPathStatus status);
const char* MessageFor(ScriptStatus status);
