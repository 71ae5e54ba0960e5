// Which family of Windows the program runs on, the one answer for every step that differs.
#pragma once

enum WindowsFamily {
  kFamilyUnknown,  // neither: a platform of neither family (Win32s), or nothing answers
  kFamily9x,       // Windows 95, 98 and Me: no links, no owners, no sharing to rely on
  kFamilyNt,       // Windows NT 4 and every later version
};

// The family, told by what Windows can do rather than by what it reports: wherever ntdll has the
// file calls (SysHasHandleCalls), the NT family, whatever version a compatibility layer
// ("Windows 95", "Windows 98", Wine's "win98") reports through GetVersionExA or in the process's
// own version fields, which RtlGetVersion reads. Without them, the 9x family where GetVersionExA reports it (asked for the
// extended version record first, then for the basic one that Windows 95 knows), else neither.
// Rights, the registry plan, the DLL search and the way files go all follow this one answer.
WindowsFamily GetWindowsFamily();
