// Which family of Windows the program runs on, the one answer for every step that differs.
#pragma once

enum WindowsFamily {
  kFamilyUnknown,  // the version query failed, or a platform of neither family (Win32s)
  kFamily9x,       // Windows 95, 98 and Me: no links, no owners, no sharing to rely on
  kFamilyNt,       // Windows NT 4 and every later version
};

// The system's own family: ntdll's answer where it has RtlGetVersion (Windows 2000 and later),
// which a compatibility layer ("Windows 95", "Windows 98") does not change, as it changes what
// GetVersionExA tells the program. Elsewhere (the 9x family, NT 4, which have no such layers)
// GetVersionExA's, asked for the extended version record first, then for the basic one
// (Windows 95 and NT 4 before SP6 know only that).
WindowsFamily GetWindowsFamily();
