// Command lines as Windows programs split them. Portable.
#pragma once

#include <string>

// The command-line form of one argument, as the C runtime splits it: in
// double quotes, each quote inside escaped, and the backslashes before a
// quote (or before the closing one) doubled.
std::string QuoteArgument(const std::string& argument);
