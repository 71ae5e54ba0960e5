// The Windows operations the text functions and the guard call, for a host build of them: found
// before src/platform/platform.h on the include path, so that the host build does not depend on
// the rest of the seam. ../standins.cpp defines them.
#pragma once

#include <windows.h>

BOOL SysIsDBCSLeadByte(BYTE byte);
DWORD SysCharLowerBuff(char* text, DWORD length);
BOOL SysGetSpecialFolderPath(char* buffer, int csidl);
DWORD SysGetEnvironmentVariable(const char* name, char* buffer, DWORD size);
