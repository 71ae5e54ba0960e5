// PathBuffer and the checked formatting that every path, search pattern and key path goes
// through. A result that does not fit is reported, never cut short and used.
#pragma once

#include <windows.h>

const int kPathSize = MAX_PATH;  // 260 bytes, terminator included
typedef char PathBuffer[kPathSize];

// Formats into buffer (size bytes). Returns 1 when the whole result and its terminator fit;
// otherwise 0, with buffer holding an empty string.
int FormatPath(char* buffer, int size, const char* format, ...);

// The system directory, or the Windows folder, into folder. Returns its length, or 0 when
// Windows cannot tell or it does not fit a PathBuffer; folder then holds an empty string.
int GetSystemFolder(PathBuffer folder);
int GetWindowsFolder(PathBuffer folder);
