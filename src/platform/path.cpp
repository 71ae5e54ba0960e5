// msvcrt's _vsnprintf returns -1 when the output does not fit and leaves the buffer
// unterminated when it fits exactly without the terminator; both count as not fitting here.
#include "platform/path.h"

#include <stdarg.h>
#include <stdio.h>

#include "platform/platform.h"

int FormatPath(char* buffer, int size, const char* format, ...) {
  if (size <= 0) return 0;
  va_list args;
  va_start(args, format);
  int written = _vsnprintf(buffer, size, format, args);
  va_end(args);
  if (written < 0 || written >= size) {
    buffer[0] = 0;
    return 0;
  }
  return 1;
}

// GetSystemDirectoryA and GetWindowsDirectoryA return the length without the terminator when the
// folder fits, the size it needs when it does not, and 0 when they fail.
static int FitFolder(char* folder, UINT length) {
  if (length == 0 || length >= static_cast<UINT>(kPathSize)) {
    folder[0] = 0;
    return 0;
  }
  return static_cast<int>(length);
}

int GetSystemFolder(PathBuffer folder) {
  return FitFolder(folder, SysGetSystemDirectory(folder, kPathSize));
}

int GetWindowsFolder(PathBuffer folder) {
  return FitFolder(folder, SysGetWindowsDirectory(folder, kPathSize));
}
