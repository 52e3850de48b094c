// The uninstall that inx-check --fix writes into a template: from the plan,
// the lines that take away what the installation makes and nothing it did
// not, and where nothing registers an uninstaller, the registration that
// lets the list of installed programs run it. Portable.
#pragma once

#include "inx-check/fix/Patch.h"
#include "inx-check/reader/CodePage.h"

#include <string>
#include <vector>

// The lines to insert into the template `bytes` (none when the template is
// not one the engine reads, or its uninstall leaves nothing). `name` names
// the package in the list of installed programs and its INF's copy.
std::vector<Insertion> UninstallInsertions(const std::string& bytes, const CodePage& page,
                                           const std::string& name);

// A name for the package from its folder's name: letters, digits, '-' and
// '_' kept, "Package" when none is left.
std::string PackageName(const std::string& folderName);
