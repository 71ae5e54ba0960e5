// The program's only way to Windows. Each operation takes the arguments the uninstaller passes
// and gives back the result it relies on. Most are straight calls to the ANSI Win32 function;
// some call the wide one (names as the file system stores them), ntdll (what only a handle can
// do), or a function looked up at run time where some Windows lacks it: each says which. The
// unit-test build compiles the same file with TOLVANE_SEAM, which lets a test put a stand-in in
// front of any single operation (see seam.h).
#pragma once

#include <windows.h>

// Registry
LONG SysRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG SysRegQueryValue(HKEY key, const char* name, BYTE* data, DWORD* size);
// The numbers of subkeys and values. The class name is not asked for: one longer than any
// buffer would make the whole query fail.
LONG SysRegQueryInfoKey(HKEY key, DWORD* subkeys, DWORD* values);
// data may be null: the name alone is read.
LONG SysRegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, BYTE* data,
                     DWORD* dataLength);
LONG SysRegDeleteValue(HKEY key, const char* name);
LONG SysRegEnumKey(HKEY key, DWORD index, char* name, DWORD nameLength);
LONG SysRegDeleteKey(HKEY key, const char* name);
// Deletes the open key itself (full access; it must have no subkeys) through its handle, never
// by a name that could meanwhile lead elsewhere (NtDeleteKey, looked up in ntdll at run time:
// the NT family only). ERROR_SUCCESS when it is gone, else the Win32 error of Windows' status
// (ERROR_ACCESS_DENIED, ERROR_KEY_DELETED, ...; ERROR_CALL_NOT_IMPLEMENTED without NtDeleteKey).
LONG SysRegDeleteKeyItself(HKEY key);
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
// DRIVE_FIXED, DRIVE_REMOTE, ... for a drive's root ("C:\"), asked without reaching the drive.
UINT SysGetDriveType(const char* root);
// Opens a file or folder only to ask Windows about it: no read or write access, every sharing
// mode, folders included. INVALID_HANDLE_VALUE when it cannot be opened; close with
// SysCloseHandle.
HANDLE SysOpenForQuery(const char* path);
// The path Windows reached the open file or folder by, every link followed, in UTF-16 and in the
// "\\?\" form with a drive letter ("\\?\C:\...", or "\\?\UNC\..."), as the file system
// stores its names (GetFinalPathNameByHandleW, Windows Vista and later; looked up at run time).
// Returns its length in characters, the size needed when it does not fit, or 0 when Windows
// cannot tell or lacks the function.
DWORD SysGetFinalPathWide(HANDLE file, WCHAR* buffer, DWORD size);
// Holds a folder open, itself and not what a link there leads to, for as long as its entries are
// deleted: list access, sharing read and write but not delete, so that while it is open nobody
// can rename, move or delete the folder, and a program whose current folder it is does not keep
// it from being held. INVALID_HANDLE_VALUE when it cannot be held.
HANDLE SysHoldFolder(const char* path);
// Reads the next entries of a folder held through its handle into buffer (size bytes, 8-byte
// aligned) as FILE_DIRECTORY_INFORMATION records; restart: from the first entry again
// (NtQueryDirectoryFile, in ntdll on the whole NT family; looked up at run time). 1 when it read
// some, 0 at the end, -1 on failure and where the function is missing.
int SysReadFolderEntries(HANDLE folder, void* buffer, DWORD size, int restart);
// Converts text from the ANSI code page to UTF-16, into buffer (size characters, terminated).
// Returns the characters written without the terminator, or 0 when they do not fit or the text
// holds a byte sequence the code page does not define.
int SysAnsiToWide(const char* text, WCHAR* buffer, int size);
// Converts UTF-16 text to the ANSI code page, into buffer (size bytes, terminated), refusing any
// character the code page cannot spell as itself (no look-alike, no default character). Returns
// the bytes written without the terminator, or 0 when they do not fit or a character was refused.
int SysWideToAnsi(const WCHAR* text, char* buffer, int size);
// Opens the entry name (length UTF-16 characters) of the folder open as folder, relative to that
// handle and by that name alone, with access (and the right to read its attributes): a file or a
// file link itself, never what a link leads to, and never a folder; every sharing mode; an
// opportunistic lock someone holds on it does not hold the open up (NtOpenFile with the folder
// as root). INVALID_HANDLE_VALUE when it cannot be opened, is a folder, or the function is
// missing.
HANDLE SysOpenEntry(HANDLE folder, const WCHAR* name, int length, ACCESS_MASK access);
// Opens a folder by its path to remove it, itself and never what a link there leads to, every
// sharing mode. INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE SysOpenFolderForDelete(const char* path);
// The attributes and identity (volume serial number and file index) of the open file or folder.
// FALSE when Windows cannot tell.
BOOL SysGetFileInformation(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
// Sets the attributes of the open file (opened with SysOpenEntry), its times left alone.
BOOL SysSetFileAttributesOf(HANDLE file, DWORD attributes);
// Marks the open file, or empty folder, for deletion when its last handle is closed
// (NtSetInformationFile). FALSE when it cannot be marked: a running image or a loaded DLL, a
// folder that is not empty, or where the function is missing.
BOOL SysSetDeleteDisposition(HANDLE file);
// Moves the open file (opened with SysOpenEntry) into the folder open as into, under name
// (length UTF-16 characters), through its handle: never by a path. Fails when an entry of that
// name is there already, and across volumes.
BOOL SysMoveInto(HANDLE file, HANDLE into, const WCHAR* name, int length);
// Makes the folder path (UTF-16, "\\?\" form) anew, with the security descriptor given, and
// returns it open to add files and to delete it (NtCreateFile): never a folder or link that was
// there already.
// INVALID_HANDLE_VALUE when something of that name exists or it cannot be made.
HANDLE SysCreateFolder(const WCHAR* path, void* securityDescriptor);
// Opens a file or folder only to read its security descriptor and attributes, itself and never
// what a link there leads to. INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE SysOpenForSecurity(const char* path);
// Reads the open file's or folder's owner and DACL into buffer (size bytes) as a self-relative
// security descriptor (the handle needs READ_CONTROL). FALSE when the file system keeps none.
BOOL SysGetSecurity(HANDLE file, void* buffer, DWORD size);
// Sets the owner and the DACL of the open file (opened with WRITE_OWNER and WRITE_DAC) from a
// security descriptor.
BOOL SysSetSecurity(HANDLE file, const void* securityDescriptor);
// A security descriptor read as Windows reads one (advapi32's GetSecurityDescriptorOwner,
// GetSecurityDescriptorDacl, GetAce and EqualSid; looked up at run time, and FALSE
// where this Windows lacks them). They only read the buffers they are given, so they have no
// stand-ins: a test forges the descriptor instead.
// The owner, and the DACL: null where the descriptor has none or a null one (which grants
// everyone everything).
BOOL SysGetOwnerAndDacl(const void* descriptor, PSID* owner, ACL** dacl);
BOOL SysGetAce(ACL* acl, DWORD index, ACE_HEADER** ace);
BOOL SysEqualSid(PSID one, PSID other);
// The file system flags of the volume at the drive's root ("C:"): FILE_PERSISTENT_ACLS,
// FILE_SUPPORTS_REPARSE_POINTS, ... (GetVolumeInformationA). FALSE when Windows cannot tell.
BOOL SysGetVolumeFlags(const char* root, DWORD* flags);
// Asks Windows to delete path (UTF-16) at its next start, before anything else runs
// (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT; the NT family; looked up at run time).
BOOL SysDeleteAtRestart(const WCHAR* path);
// The ANSI-code-page calls the 9x family's deletion at its next start needs: the short (8.3)
// form of a path, and WININIT.INI's sections (in the Windows folder).
DWORD SysGetShortPathName(const char* path, char* buffer, DWORD size);
DWORD SysGetProfileSection(const char* section, char* buffer, DWORD size, const char* file);
BOOL SysWriteProfileSection(const char* section, const char* lines, const char* file);
DWORD SysGetFileAttributes(const char* path);
BOOL SysSetFileAttributes(const char* path, DWORD attributes);

// Process environment
BOOL SysSetCurrentDirectory(const char* path);
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
DWORD SysGetTickCount();  // milliseconds since Windows started, in steps of 10 to 16
// Milliseconds from a fixed point, to the millisecond: the high-resolution performance counter
// (QueryPerformanceCounter), or GetTickCount's where the machine has no such counter. Only the
// difference of two readings means anything; it is right across a wrap.
DWORD SysGetMilliseconds();
BOOL SysGetVersionEx(OSVERSIONINFOA* version);  // dwOSVersionInfoSize chooses the record
// Fills buffer with size random bytes (RtlGenRandom, advapi32's SystemFunction036, XP and later;
// looked up at run time). FALSE where it is missing.
BOOL SysGetRandom(void* buffer, DWORD size);
// The program's own full path in UTF-16, as the file system stores its names
// (GetModuleFileNameW; looked up at run time): its length, size when it does not fit, 0 where
// Windows cannot tell.
DWORD SysGetModuleFileNameWide(WCHAR* buffer, DWORD size);
// Whether this Windows has ntdll's file calls, with which a folder is held and its entries are
// opened through its handle (NtOpenFile, NtCreateFile, NtQueryDirectoryFile,
// NtSetInformationFile): the whole NT family, NT 4 included, and no Windows of the 9x family.
int SysHasHandleCalls();
// Whether Windows tells the final path of an open handle (GetFinalPathNameByHandleW: Vista and
// later).
int SysTellsFinalPaths();
// The address of a kernel32 function, or null where this Windows lacks it.
FARPROC SysGetKernelProc(const char* name);
// The address of an ntdll function, or null where this Windows lacks it (the 9x family).
FARPROC SysGetNtProc(const char* name);
// Loads the DLL at a full path; its own dependencies are looked for in its folder first, not in
// the program's (LOAD_WITH_ALTERED_SEARCH_PATH).
HMODULE SysLoadLibrary(const char* path);

// Rights, the system's own version, and texts in another code page. The functions that only some
// systems have are looked up at run time, so that the exe starts on every family.
// A fact of the process token that fits in a DWORD (GetTokenInformation with infoClass:
// TokenElevationType, TokenVirtualizationAllowed), in *value. FALSE where Windows cannot tell:
// before Vista, and on the 9x family.
BOOL SysGetTokenValue(int infoClass, DWORD* value);
// Whether the process token counts as a member of the Administrators group (CheckTokenMembership:
// a group kept for denying only, as in a limited token, does not), in *member. FALSE where
// Windows cannot tell: the 9x family and NT 4 lack the function.
BOOL SysIsAdministrator(int* member);
// Starts the program at path (UTF-16) again with the parameters, elevated (ShellExecuteExW,
// looked up at run time; verb "runas", no owner window, no message box of the shell's), and
// returns once the start is done. Returns ERROR_SUCCESS when it started, else why not:
// ERROR_CANCELLED when the user declined, ERROR_CALL_NOT_IMPLEMENTED where the shell lacks it.
DWORD SysRunElevated(const WCHAR* path, const WCHAR* parameters);
UINT SysGetAnsiCodePage();  // GetACP
// Converts text from codePage to UTF-16, into buffer (size characters, terminated), refusing a
// byte sequence the code page does not define. Returns the characters written, the terminator
// included, or 0 when they do not fit or the code page is not installed.
int SysCodePageToWide(UINT codePage, const char* text, WCHAR* buffer, int size);
int SysMessageBoxWide(HWND owner, const WCHAR* text, const WCHAR* caption, UINT style);
// The address of a shell32 function (a static import, loaded from the start), or null where this
// Windows lacks it.
FARPROC SysGetShellProc(const char* name);
