#pragma once

#include "launcher/Platform.h"

inline constexpr char kInstallVerb[] = "install";

// The whole run: confirm, look up the application path, generate install.inf,
// launch its "install" verb. The first failure shows its one message and ends
// the run; declining ends it silently.
void RunInstall(Platform& platform);
