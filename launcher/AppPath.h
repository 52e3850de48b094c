// The directory of the installed application, from its App Paths entry.
#pragma once

#include "script/InstallScript.h"

#include <cstddef>

enum class AppPathStatus {
    Found,          // the buffer holds the application path, terminated
    KeyMissing,     // the App Paths key could not be opened
    ValueMissing,   // its "Path" value could not be read, or is not text that fits
    NotInCodePage,  // the stored text has characters that the ANSI code page lacks
};

// Reads the "Path" value of the key "SOFTWARE\Microsoft\Windows\CurrentVersion
// \App Paths\ZI050.EXE" under HKEY_LOCAL_MACHINE into `path` (kAppPathBufferSize
// bytes), as it is stored: any type is taken as text, nothing is expanded or trimmed.
// A text value is Found only when its ANSI form is the stored text itself, not
// a look-alike. The key is closed before it returns. Windows only.
AppPathStatus QueryAppPath(char* path);

// Makes the `dataSize` bytes that the registry delivered into `path` a
// terminated text: the text up to the first NUL within the data, or all of the
// data when it has none and there is room to terminate it. Reads nothing past
// `dataSize`. Data that fills the whole buffer without a NUL gives ValueMissing.
AppPathStatus AppPathFromRegistryData(char* path, std::size_t dataSize);
