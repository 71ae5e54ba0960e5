// A folder of the test's own in a folder at the top of the Windows drive (not under the
// temporary folder: that lies in the user's profile, where the install-folder guard refuses
// every folder), made empty before the test and removed with everything in it afterwards.
// Paths are ANSI (code page 949) like the program's; the helpers go through the wide functions
// with the \\?\ prefix so that they also reach entries whose paths are longer than 260 bytes.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/remove_tree.h"

class TestFolder {
 public:
  // The folder is named after the running test.
  TestFolder() {
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
    EXPECT_TRUE(length > 2 && length < sizeof(windows));
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(windows, 2) + "\\tolvane_unit_files";
    CreateDirectoryA(root_.c_str(), nullptr);
    root_ += std::string("\\") + test->test_suite_name() + "." + test->name();
    RemoveTree(Wide(root_));
    EXPECT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_;
  }
  ~TestFolder() { RemoveTree(Wide(root_)); }

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

  // Makes a folder, or a file when the name has no trailing backslash; parents must exist.
  void Make(const std::string& relative) const {
    std::wstring path = Wide(Path(relative));
    if (!path.empty() && path.back() == L'\\') {
      path.pop_back();
      EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << relative;
      return;
    }
    EXPECT_TRUE(MakeFile(path)) << relative;
  }
  // Makes a file in the folder relative ("" for the test folder) with a name in UTF-16, for
  // names the ANSI code page cannot spell.
  void MakeNamed(const std::string& relative, const std::wstring& name) const {
    EXPECT_TRUE(MakeFile(Wide(relative.empty() ? root_ : Path(relative)) + L"\\" + name))
        << relative;
  }
  bool Exists(const std::string& relative) const {
    return GetFileAttributesW(Wide(Path(relative)).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  // \\?\ and the path in UTF-16, as Windows itself converts it from the ANSI code page.
  static std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], wide.size());
    wide.resize(n > 0 ? n - 1 : 0);
    for (wchar_t& c : wide)
      if (c == L'/') c = L'\\';
    return L"\\\\?\\" + wide;
  }

 private:
  static bool MakeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  std::string root_;
};
