// What an open handle is and where it lies: the checks that the held folder, its entries and the
// restart folder share, and their UTF-16 paths.
#pragma once

#include <windows.h>

#include "platform/path.h"

// A final path in UTF-16: "\\?\" (or "\\?\UNC\") and a path of a PathBuffer's length.
const int kWidePathSize = kPathSize + 8;
// The longest name of one entry, in UTF-16 characters.
const int kMaxNameLength = 255;
// The final path of an entry of such a folder.
const int kWideEntrySize = kWidePathSize + 1 + kMaxNameLength + 1;

// Whether the open handle is a folder itself, not a link; its identity in information.
int IsPlainFolder(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
// Whether two handles' identities (volume serial number and file index) are the same file.
int IsSameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other);
// Whether the open handle's final path is exactly expected, where Windows tells final paths.
int HasFinalPath(HANDLE file, const WCHAR* expected);
// "\\?\" and path in UTF-16, in wide (kWidePathSize characters).
int WidePath(const char* path, WCHAR* wide);
// folder (UTF-16, terminated), '\' and name (length characters) in joined (kWideEntrySize
// characters); folder fits kWidePathSize and name kMaxNameLength.
void JoinWide(const WCHAR* folder, const WCHAR* name, int length, WCHAR* joined);
// DRIVE_FIXED, DRIVE_REMOTE, ... of the drive with the letter drive.
UINT DriveTypeOf(char drive);
