// The Windows operations of platform.h: ANSI Win32 calls where those serve, wide ones where a
// name must reach the file system unconverted, ntdll's calls for what only handles can do, and
// run-time look-ups of whatever some systems lack. Built twice: plain for the shipped exe, and
// with TOLVANE_SEAM for the unit tests, where a stand-in set in g_seam runs instead of the real
// call.
#include "platform/platform.h"

#include <shellapi.h>
#include <shlobj.h>
#include <winternl.h>
#include <wchar.h>

// A function of a system DLL that is in every process of the program from its start (kernel32,
// ntdll on the NT family, and advapi32 and shell32, static imports), or null where this Windows
// lacks it.
// Loads nothing.
static FARPROC LoadedProc(const char* dll, const char* name) {
  HMODULE module = GetModuleHandleA(dll);
  return module ? GetProcAddress(module, name) : nullptr;
}

// Each written once, not inlined into every caller: the exe stays small.
__attribute__((noinline)) static FARPROC KernelProc(const char* name) {
  return LoadedProc("kernel32.dll", name);
}
__attribute__((noinline)) static FARPROC NtProc(const char* name) {
  return LoadedProc("ntdll.dll", name);
}
__attribute__((noinline)) static FARPROC AdvapiProc(const char* name) {
  return LoadedProc("advapi32.dll", name);
}

// The function a looked-up address stands for.
template <typename Function>
Function As(FARPROC found) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

#ifdef TOLVANE_SEAM
#include "platform/seam.h"
PlatformSeam g_seam;
#define STAND_IN(op, ...) \
  if (g_seam.op) return g_seam.op(__VA_ARGS__)
#else
#define STAND_IN(op, ...)
#endif

LONG SysRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key) {
  STAND_IN(RegOpenKey, root, path, access, key);
  return RegOpenKeyExA(root, path, 0, access, key);
}

LONG SysRegQueryValue(HKEY key, const char* name, BYTE* data, DWORD* size) {
  STAND_IN(RegQueryValue, key, name, data, size);
  return RegQueryValueExA(key, name, nullptr, nullptr, data, size);
}

LONG SysRegQueryInfoKey(HKEY key, DWORD* subkeys, DWORD* values) {
  STAND_IN(RegQueryInfoKey, key, subkeys, values);
  DWORD maxSubkeyLength, maxClassLength, maxValueNameLength, maxValueLength, securitySize;
  FILETIME lastWrite;
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, subkeys, &maxSubkeyLength,
                          &maxClassLength, values, &maxValueNameLength, &maxValueLength,
                          &securitySize, &lastWrite);
}

LONG SysRegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, BYTE* data,
                     DWORD* dataLength) {
  STAND_IN(RegEnumValue, key, index, name, nameLength, data, dataLength);
  return RegEnumValueA(key, index, name, nameLength, nullptr, nullptr, data, dataLength);
}

LONG SysRegDeleteValue(HKEY key, const char* name) {
  STAND_IN(RegDeleteValue, key, name);
  return RegDeleteValueA(key, name);
}

LONG SysRegEnumKey(HKEY key, DWORD index, char* name, DWORD nameLength) {
  STAND_IN(RegEnumKey, key, index, name, nameLength);
  return RegEnumKeyA(key, index, name, nameLength);
}

LONG SysRegDeleteKey(HKEY key, const char* name) {
  STAND_IN(RegDeleteKey, key, name);
  return RegDeleteKeyA(key, name);
}

LONG SysRegDeleteKeyItself(HKEY key) {
  STAND_IN(RegDeleteKeyItself, key);
  // NTSTATUS NTAPI NtDeleteKey(HANDLE), documented in the driver kit as ZwDeleteKey. ntdll is in
  // every process of the NT family; nothing is loaded.
  typedef LONG(WINAPI * DeleteKeyFunction)(HANDLE);
  typedef ULONG(WINAPI * ErrorOfStatusFunction)(LONG);
  FARPROC found = NtProc("NtDeleteKey");
  if (!found) return ERROR_CALL_NOT_IMPLEMENTED;
  LONG status = As<DeleteKeyFunction>(found)(key);
  if (status >= 0) return ERROR_SUCCESS;
  // The Win32 error the status stands for (RtlNtStatusToDosError: ntdll on the whole NT family).
  FARPROC errorOf = NtProc("RtlNtStatusToDosError");
  return errorOf ? static_cast<LONG>(As<ErrorOfStatusFunction>(errorOf)(status))
                 : ERROR_ACCESS_DENIED;
}

LONG SysRegCloseKey(HKEY key) {
  STAND_IN(RegCloseKey, key);
  return RegCloseKey(key);
}

LONG SysRegOpenKeyItself(HKEY root, const char* path, REGSAM access, HKEY* key) {
  STAND_IN(RegOpenKeyItself, root, path, access, key);
  return RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, access, key);
}

LONG SysRegQueryValueType(HKEY key, const char* name, DWORD* type) {
  STAND_IN(RegQueryValueType, key, name, type);
  return RegQueryValueExA(key, name, nullptr, type, nullptr, nullptr);
}

HANDLE SysFindFirstFile(const char* pattern, WIN32_FIND_DATAA* found) {
  STAND_IN(FindFirstFile, pattern, found);
  return FindFirstFileA(pattern, found);
}

BOOL SysFindNextFile(HANDLE search, WIN32_FIND_DATAA* found) {
  STAND_IN(FindNextFile, search, found);
  return FindNextFileA(search, found);
}

BOOL SysFindClose(HANDLE search) {
  STAND_IN(FindClose, search);
  return FindClose(search);
}

BOOL SysDeleteFile(const char* path) {
  STAND_IN(DeleteFile, path);
  return DeleteFileA(path);
}

BOOL SysRemoveDirectory(const char* path) {
  STAND_IN(RemoveDirectory, path);
  return RemoveDirectoryA(path);
}

UINT SysGetSystemDirectory(char* buffer, UINT size) {
  STAND_IN(GetSystemDirectory, buffer, size);
  return GetSystemDirectoryA(buffer, size);
}

UINT SysGetWindowsDirectory(char* buffer, UINT size) {
  STAND_IN(GetWindowsDirectory, buffer, size);
  return GetWindowsDirectoryA(buffer, size);
}

UINT SysGetDriveType(const char* root) {
  STAND_IN(GetDriveType, root);
  return GetDriveTypeA(root);
}

HANDLE SysOpenForQuery(const char* path) {
  STAND_IN(OpenForQuery, path);
  return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

DWORD SysGetFinalPathWide(HANDLE file, WCHAR* buffer, DWORD size) {
  STAND_IN(GetFinalPathWide, file, buffer, size);
  // Windows Vista and later. The 9x family, NT 4, 2000 and XP lack it and take the fallback:
  // no answer, so a folder reached through a link counts as one whose location is unknown.
  // Looked up here, at run time, so that the exe still starts on those systems.
  typedef DWORD(WINAPI * FinalPathFunction)(HANDLE, LPWSTR, DWORD, DWORD);
  const DWORD kVolumeNameDos = 0;  // "\\?\C:\...", not a volume GUID or NT device path
  FARPROC found = KernelProc("GetFinalPathNameByHandleW");
  if (!found) return 0;
  return As<FinalPathFunction>(found)(file, buffer, size, kVolumeNameDos);
}

HANDLE SysHoldFolder(const char* path) {
  STAND_IN(HoldFolder, path);
  // List access takes part in sharing checks (attribute access alone would not); no delete
  // access, which a process's current folder, open without sharing delete, would refuse.
  return CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// ntdll's file calls, as the driver kit documents them (NtXxx is ZwXxx there). ntdll is in every
// process of the NT family from its start; nothing is loaded.
typedef LONG(NTAPI* NtOpenFileFunction)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*,
                                        IO_STATUS_BLOCK*, ULONG, ULONG);
typedef LONG(NTAPI* NtCreateFileFunction)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*,
                                          IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG, ULONG, ULONG,
                                          ULONG, void*, ULONG);
typedef LONG(NTAPI* NtSetInformationFunction)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
typedef LONG(NTAPI* NtQueryDirectoryFunction)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*,
                                              void*, ULONG, int, BOOLEAN, UNICODE_STRING*,
                                              BOOLEAN);
typedef LONG(NTAPI* NtQuerySecurityFunction)(HANDLE, SECURITY_INFORMATION, void*, ULONG, ULONG*);


// FILE_INFORMATION_CLASS values and the create options used here.
const int kFileDirectoryInformation = 1, kFileBasicInformation = 4,
          kFileRenameInformation = 10, kFileDispositionInformation = 13;
const ULONG kFileOpen = 1, kFileCreate = 2;
const ULONG kDirectoryFile = 0x1, kSynchronousIo = 0x20, kNonDirectoryFile = 0x40,
            kCompleteIfOplocked = 0x100, kOpenReparsePoint = 0x200000;
const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A counted UTF-16 name of length characters; 0 when it is too long to count.
static int CountedName(UNICODE_STRING* counted, const WCHAR* name, int length) {
  if (length <= 0 || length > 0x7FFF) return 0;
  counted->Length = counted->MaximumLength = static_cast<USHORT>(length * sizeof(WCHAR));
  counted->Buffer = const_cast<WCHAR*>(name);
  return 1;
}

// The object counted names, relative to root where it is not null.
static void ObjectOf(OBJECT_ATTRIBUTES* object, HANDLE root, UNICODE_STRING* name,
                     void* securityDescriptor) {
  ZeroMemory(object, sizeof(*object));
  object->Length = sizeof(*object);
  object->RootDirectory = root;
  object->ObjectName = name;
  object->SecurityDescriptor = securityDescriptor;
}

static LONG SetInformation(HANDLE file, void* information, ULONG size, int kind) {
  FARPROC found = NtProc("NtSetInformationFile");
  if (!found) return -1;
  IO_STATUS_BLOCK status;
  return As<NtSetInformationFunction>(found)(file, &status, information, size, kind);
}

int SysReadFolderEntries(HANDLE folder, void* buffer, DWORD size, int restart) {
  STAND_IN(ReadFolderEntries, folder, buffer, size, restart);
  const LONG kNoMoreFiles = static_cast<LONG>(0x80000006);  // STATUS_NO_MORE_FILES
  FARPROC found = NtProc("NtQueryDirectoryFile");
  if (!found) return -1;
  IO_STATUS_BLOCK status;
  LONG result = As<NtQueryDirectoryFunction>(found)(folder, nullptr, nullptr, nullptr, &status,
                                                    buffer, size, kFileDirectoryInformation,
                                                    FALSE, nullptr, restart ? TRUE : FALSE);
  return result == 0 ? 1 : result == kNoMoreFiles ? 0 : -1;
}

int SysAnsiToWide(const char* text, WCHAR* buffer, int size) {
  STAND_IN(AnsiToWide, text, buffer, size);
  int written = size > 1 ? MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, buffer,
                                               size)
                         : 0;
  return written > 0 ? written - 1 : 0;
}

int SysWideToAnsi(const WCHAR* text, char* buffer, int size) {
  STAND_IN(WideToAnsi, text, buffer, size);
  if (size <= 1) return 0;
  BOOL defaulted = FALSE;
  int written;
  if (GetACP() == CP_UTF8) {
    // Windows 10's "Unicode UTF-8 for worldwide language support": every character has its
    // bytes, and UTF-8 takes neither flag nor default character; a lone surrogate fails.
    const DWORD kErrorOnInvalidChars = 0x80;  // WC_ERR_INVALID_CHARS, Windows Vista and later
    written = WideCharToMultiByte(CP_UTF8, kErrorOnInvalidChars, text, -1, buffer, size, nullptr,
                                  nullptr);
  } else {
    written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, buffer, size, nullptr,
                                  &defaulted);
  }
  return written > 0 && !defaulted ? written - 1 : 0;
}

HANDLE SysOpenEntry(HANDLE folder, const WCHAR* name, int length, ACCESS_MASK access) {
  STAND_IN(OpenEntry, folder, name, length, access);
  FARPROC found = NtProc("NtOpenFile");
  UNICODE_STRING counted;
  if (!found || !CountedName(&counted, name, length)) return INVALID_HANDLE_VALUE;
  // The name exactly as listed, case included: no other entry answers to it.
  OBJECT_ATTRIBUTES object;
  ObjectOf(&object, folder, &counted, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE file;
  LONG result = As<NtOpenFileFunction>(found)(
      &file, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &status, kShareAll,
      kNonDirectoryFile | kOpenReparsePoint | kSynchronousIo | kCompleteIfOplocked);
  // STATUS_OPLOCK_BREAK_IN_PROGRESS is a success too: the file is open.
  return result >= 0 ? file : INVALID_HANDLE_VALUE;
}

HANDLE SysOpenFolderForDelete(const char* path) {
  STAND_IN(OpenFolderForDelete, path);
  return CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

BOOL SysGetFileInformation(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  STAND_IN(GetFileInformation, file, information);
  return GetFileInformationByHandle(file, information);
}

BOOL SysSetFileAttributesOf(HANDLE file, DWORD attributes) {
  STAND_IN(SetFileAttributesOf, file, attributes);
  // FILE_BASIC_INFORMATION; a time of 0 leaves that time as it is.
  struct {
    LARGE_INTEGER creation, lastAccess, lastWrite, change;
    ULONG attributes;
  } basic;
  ZeroMemory(&basic, sizeof(basic));
  basic.attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetInformation(file, &basic, sizeof(basic), kFileBasicInformation) == 0;
}

BOOL SysSetDeleteDisposition(HANDLE file) {
  STAND_IN(SetDeleteDisposition, file);
  BOOLEAN deleteFile = TRUE;  // FILE_DISPOSITION_INFORMATION
  return SetInformation(file, &deleteFile, sizeof(deleteFile), kFileDispositionInformation) == 0;
}

BOOL SysMoveInto(HANDLE file, HANDLE into, const WCHAR* name, int length) {
  STAND_IN(MoveInto, file, into, name, length);
  // FILE_RENAME_INFORMATION with room for the longest name of one entry.
  struct {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[256];
  } rename;
  if (length <= 0 || length > 255) return FALSE;
  ZeroMemory(&rename, sizeof(rename));
  rename.rootDirectory = into;
  rename.fileNameLength = length * sizeof(WCHAR);
  CopyMemory(rename.fileName, name, length * sizeof(WCHAR));
  return SetInformation(file, &rename, sizeof(rename), kFileRenameInformation) == 0;
}

HANDLE SysCreateFolder(const WCHAR* path, void* securityDescriptor) {
  STAND_IN(CreateFolder, path, securityDescriptor);
  // "\\?\C:\..." is "\??\C:\..." to ntdll.
  WCHAR native[MAX_PATH];
  int length = static_cast<int>(wcslen(path));
  UNICODE_STRING counted;
  FARPROC found = NtProc("NtCreateFile");
  if (!found || length < 4 || length >= MAX_PATH || path[0] != L'\\' || path[1] != L'\\' ||
      path[2] != L'?' || path[3] != L'\\')
    return INVALID_HANDLE_VALUE;
  CopyMemory(native, path, (length + 1) * sizeof(WCHAR));
  native[1] = L'?';
  if (!CountedName(&counted, native, length)) return INVALID_HANDLE_VALUE;
  OBJECT_ATTRIBUTES object;
  ObjectOf(&object, nullptr, &counted, securityDescriptor);
  IO_STATUS_BLOCK status;
  HANDLE folder;
  LONG result = As<NtCreateFileFunction>(found)(
      &folder,
      FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | READ_CONTROL | DELETE | SYNCHRONIZE,
      &object, &status, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
      kFileCreate, kDirectoryFile | kSynchronousIo | kOpenReparsePoint, nullptr, 0);
  return result == 0 ? folder : INVALID_HANDLE_VALUE;
}

HANDLE SysOpenForSecurity(const char* path) {
  STAND_IN(OpenForSecurity, path);
  return CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

BOOL SysGetSecurity(HANDLE file, void* buffer, DWORD size) {
  STAND_IN(GetSecurity, file, buffer, size);
  FARPROC found = NtProc("NtQuerySecurityObject");
  ULONG needed = 0;
  return found && As<NtQuerySecurityFunction>(found)(
                      file, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer, size,
                      &needed) == 0;
}

BOOL SysSetSecurity(HANDLE file, const void* securityDescriptor) {
  STAND_IN(SetSecurity, file, securityDescriptor);
  typedef LONG(NTAPI * NtSetSecurityFunction)(HANDLE, SECURITY_INFORMATION, const void*);
  FARPROC found = NtProc("NtSetSecurityObject");
  return found && As<NtSetSecurityFunction>(found)(
                      file, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      securityDescriptor) == 0;
}

BOOL SysGetOwnerAndDacl(const void* descriptor, PSID* owner, ACL** dacl) {
  typedef BOOL(WINAPI * OwnerFunction)(const void*, PSID*, BOOL*);
  typedef BOOL(WINAPI * DaclFunction)(const void*, BOOL*, ACL**, BOOL*);
  FARPROC ownerOf = AdvapiProc("GetSecurityDescriptorOwner");
  FARPROC daclOf = AdvapiProc("GetSecurityDescriptorDacl");
  BOOL present = FALSE, defaulted = FALSE;
  *owner = nullptr;
  *dacl = nullptr;
  if (!ownerOf || !daclOf || !As<OwnerFunction>(ownerOf)(descriptor, owner, &defaulted) ||
      !*owner || !As<DaclFunction>(daclOf)(descriptor, &present, dacl, &defaulted))
    return FALSE;
  if (!present) *dacl = nullptr;
  return TRUE;
}

BOOL SysGetAce(ACL* acl, DWORD index, ACE_HEADER** ace) {
  typedef BOOL(WINAPI * AceFunction)(ACL*, DWORD, void**);
  FARPROC found = AdvapiProc("GetAce");
  *ace = nullptr;
  return found && As<AceFunction>(found)(acl, index, reinterpret_cast<void**>(ace)) && *ace;
}

BOOL SysEqualSid(PSID one, PSID other) {
  typedef BOOL(WINAPI * EqualFunction)(PSID, PSID);
  FARPROC found = AdvapiProc("EqualSid");
  return found && As<EqualFunction>(found)(one, other);
}

BOOL SysGetVolumeFlags(const char* root, DWORD* flags) {
  STAND_IN(GetVolumeFlags, root, flags);
  DWORD serial = 0, longest = 0;
  *flags = 0;
  return GetVolumeInformationA(root, nullptr, 0, &serial, &longest, flags, nullptr, 0);
}

BOOL SysDeleteAtRestart(const WCHAR* path) {
  STAND_IN(DeleteAtRestart, path);
  typedef BOOL(WINAPI * MoveFunction)(LPCWSTR, LPCWSTR, DWORD);
  FARPROC found = KernelProc("MoveFileExW");
  return found && As<MoveFunction>(found)(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

DWORD SysGetShortPathName(const char* path, char* buffer, DWORD size) {
  STAND_IN(GetShortPathName, path, buffer, size);
  return GetShortPathNameA(path, buffer, size);
}

DWORD SysGetProfileSection(const char* section, char* buffer, DWORD size, const char* file) {
  STAND_IN(GetProfileSection, section, buffer, size, file);
  return GetPrivateProfileSectionA(section, buffer, size, file);
}

BOOL SysWriteProfileSection(const char* section, const char* lines, const char* file) {
  STAND_IN(WriteProfileSection, section, lines, file);
  return WritePrivateProfileSectionA(section, lines, file);
}

DWORD SysGetFileAttributes(const char* path) {
  STAND_IN(GetFileAttributes, path);
  return GetFileAttributesA(path);
}

BOOL SysSetFileAttributes(const char* path, DWORD attributes) {
  STAND_IN(SetFileAttributes, path, attributes);
  return SetFileAttributesA(path, attributes);
}

BOOL SysSetCurrentDirectory(const char* path) {
  STAND_IN(SetCurrentDirectory, path);
  return SetCurrentDirectoryA(path);
}

DWORD SysGetEnvironmentVariable(const char* name, char* buffer, DWORD size) {
  STAND_IN(GetEnvironmentVariable, name, buffer, size);
  return GetEnvironmentVariableA(name, buffer, size);
}

BOOL SysIsDBCSLeadByte(BYTE byte) {
  STAND_IN(IsDBCSLeadByte, byte);
  return IsDBCSLeadByte(byte);
}

DWORD SysCharLowerBuff(char* text, DWORD length) {
  STAND_IN(CharLowerBuff, text, length);
  return CharLowerBuffA(text, length);
}

BOOL SysGetSpecialFolderPath(char* buffer, int csidl) {
  STAND_IN(GetSpecialFolderPath, buffer, csidl);
  // Windows 95 and NT 4 without Internet Explorer 4's shell update lack SHGetSpecialFolderPathA
  // and take the fallback: the folder's item list, then its path. Looked up here, at run time,
  // so that the exe still starts there.
  typedef BOOL(WINAPI * FolderPathFunction)(HWND, LPSTR, int, BOOL);
  FARPROC found = SysGetShellProc("SHGetSpecialFolderPathA");
  if (found) return As<FolderPathFunction>(found)(nullptr, buffer, csidl, FALSE);
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) return FALSE;
  BOOL got = SHGetPathFromIDListA(list, buffer);  // buffer of MAX_PATH
  // The list is the shell's allocation; shell32's own allocator frees it (ole32 is no import).
  IMalloc* allocator;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    allocator->Free(list);
    allocator->Release();
  }
  return got;
}

int SysMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
  STAND_IN(MessageBox, owner, text, caption, style);
  return MessageBoxA(owner, text, caption, style);
}

UINT SysRegisterWindowMessage(const char* name) {
  STAND_IN(RegisterWindowMessage, name);
  return RegisterWindowMessageA(name);
}

LRESULT SysSendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT flags, UINT timeoutMs) {
  STAND_IN(SendMessageTimeout, window, message, wParam, lParam, flags, timeoutMs);
  DWORD_PTR reply = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, flags, timeoutMs, &reply);
}

HANDLE SysCreateMutex(const char* name) {
  STAND_IN(CreateMutex, name);
  return CreateMutexA(nullptr, FALSE, name);
}

DWORD SysGetLastError() {
  STAND_IN(GetLastError);
  return GetLastError();
}

BOOL SysCloseHandle(HANDLE handle) {
  STAND_IN(CloseHandle, handle);
  return CloseHandle(handle);
}

void SysSleep(DWORD milliseconds) {
  STAND_IN(Sleep, milliseconds);
  Sleep(milliseconds);
}

DWORD SysGetTickCount() {
  STAND_IN(GetTickCount);
  return GetTickCount();
}

DWORD SysGetMilliseconds() {
  STAND_IN(GetMilliseconds);
  LARGE_INTEGER count, frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
      !QueryPerformanceCounter(&count))
    return GetTickCount();
  // In the x87's floating point rather than 64-bit integer division, which the 32-bit build
  // would take from libgcc with its unwind tables; finer than a millisecond at any uptime. The
  // low 32 bits, as a tick count wraps.
  double milliseconds = static_cast<double>(count.QuadPart) * 1000.0 /
                        static_cast<double>(frequency.QuadPart);
  return static_cast<DWORD>(static_cast<long long>(milliseconds));
}

BOOL SysGetVersionEx(OSVERSIONINFOA* version) {
  STAND_IN(GetVersionEx, version);
  return GetVersionExA(version);
}

DWORD SysGetModuleFileNameWide(WCHAR* buffer, DWORD size) {
  STAND_IN(GetModuleFileNameWide, buffer, size);
  typedef DWORD(WINAPI * NameFunction)(HMODULE, WCHAR*, DWORD);
  FARPROC found = KernelProc("GetModuleFileNameW");
  return found ? As<NameFunction>(found)(nullptr, buffer, size) : 0;
}

FARPROC SysGetKernelProc(const char* name) {
  STAND_IN(GetKernelProc, name);
  return KernelProc(name);
}

int SysHasHandleCalls() {
  return SysGetNtProc("NtOpenFile") && SysGetNtProc("NtCreateFile") &&
         SysGetNtProc("NtQueryDirectoryFile") && SysGetNtProc("NtSetInformationFile");
}

int SysTellsFinalPaths() { return SysGetKernelProc("GetFinalPathNameByHandleW") != nullptr; }

FARPROC SysGetNtProc(const char* name) {
  STAND_IN(GetNtProc, name);
  return NtProc(name);
}

HMODULE SysLoadLibrary(const char* path) {
  STAND_IN(LoadLibrary, path);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// GetTokenInformation of the process token. advapi32 is a static import, loaded from the start;
// its token functions are asked for by name all the same, as the 9x family's may be missing.
// Windows before Vista refuses the classes it does not know.
static BOOL QueryToken(int infoClass, void* answer, DWORD size, DWORD* length) {
  typedef BOOL(WINAPI * OpenTokenFunction)(HANDLE, DWORD, HANDLE*);
  typedef BOOL(WINAPI * GetInformationFunction)(HANDLE, int, void*, DWORD, DWORD*);
  FARPROC open = AdvapiProc("OpenProcessToken");
  FARPROC query = AdvapiProc("GetTokenInformation");
  HANDLE token;
  // GetCurrentProcess's pseudo handle, as the NT family (the only one with tokens) defines it:
  // one import fewer.
  const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
  if (!open || !query || !As<OpenTokenFunction>(open)(kCurrentProcess, TOKEN_QUERY, &token))
    return FALSE;
  BOOL known = As<GetInformationFunction>(query)(token, infoClass, answer, size, length);
  CloseHandle(token);
  return known;
}

BOOL SysGetTokenValue(int infoClass, DWORD* value) {
  STAND_IN(GetTokenValue, infoClass, value);
  DWORD answer = 0, size = 0;
  BOOL known = QueryToken(infoClass, &answer, sizeof(answer), &size) && size == sizeof(answer);
  if (known) *value = answer;
  return known;
}

BOOL SysGetRandom(void* buffer, DWORD size) {
  STAND_IN(GetRandom, buffer, size);
  typedef BOOLEAN(WINAPI * RandomFunction)(void*, ULONG);
  FARPROC found = AdvapiProc("SystemFunction036");
  return found && As<RandomFunction>(found)(buffer, size);
}

BOOL SysIsAdministrator(int* member) {
  STAND_IN(IsAdministrator, member);
  // Windows 2000 and later. BUILTIN\Administrators, S-1-5-32-544: revision 1, two
  // subauthorities, the NT authority (5), then 32 and 544 (stored little-endian).
  typedef BOOL(WINAPI * CheckMembershipFunction)(HANDLE, void*, BOOL*);
  alignas(4) static const BYTE kAdministrators[] = {1,  2, 0, 0, 0,    0, 0, 5,
                                                    32, 0, 0, 0, 0x20, 2, 0, 0};
  FARPROC check = AdvapiProc("CheckTokenMembership");
  BOOL isMember = FALSE;
  // No token given: the thread's, else the process's, as Windows itself judges access.
  if (!check || !As<CheckMembershipFunction>(check)(
                    nullptr, const_cast<BYTE*>(kAdministrators), &isMember))
    return FALSE;
  *member = isMember != 0;
  return TRUE;
}

DWORD SysRunElevated(const WCHAR* path, const WCHAR* parameters) {
  STAND_IN(RunElevated, path, parameters);
  typedef BOOL(WINAPI * ExecuteFunction)(SHELLEXECUTEINFOW*);
  FARPROC found = SysGetShellProc("ShellExecuteExW");
  if (!found) return ERROR_CALL_NOT_IMPLEMENTED;
  SHELLEXECUTEINFOW run;
  ZeroMemory(&run, sizeof(run));
  run.cbSize = sizeof(run);
  // No error box of the shell's: the caller says what went wrong. And the start is finished
  // before this returns, as the caller ends at once.
  run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  run.lpVerb = L"runas";
  run.lpFile = path;
  run.lpParameters = parameters;
  run.nShow = SW_SHOWNORMAL;
  if (As<ExecuteFunction>(found)(&run)) return ERROR_SUCCESS;
  DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

UINT SysGetAnsiCodePage() {
  STAND_IN(GetAnsiCodePage);
  return GetACP();
}

int SysCodePageToWide(UINT codePage, const char* text, WCHAR* buffer, int size) {
  STAND_IN(CodePageToWide, codePage, text, buffer, size);
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, buffer, size);
}

int SysMessageBoxWide(HWND owner, const WCHAR* text, const WCHAR* caption, UINT style) {
  STAND_IN(MessageBoxWide, owner, text, caption, style);
  return MessageBoxW(owner, text, caption, style);
}

FARPROC SysGetShellProc(const char* name) {
  STAND_IN(GetShellProc, name);
  return LoadedProc("shell32.dll", name);
}
