// Which family of Windows the program runs on, the one answer for every step that differs.
#pragma once

enum WindowsFamily {
  kFamilyUnknown,  // the version query failed, or a platform of neither family (Win32s)
  kFamily9x,       // Windows 95, 98 and Me: no links, no owners, no sharing to rely on
  kFamilyNt,       // Windows NT 4 and every later version
};

// Asks for the extended version record first, then for the basic one (Windows 95 and NT 4
// before SP6 know only that).
WindowsFamily GetWindowsFamily();
