#include "files/open_file.h"

#include <string.h>
#include <wchar.h>

#include "platform/platform.h"

int IsPlainFolder(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  const DWORD kKind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return SysGetFileInformation(file, information) &&
         (information->dwFileAttributes & kKind) == FILE_ATTRIBUTE_DIRECTORY;
}

int IsSameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
  return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

int HasFinalPath(HANDLE file, const WCHAR* expected) {
  if (!SysTellsFinalPaths()) return 1;
  WCHAR final[kWideEntrySize];
  DWORD length = SysGetFinalPathWide(file, final, kWideEntrySize);
  return length > 0 && length == wcslen(expected) &&
         !memcmp(final, expected, length * sizeof(WCHAR));
}

int WidePath(const char* path, WCHAR* wide) {
  memcpy(wide, L"\\\\?\\", 4 * sizeof(WCHAR));
  return SysAnsiToWide(path, wide + 4, kWidePathSize - 4) > 0;
}

void JoinWide(const WCHAR* folder, const WCHAR* name, int length, WCHAR* joined) {
  int folderLength = static_cast<int>(wcslen(folder));
  memcpy(joined, folder, folderLength * sizeof(WCHAR));
  joined[folderLength] = L'\\';
  memcpy(joined + folderLength + 1, name, length * sizeof(WCHAR));
  joined[folderLength + 1 + length] = 0;
}

UINT DriveTypeOf(char drive) {
  char root[] = {drive, ':', '\\', 0};
  return SysGetDriveType(root);
}
