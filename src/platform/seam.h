// Test-build only: a stand-in for any single Windows operation. A null entry means the real
// function runs. Tests fill in the entries they need and reset the whole table afterwards, e.g.
//   g_seam.MessageBox = [](HWND, const char*, const char*, UINT) { return IDNO; };
#pragma once

#include "platform/platform.h"

struct PlatformSeam {
  decltype(&SysRegOpenKey) RegOpenKey;
  decltype(&SysRegQueryValue) RegQueryValue;
  decltype(&SysRegQueryInfoKey) RegQueryInfoKey;
  decltype(&SysRegEnumValue) RegEnumValue;
  decltype(&SysRegDeleteValue) RegDeleteValue;
  decltype(&SysRegEnumKey) RegEnumKey;
  decltype(&SysRegDeleteKey) RegDeleteKey;
  decltype(&SysRegDeleteKeyItself) RegDeleteKeyItself;
  decltype(&SysRegCloseKey) RegCloseKey;
  decltype(&SysRegOpenKeyItself) RegOpenKeyItself;
  decltype(&SysRegQueryValueType) RegQueryValueType;
  decltype(&SysFindFirstFile) FindFirstFile;
  decltype(&SysFindNextFile) FindNextFile;
  decltype(&SysFindClose) FindClose;
  decltype(&SysDeleteFile) DeleteFile;
  decltype(&SysRemoveDirectory) RemoveDirectory;
  decltype(&SysGetSystemDirectory) GetSystemDirectory;
  decltype(&SysGetWindowsDirectory) GetWindowsDirectory;
  decltype(&SysGetDriveType) GetDriveType;
  decltype(&SysOpenForQuery) OpenForQuery;
  decltype(&SysGetFinalPathWide) GetFinalPathWide;
  decltype(&SysHoldFolder) HoldFolder;
  decltype(&SysReadFolderEntries) ReadFolderEntries;
  decltype(&SysAnsiToWide) AnsiToWide;
  decltype(&SysWideToAnsi) WideToAnsi;
  decltype(&SysOpenEntry) OpenEntry;
  decltype(&SysOpenFolderForDelete) OpenFolderForDelete;
  decltype(&SysGetFileInformation) GetFileInformation;
  decltype(&SysSetFileAttributesOf) SetFileAttributesOf;
  decltype(&SysSetDeleteDisposition) SetDeleteDisposition;
  decltype(&SysMoveInto) MoveInto;
  decltype(&SysCreateFolder) CreateFolder;
  decltype(&SysOpenForSecurity) OpenForSecurity;
  decltype(&SysGetSecurity) GetSecurity;
  decltype(&SysSetSecurity) SetSecurity;
  decltype(&SysGetVolumeFlags) GetVolumeFlags;
  decltype(&SysDeleteAtRestart) DeleteAtRestart;
  decltype(&SysGetShortPathName) GetShortPathName;
  decltype(&SysGetProfileSection) GetProfileSection;
  decltype(&SysWriteProfileSection) WriteProfileSection;
  decltype(&SysGetFileAttributes) GetFileAttributes;
  decltype(&SysSetFileAttributes) SetFileAttributes;
  decltype(&SysSetCurrentDirectory) SetCurrentDirectory;
  decltype(&SysGetEnvironmentVariable) GetEnvironmentVariable;
  decltype(&SysIsDBCSLeadByte) IsDBCSLeadByte;
  decltype(&SysCharLowerBuff) CharLowerBuff;
  decltype(&SysGetSpecialFolderPath) GetSpecialFolderPath;
  decltype(&SysMessageBox) MessageBox;
  decltype(&SysRegisterWindowMessage) RegisterWindowMessage;
  decltype(&SysSendMessageTimeout) SendMessageTimeout;
  decltype(&SysCreateMutex) CreateMutex;
  decltype(&SysGetLastError) GetLastError;
  decltype(&SysCloseHandle) CloseHandle;
  decltype(&SysSleep) Sleep;
  decltype(&SysGetTickCount) GetTickCount;
  decltype(&SysGetMilliseconds) GetMilliseconds;
  decltype(&SysGetVersionEx) GetVersionEx;
  decltype(&SysGetRandom) GetRandom;
  decltype(&SysGetModuleFileNameWide) GetModuleFileNameWide;
  decltype(&SysGetKernelProc) GetKernelProc;
  decltype(&SysGetNtProc) GetNtProc;
  decltype(&SysLoadLibrary) LoadLibrary;

  decltype(&SysGetTokenValue) GetTokenValue;
  decltype(&SysIsAdministrator) IsAdministrator;
  decltype(&SysRunElevated) RunElevated;
  decltype(&SysGetAnsiCodePage) GetAnsiCodePage;
  decltype(&SysCodePageToWide) CodePageToWide;
  decltype(&SysMessageBoxWide) MessageBoxWide;
  decltype(&SysGetShellProc) GetShellProc;
};

extern PlatformSeam g_seam;  // written by tests, read by every Sys operation
