// Files in use and the deletions Windows makes at its next start, for the file-cleanup tests: a
// file mapped as an image, which Windows will not delete, and the list Windows keeps of pending
// deletions, read and put back as it was.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// A copy of this test program mapped as an image, as Windows maps a loaded DLL: while it is
// mapped, Windows (and Wine) will not delete it, but it may be renamed.
class MappedImage {
 public:
  explicit MappedImage(const std::string& path) {
    char self[MAX_PATH];
    EXPECT_TRUE(GetModuleFileNameA(nullptr, self, MAX_PATH));
    EXPECT_TRUE(CopyFileA(self, path.c_str(), FALSE)) << path;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    mapping_ = CreateFileMappingA(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
    view_ = mapping_ ? MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0) : nullptr;
    CloseHandle(file);
    EXPECT_NE(nullptr, view_) << path;
  }
  ~MappedImage() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }

 private:
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
};

// The deletions asked for at the next start of Windows, as the list Windows keeps of them holds
// them (UTF-8, "\??\" in front), from the index given; the list is put back as it was when the
// test ends.
class PendingDeletions {
 public:
  PendingDeletions() { saved_ = Read(); }
  ~PendingDeletions() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key)) return;
    if (saved_.empty())
      RegDeleteValueW(key, kValue);
    else
      RegSetValueExW(key, kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(saved_.data()),
                     saved_.size() * sizeof(WCHAR));
    RegCloseKey(key);
  }
  // The paths added since the test began, each followed by its target ("" for a deletion).
  std::vector<std::string> Added() const {
    std::wstring now = Read();
    std::vector<std::string> added;
    size_t at = saved_.empty() ? 0 : saved_.size() - 1;  // the list's last terminator
    for (int item = 0; at < now.size() && (item % 2 || now[at]); ++item) {
      std::wstring text = now.c_str() + at;
      at += text.size() + 1;
      char utf8[1024];
      int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof(utf8), nullptr,
                                  nullptr);
      added.push_back(n > 0 ? utf8 : "?");
    }
    return added;
  }

 private:
  static constexpr const WCHAR* kKey = L"System\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const WCHAR* kValue = L"PendingFileRenameOperations";
  static std::wstring Read() {
    WCHAR data[8192] = {};
    DWORD size = sizeof(data) - 2 * sizeof(WCHAR);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key)) return L"";
    LONG result = RegQueryValueExW(key, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                   &size);
    RegCloseKey(key);
    return result ? L"" : std::wstring(data, size / sizeof(WCHAR));
  }
  std::wstring saved_;
};

// The folders of the uninstaller's own at the root of the test folder's drive, by name.
inline std::vector<std::string> RestartFolders(const std::string& drive) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((drive + "\\TolvaneUninstall.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Removes a folder of the uninstaller's own and what is in it, once the test has looked.
inline void RemoveRestartFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do DeleteFileA((folder + "\\" + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}
