// Straight calls to the ANSI Win32 functions. Built twice: plain for the shipped exe, and with
// TOLVANE_SEAM for the unit tests, where a stand-in set in g_seam runs instead of the real call.
#include "platform/platform.h"

#include <shellapi.h>
#include <shlobj.h>

// A function of a system DLL that is in every process of the program from its start (kernel32,
// ntdll on the NT family, and advapi32 and shell32, static imports), or null where this Windows
// lacks it.
// Loads nothing.
static FARPROC LoadedProc(const char* dll, const char* name) {
  HMODULE module = GetModuleHandleA(dll);
  return module ? GetProcAddress(module, name) : nullptr;
}

static FARPROC KernelProc(const char* name) { return LoadedProc("kernel32.dll", name); }

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
  FARPROC found = LoadedProc("ntdll.dll", "NtDeleteKey");
  if (!found) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<DeleteKeyFunction>(found)(key) >= 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
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

DWORD SysGetFinalPathNameByHandle(HANDLE file, char* buffer, DWORD size) {
  STAND_IN(GetFinalPathNameByHandle, file, buffer, size);
  // Windows Vista and later. The 9x family, NT 4, 2000 and XP lack it and take the fallback:
  // no answer, so a folder reached through a link counts as one whose location is unknown.
  // Looked up here, at run time, so that the exe still starts on those systems.
  typedef DWORD(WINAPI * FinalPathFunction)(HANDLE, LPSTR, DWORD, DWORD);
  const DWORD kVolumeNameDos = 0;  // "\\?\C:\...", not a volume GUID or NT device path
  FARPROC found = KernelProc("GetFinalPathNameByHandleA");
  if (!found) return 0;
  return As<FinalPathFunction>(found)(file, buffer, size, kVolumeNameDos);
}

DWORD SysGetFinalPathWide(HANDLE file, WCHAR* buffer, DWORD size) {
  STAND_IN(GetFinalPathWide, file, buffer, size);
  typedef DWORD(WINAPI * FinalPathFunction)(HANDLE, LPWSTR, DWORD, DWORD);
  const DWORD kVolumeNameDos = 0;
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

BOOL SysReadFolderEntries(HANDLE folder, void* buffer, DWORD size, int restart) {
  STAND_IN(ReadFolderEntries, folder, buffer, size, restart);
  // FILE_INFO_BY_HANDLE_CLASS FileIdBothDirectoryInfo and FileIdBothDirectoryRestartInfo.
  typedef BOOL(WINAPI * GetInformationFunction)(HANDLE, int, void*, DWORD);
  const int kIdBothDirectoryInfo = 10, kIdBothDirectoryRestartInfo = 11;
  FARPROC found = KernelProc("GetFileInformationByHandleEx");
  if (!found) return FALSE;
  return As<GetInformationFunction>(found)(
      folder, restart ? kIdBothDirectoryRestartInfo : kIdBothDirectoryInfo, buffer, size);
}

int SysAnsiToWide(const char* text, WCHAR* buffer, int size) {
  STAND_IN(AnsiToWide, text, buffer, size);
  int written = size > 1 ? MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, buffer,
                                               size)
                         : 0;
  return written > 0 ? written - 1 : 0;
}

int SysWideToAnsi(const WCHAR* text, int length, char* buffer, int size) {
  STAND_IN(WideToAnsi, text, length, buffer, size);
  BOOL defaulted = FALSE;
  int written = length > 0 && size > 1 ? WideCharToMultiByte(CP_ACP, 0, text, length, buffer,
                                                              size - 1, nullptr, &defaulted)
                                        : 0;
  if (written <= 0 || defaulted) return 0;
  buffer[written] = 0;
  return written;
}

HANDLE SysOpenEntryForDelete(const char* path, int deleteOnClose) {
  STAND_IN(OpenEntryForDelete, path, deleteOnClose);
  return CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT |
                         (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0),
                     nullptr);
}

BOOL SysGetFileInformation(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  STAND_IN(GetFileInformation, file, information);
  return GetFileInformationByHandle(file, information);
}

BOOL SysSetDeleteDisposition(HANDLE file) {
  STAND_IN(SetDeleteDisposition, file);
  // FILE_INFO_BY_HANDLE_CLASS FileDispositionInfo and its record, FILE_DISPOSITION_INFO.
  typedef BOOL(WINAPI * SetInformationFunction)(HANDLE, int, void*, DWORD);
  const int kFileDispositionInfo = 4;
  FARPROC found = KernelProc("SetFileInformationByHandle");
  if (!found) return FALSE;
  BOOLEAN deleteFile = TRUE;
  return As<SetInformationFunction>(found)(file, kFileDispositionInfo, &deleteFile,
                                           sizeof(deleteFile));
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

BOOL SysGetVersionEx(OSVERSIONINFOA* version) {
  STAND_IN(GetVersionEx, version);
  return GetVersionExA(version);
}

DWORD SysGetModuleFileName(char* buffer, DWORD size) {
  STAND_IN(GetModuleFileName, buffer, size);
  return GetModuleFileNameA(nullptr, buffer, size);
}

FARPROC SysGetKernelProc(const char* name) {
  STAND_IN(GetKernelProc, name);
  return KernelProc(name);
}

HMODULE SysLoadLibrary(const char* path) {
  STAND_IN(LoadLibrary, path);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

BOOL SysGetSystemVersion(OSVERSIONINFOW* version) {
  STAND_IN(GetSystemVersion, version);
  // NTSTATUS NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW). ntdll is in every process of the NT
  // family; nothing is loaded.
  typedef LONG(WINAPI * GetVersionFunction)(OSVERSIONINFOW*);
  FARPROC found = LoadedProc("ntdll.dll", "RtlGetVersion");
  return found && As<GetVersionFunction>(found)(version) >= 0;
}

BOOL SysGetTokenValue(int infoClass, DWORD* value) {
  STAND_IN(GetTokenValue, infoClass, value);
  // advapi32 is a static import, loaded from the start; its token functions are asked for by
  // name all the same, as the 9x family's may be missing. Windows before Vista refuses the
  // classes it does not know.
  typedef BOOL(WINAPI * OpenTokenFunction)(HANDLE, DWORD, HANDLE*);
  typedef BOOL(WINAPI * GetInformationFunction)(HANDLE, int, void*, DWORD, DWORD*);
  FARPROC open = LoadedProc("advapi32.dll", "OpenProcessToken");
  FARPROC query = LoadedProc("advapi32.dll", "GetTokenInformation");
  HANDLE token;
  if (!open || !query || !As<OpenTokenFunction>(open)(GetCurrentProcess(), TOKEN_QUERY, &token))
    return FALSE;
  DWORD answer = 0, size = 0;
  BOOL known = As<GetInformationFunction>(query)(token, infoClass, &answer, sizeof(answer),
                                                 &size) &&
               size == sizeof(answer);
  CloseHandle(token);
  if (known) *value = answer;
  return known;
}

BOOL SysIsAdministrator(int* member) {
  STAND_IN(IsAdministrator, member);
  // Windows 2000 and later. BUILTIN\Administrators, S-1-5-32-544: revision 1, two
  // subauthorities, the NT authority (5), then 32 and 544 (stored little-endian).
  typedef BOOL(WINAPI * CheckMembershipFunction)(HANDLE, void*, BOOL*);
  alignas(4) static const BYTE kAdministrators[] = {1,  2, 0, 0, 0,    0, 0, 5,
                                                    32, 0, 0, 0, 0x20, 2, 0, 0};
  FARPROC check = LoadedProc("advapi32.dll", "CheckTokenMembership");
  BOOL isMember = FALSE;
  // No token given: the thread's, else the process's, as Windows itself judges access.
  if (!check || !As<CheckMembershipFunction>(check)(
                    nullptr, const_cast<BYTE*>(kAdministrators), &isMember))
    return FALSE;
  *member = isMember != 0;
  return TRUE;
}

DWORD SysRunElevated(const char* path, const char* parameters) {
  STAND_IN(RunElevated, path, parameters);
  SHELLEXECUTEINFOA run;
  ZeroMemory(&run, sizeof(run));
  run.cbSize = sizeof(run);
  // No error box of the shell's: the caller says what went wrong. And the start is finished
  // before this returns, as the caller ends at once.
  run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  run.lpVerb = "runas";
  run.lpFile = path;
  run.lpParameters = parameters;
  run.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExA(&run)) return ERROR_SUCCESS;
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
