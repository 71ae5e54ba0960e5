// The install-folder guard: its judgement as one table against a fixed set of well-known
// folders, and the folders Wine names for them.
#include "files/folder_guard.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/seam_fixture.h"

namespace {

const char* VerdictName(FolderVerdict verdict) {
  switch (verdict) {
    case kFolderAccepted: return "accepted";
    case kFolderRelative: return "relative";
    case kFolderRoot: return "root";
    case kFolderMalformed: return "malformed";
    case kFolderWellKnown: return "well-known";
  }
  return "?";
}

struct WellKnownList {
  explicit WellKnownList(const std::vector<std::string>& folders) : count(0) {
    for (const std::string& folder : folders) {
      EXPECT_LT(folder.size(), sizeof(PathBuffer));
      strcpy(list[count++], folder.c_str());
    }
  }
  PathBuffer list[kMaxWellKnownFolders];
  int count;
};

class FolderGuard : public SeamTest {};

TEST_F(FolderGuard, JudgesTheFolderByItsResolvedText) {
  // A Korean system's folders; "바탕 화면" is the desktop. "\x81\x61" is one cp949 character
  // whose trail byte is the letter a.
  const std::string desktop = ToCp949(u8"C:\\Documents and Settings\\kim\\바탕 화면");
  WellKnownList wellKnown({"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files",
                           "C:\\Program Files\\Common Files", "C:\\Documents and Settings\\kim",
                           desktop, "C:\\Documents and Settings\\kim\\Local Settings\\Temp",
                           "\\\\server\\profiles\\kim", "C:\\Data\\\x81\x61", "relative\\x"});
  struct Case {
    std::string folder;
    FolderVerdict verdict;
  } cases[] = {
      // The product's folder, however written.
      {"C:\\Program Files\\Brenlock\\Tolvane", kFolderAccepted},
      {"c:\\PROGRAM FILES\\brenlock\\TOLVANE\\", kFolderAccepted},
      {"C:/Program Files//Brenlock/./Tolvane/", kFolderAccepted},
      {"C:\\Program Files\\Brenlock\\Tolvane\\Sub\\..", kFolderAccepted},
      {"C:\\Program Files\\Common Files\\Brenlock", kFolderAccepted},
      {"D:\\WINDOWS", kFolderAccepted},
      {"C:\\WINDOWS2", kFolderAccepted},
      {"C:\\Program Files (x86)", kFolderAccepted},
      {"\\\\server\\share\\Tolvane", kFolderAccepted},
      // Drive and share roots.
      {"C:", kFolderRoot},
      {"C:\\", kFolderRoot},
      {"c:\\\\", kFolderRoot},
      {"C:/.", kFolderRoot},
      {"C:\\Program Files\\Brenlock\\Tolvane\\..\\..\\..", kFolderRoot},
      {"C:\\..\\..", kFolderRoot},
      {"\\\\server\\share", kFolderRoot},
      {"\\\\server\\share\\", kFolderRoot},
      {"//server/share/Tolvane/..", kFolderRoot},
      {"\\\\server", kFolderRoot},
      {"\\\\server\\", kFolderRoot},
      // Relative to some current folder.
      {"", kFolderRelative},
      {"Tolvane", kFolderRelative},
      {"Brenlock\\Tolvane", kFolderRelative},
      {".\\Tolvane", kFolderRelative},
      {"\\Program Files\\Brenlock\\Tolvane", kFolderRelative},
      {"C:Tolvane", kFolderRelative},
      {"1:\\Tolvane", kFolderRelative},
      // The well-known folders themselves and folders that hold one.
      {"C:\\WINDOWS", kFolderWellKnown},
      {"c:\\windows", kFolderWellKnown},
      {"C:\\Windows\\", kFolderWellKnown},
      {"C:\\WINDOWS\\SYSTEM32", kFolderWellKnown},
      {"c:\\windows\\system32\\\\", kFolderWellKnown},
      {"C:\\WINDOWS\\\\\\system32", kFolderWellKnown},
      {"C:/Windows/./System32/", kFolderWellKnown},
      {"C:\\Windows\\System32\\drivers\\..", kFolderWellKnown},
      {"C:\\Windows.", kFolderWellKnown},
      {"C:\\Windows \\system32. .", kFolderWellKnown},
      {"C:\\Program Files\\Brenlock\\Tolvane\\..\\..", kFolderWellKnown},
      {"C:\\PROGRAM FILES", kFolderWellKnown},
      {"C:\\Documents and Settings", kFolderWellKnown},
      {"C:\\DOCUMENTS AND SETTINGS\\KIM\\", kFolderWellKnown},
      {desktop, kFolderWellKnown},
      {desktop + "\\Tolvane\\..", kFolderWellKnown},
      {"C:\\Documents and Settings\\kim\\Local Settings", kFolderWellKnown},
      {"\\\\SERVER\\Profiles\\KIM\\", kFolderWellKnown},
      {"\\\\SERVER\\Profiles", kFolderRoot},
      // Double-byte characters are neither case-folded nor split.
      {"C:\\DATA\\\x81\x61", kFolderWellKnown},
      {"C:\\Data\\\x81\x41", kFolderAccepted},
      // Not a plain folder path.
      {"C:\\Program Files\\Tolvane\\\xB0\\..\\..", kFolderMalformed},  // lead byte + '\'
      {"C:\\Program Files\\Tolvane\xB0", kFolderMalformed},           // lead byte at the end
      {"C:\\Windows::$INDEX_ALLOCATION", kFolderMalformed},
      {"C:\\Win*", kFolderMalformed},
      {"C:\\Program Files\\...", kFolderMalformed},
      {"C:\\Program Files\\ . ", kFolderMalformed},
      {"\\\\?\\C:\\Program Files\\Brenlock\\Tolvane", kFolderMalformed},
      {"\\\\.\\C:\\Program Files\\Brenlock\\Tolvane", kFolderMalformed},
      {"\\\\localhost\\C$\\Program Files\\Brenlock\\Tolvane", kFolderMalformed},
      {"\\\\server\\ADMIN$", kFolderMalformed},
      {"\\\\\\server\\share\\Tolvane", kFolderMalformed},
      {"\\\\server\\\\share\\Tolvane", kFolderMalformed},
  };
  int index = 0;
  for (const Case& c : cases) {
    EXPECT_STREQ(VerdictName(c.verdict),
                 VerdictName(JudgeInstallFolder(c.folder.c_str(), wellKnown.list, wellKnown.count)))
        << "case " << index << ": " << c.folder;
    ++index;
  }
}

// The folders Wine names: each of them, however written, is refused; the product's usual
// folder and one below the temporary folder are not.
TEST_F(FolderGuard, RefusesTheFoldersWindowsNames) {
  PathBuffer wellKnown[kMaxWellKnownFolders];
  int count = CollectWellKnownFolders(wellKnown);
  ASSERT_GT(count, 2);
  auto judge = [&](const std::string& folder) {
    return std::string(VerdictName(JudgeInstallFolder(folder.c_str(), wellKnown, count)));
  };
  auto upper = [](std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return s;
  };
  char path[MAX_PATH];
  std::vector<std::string> named;
  ASSERT_TRUE(GetWindowsDirectoryA(path, sizeof(path)));
  named.push_back(path);
  ASSERT_TRUE(GetSystemDirectoryA(path, sizeof(path)));
  named.push_back(path);
  ASSERT_TRUE(GetTempPathA(sizeof(path), path));
  named.push_back(path);
  ASSERT_TRUE(GetEnvironmentVariableA("ProgramW6432", path, sizeof(path)));  // 64-bit prefix
  named.push_back(path);
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                    CSIDL_COMMON_PROGRAMS, CSIDL_APPDATA, CSIDL_SYSTEMX86}) {
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) << csidl;
    named.push_back(path);
  }
  for (const std::string& folder : named) {
    EXPECT_EQ("well-known", judge(folder)) << folder;
    EXPECT_EQ("well-known", judge(upper(folder) + "\\")) << folder;
    EXPECT_EQ("well-known", judge(folder + "\\Tolvane\\..")) << folder;
  }
  EXPECT_EQ("accepted", judge("C:\\Program Files\\Brenlock\\Tolvane"));
  ASSERT_TRUE(GetTempPathA(sizeof(path), path));
  EXPECT_EQ("accepted", judge(std::string(path) + "Tolvane"));
}

// Without the Windows or the system directory the guard has nothing sound to judge by.
TEST_F(FolderGuard, CollectsNothingWithoutTheWindowsOrSystemDirectory) {
  PathBuffer wellKnown[kMaxWellKnownFolders];
  g_seam.GetWindowsDirectory = [](char*, UINT) -> UINT { return 0; };
  EXPECT_EQ(0, CollectWellKnownFolders(wellKnown));
  g_seam.GetWindowsDirectory = nullptr;
  g_seam.GetSystemDirectory = [](char*, UINT) -> UINT { return MAX_PATH + 1; };
  EXPECT_EQ(0, CollectWellKnownFolders(wellKnown));
}

}  // namespace
