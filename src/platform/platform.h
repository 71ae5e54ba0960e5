// The program's only way to Windows. Each operation takes the arguments the uninstaller passes
// and gives back the result it relies on; in the shipped exe each is a straight call to the ANSI
// Win32 function. The unit-test build compiles the same file with TOLVANE_SEAM, which lets a test
// put a stand-in in front of any single operation (see seam.h).
#pragma once

#include <windows.h>

// Registry
LONG SysRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG SysRegQueryValue(HKEY key, const char* name, BYTE* data, DWORD* size);
// Requests every output of RegQueryInfoKeyA; hands back only the two counts the purge uses.
LONG SysRegQueryInfoKey(HKEY key, char* className, DWORD classLength, DWORD* subkeys,
                        DWORD* values);
// data may be null: the name alone is read.
LONG SysRegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, BYTE* data,
                     DWORD* dataLength);
LONG SysRegDeleteValue(HKEY key, const char* name);
LONG SysRegEnumKey(HKEY key, DWORD index, char* name, DWORD nameLength);
LONG SysRegDeleteKey(HKEY key, const char* name);
LONG SysRegCloseKey(HKEY key);
// Opens the key itself even when it is a registry link, not the key the link leads to
// (REG_OPTION_OPEN_LINK; links above it in the path are followed). NT family only.
LONG SysRegOpenKeyItself(HKEY root, const char* path, REGSAM access, HKEY* key);
// The type of a value, its data left unread.
LONG SysRegQueryValueType(HKEY key, const char* name, DWORD* type);

// Files and folders
HANDLE SysFindFirstFile(const char* pattern, WIN32_FIND_DATAA* found);
BOOL SysFindNextFile(HANDLE search, WIN32_FIND_DATAA* found);
BOOL SysFindClose(HANDLE search);
BOOL SysDeleteFile(const char* path);
BOOL SysRemoveDirectory(const char* path);
UINT SysGetSystemDirectory(char* buffer, UINT size);
UINT SysGetWindowsDirectory(char* buffer, UINT size);
// Opens a file or folder only to ask Windows about it: no read or write access, every sharing
// mode, folders included. INVALID_HANDLE_VALUE when it cannot be opened; close with
// SysCloseHandle.
HANDLE SysOpenForQuery(const char* path);
// The path Windows reached the open file or folder by, every link followed, in the "\\?\" form
// with a drive letter (or "\\?\UNC\"). Returns its length, the size needed when it does not
// fit, or 0 when Windows cannot tell or lacks the function.
DWORD SysGetFinalPathNameByHandle(HANDLE file, char* buffer, DWORD size);

// Process environment
// Returns the value's length, 0 when the variable is not set, or the size needed when it does
// not fit.
DWORD SysGetEnvironmentVariable(const char* name, char* buffer, DWORD size);

// Text
BOOL SysIsDBCSLeadByte(BYTE byte);  // in the ANSI code page
// Lower-cases every letter of the ANSI code page in the length bytes of text, in place; a
// double-byte character is lowered whole. Returns the bytes processed.
DWORD SysCharLowerBuff(char* text, DWORD length);

// Shell
BOOL SysGetSpecialFolderPath(char* buffer, int csidl);  // buffer of MAX_PATH, never creates

// User interface and messages
int SysMessageBox(HWND owner, const char* text, const char* caption, UINT style);
UINT SysRegisterWindowMessage(const char* name);
// Sends and waits for the reply, up to timeoutMs for each window (HWND_BROADCAST: every
// top-level window in turn); flags are SMTO_*. Returns 0 when the send failed or timed out.
LRESULT SysSendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT flags, UINT timeoutMs);

// Process and system
HANDLE SysCreateMutex(const char* name);  // no security attributes, not initially owned
DWORD SysGetLastError();
BOOL SysCloseHandle(HANDLE handle);
void SysSleep(DWORD milliseconds);
BOOL SysGetVersionEx(OSVERSIONINFOA* version);  // dwOSVersionInfoSize chooses the record
// The address of a kernel32 function, or null where this Windows lacks it.
FARPROC SysGetKernelProc(const char* name);
// Loads the DLL at a full path; its own dependencies are looked for in its folder first, not in
// the program's (LOAD_WITH_ALTERED_SEARCH_PATH).
HMODULE SysLoadLibrary(const char* path);
DWORD SysGetVersion();  // the top bit is set on the 9x family
