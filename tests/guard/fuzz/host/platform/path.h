// PathBuffer and the path helpers, for a host build of the guard (see platform.h beside this).
#pragma once

#include <windows.h>

const int kPathSize = MAX_PATH;
typedef char PathBuffer[kPathSize];

int FormatPath(char* buffer, int size, const char* format, ...);
int GetSystemFolder(PathBuffer folder);
int GetWindowsFolder(PathBuffer folder);
