// The install folder's cleanup on real files in a test folder. The system directory is pointed
// at a folder of the test's own, so no file of the prefix's system directory is touched.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "files/files.h"
#include "files/files_fixture.h"
#include "files/in_use.h"
#include "product/product.h"

namespace {

class InstallFiles : public FileCleanupTest {
 protected:
  static std::string& SystemFolder() {
    static std::string folder;
    return folder;
  }
  void SetUp() override {
    FileCleanupTest::SetUp();
    UseBase("");
  }
  void TearDown() override {
    memset(g_installDir, 0, sizeof(g_installDir));
    FileCleanupTest::TearDown();
  }
  // Makes base (under the test folder; "" for the test folder itself) hold a system directory
  // with the product's executable and one other file, and points the system directory there.
  void UseBase(const std::string& base) {
    base_ = base.empty() ? "" : base + "\\";
    if (!base.empty()) folder_.Make(base_);
    Make("system\\");
    Make("system\\kelrun32.exe");
    Make("system\\other.dll");
    SystemFolder() = Path("system");
    g_seam.GetSystemDirectory = [](char* buffer, UINT size) -> UINT {
      if (SystemFolder().size() >= size) return SystemFolder().size() + 1;
      strcpy(buffer, SystemFolder().c_str());
      return SystemFolder().size();
    };
  }
  void Make(const std::string& relative) { folder_.Make(base_ + relative); }
  bool Exists(const std::string& relative) { return folder_.Exists(base_ + relative); }
  std::string Path(const std::string& relative) { return folder_.Path(base_ + relative); }
  void SetInstallDir(const std::string& folder) {
    ASSERT_LT(folder.size(), sizeof(g_installDir));
    strcpy(g_installDir, folder.c_str());
  }
  static std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  std::string base_;
};

TEST_F(InstallFiles, RemovesTheTopLevelFilesTheFolderAndTheSystemExecutable) {
  struct Case {
    const char* name;
    std::vector<std::string> made;  // a trailing backslash makes a folder
    std::vector<std::string> gone, kept;
    bool systemExecutableKept;
  } cases[] = {
      {"three files",
       {"Tolvane\\", "Tolvane\\TolShell.dll", "Tolvane\\TolScan.exe", "Tolvane\\readme.txt"},
       {"Tolvane"},
       {},
       false},
      {"a subfolder stays, and so does the folder",
       {"Tolvane\\", "Tolvane\\TolShell.dll", "Tolvane\\Data\\", "Tolvane\\Data\\sig.dat",
        "Tolvane\\zz.txt"},
       {"Tolvane\\TolShell.dll", "Tolvane\\zz.txt"},
       {"Tolvane\\Data\\sig.dat"},
       false},
      {"an empty folder", {"Tolvane\\"}, {"Tolvane"}, {}, false},
      {"a missing folder", {"Other\\", "Other\\a.txt"}, {}, {"Other\\a.txt"}, true},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseBase("case" + std::to_string(index++));
    for (const std::string& made : c.made) Make(made);
    SetInstallDir(Path("Tolvane"));
    RemoveInstallFiles();
    for (const std::string& path : c.gone) EXPECT_FALSE(Exists(path)) << path;
    for (const std::string& path : c.kept) EXPECT_TRUE(Exists(path)) << path;
    EXPECT_EQ(c.systemExecutableKept, Exists("system\\kelrun32.exe"));
    EXPECT_TRUE(Exists("system\\other.dll"));
  }
}

// Only files are offered for deletion, each by its own full path; the system executable last.
TEST_F(InstallFiles, DeletesEachFileByItsFullPath) {
  Make("Tolvane\\");
  Make("Tolvane\\b.dll");
  Make("Tolvane\\Sub\\");
  Make("Tolvane\\a.exe");
  SetInstallDir(Path("Tolvane"));
  RemoveInstallFiles();
  ASSERT_EQ(3u, Calls().size());
  EXPECT_EQ(Sorted({Path("Tolvane\\a.exe"), Path("Tolvane\\b.dll")}),
            Sorted({Calls()[0], Calls()[1]}));
  EXPECT_EQ(Path("system\\kelrun32.exe"), Calls()[2]);
}

// Each file is opened by its name relative to the held folder, so a file whose full path is
// longer than a PathBuffer goes too, and nothing is cut short to another path. On the 9x family,
// which deletes by paths, such a file is passed over.
TEST_F(InstallFiles, DeletesAnEntryWhosePathIsLongerThanAPathBuffer) {
  int index = 0;
  for (const Way& c : kWays) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    UseBase("case" + std::to_string(index++));
    if (!c.ntdll) WithoutHandleCalls();
    std::string deep = "Tolvane";
    Make(deep + "\\");
    while (Path(deep).size() < 200) {
      deep += "\\deeper";
      Make(deep + "\\");
    }
    std::string longName(259 - Path(deep).size(), 'n');  // one byte too many
    std::string fits(longName.size() - 1, 'f');          // exactly 259 bytes
    Make(deep + "\\" + longName);
    Make(deep + "\\" + fits);
    // Each entry is proven by its final path where Windows tells one. 32-bit Wine cannot tell
    // it for a path longer than MAX_PATH (its GetFinalPathNameByHandleW asks ntdll for the name
    // with a buffer of that size): there the entry stays, unproven, and the folder with it.
    HANDLE probe = CreateFileW(TestFolder::Wide(Path(deep + "\\" + longName)).c_str(), 0, 7,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    WCHAR final[1024];
    bool told = probe != INVALID_HANDLE_VALUE && GetFinalPathNameByHandleW(probe, final, 1024, 0);
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    SetInstallDir(Path(deep));
    RemoveInstallFiles();
    EXPECT_NE(c.ntdll && told, Exists(deep + "\\" + longName));
    EXPECT_FALSE(Exists(deep + "\\" + fits));
    EXPECT_NE(c.ntdll && told, Exists(deep));
    EXPECT_FALSE(Exists("system\\kelrun32.exe"));
    FileCleanupTest::TearDown();
  }
}

// A system directory so long that the executable's path does not fit: nothing is deleted there.
// The emptied install folder goes, through the handle that held it.
TEST_F(InstallFiles, SkipsTheSystemExecutableWhenItsPathDoesNotFit) {
  Make("Tolvane\\");
  Make("Tolvane\\TolShell.dll");
  SystemFolder() = Path("system\\");
  SystemFolder() += std::string(250 - SystemFolder().size(), 's');
  SetInstallDir(Path("Tolvane"));
  RemoveInstallFiles();
  EXPECT_EQ((std::vector<std::string>{Path("Tolvane\\TolShell.dll"), Path("Tolvane")}), Calls());
}

// Where the folder is searched by its path (the 9x family), a search pattern that does not fit
// leaves the folder unsearched: nothing is deleted, nor the system executable.
TEST_F(InstallFiles, LeavesAFolderWhosePatternDoesNotFit) {
  std::string name = folder_.Root() + "\\";
  name = std::string(256 - name.size(), 'x');  // + "\*.*" makes 260 bytes
  Make(name + "\\");
  Make(name + "\\a");
  SetInstallDir(Path(name));
  WithoutHandleCalls();
  RemoveInstallFiles();
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Exists(name + "\\a"));
  EXPECT_TRUE(Exists("system\\kelrun32.exe"));
}

// Folders the guard refuses, on real files: a class value naming a file in the system directory,
// a folder that contains it, the system directory by its short name or reached through a link,
// a folder behind a link Windows cannot resolve, and any folder when Windows does not say where
// it lives. Wine's links need a Unix symbolic link, so the link and its final path are stood in.
TEST_F(InstallFiles, DeletesNothingInAFolderTheGuardRefuses) {
  Make("Tolvane\\");
  Make("Tolvane\\TolShell.dll");
  char shortForm[MAX_PATH];
  ASSERT_TRUE(GetShortPathNameA(Path("system").c_str(), shortForm, sizeof(shortForm)));
  ASSERT_NE(Path("system"), shortForm);
  static std::string finalPath;
  struct Case {
    const char* name;
    std::string folder;
    bool windowsKnown;
    std::string linkedTo;  // stood in: Tolvane is a link to this final path ("" none, "?" unknown)
  } cases[] = {
      {"the system directory", Path("system"), true, ""},
      {"the system directory, differently written", Path("Tolvane\\..\\SYSTEM\\"), true, ""},
      {"the system directory by its short name", shortForm, true, ""},
      {"a folder that holds the system directory", folder_.Root(), true, ""},
      {"a link to the system directory", Path("Tolvane"), true, "\\\\?\\" + Path("system")},
      {"a link Windows cannot resolve", Path("Tolvane"), true, "?"},
      {"Windows directory unknown", Path("Tolvane"), false, ""},
  };
  g_seam.FindFirstFile = [](const char* pattern, WIN32_FIND_DATAA* found) {
    HANDLE search = FindFirstFileA(pattern, found);
    if (search == INVALID_HANDLE_VALUE) return search;
    ++OpenSearches();
    if (!finalPath.empty() && !strcmp(found->cFileName, "Tolvane"))
      found->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return search;
  };
  g_seam.GetFinalPathWide = [](HANDLE, WCHAR* buffer, DWORD size) -> DWORD {
    std::wstring final = FromAnsi(finalPath);
    if (finalPath == "?" || final.size() >= size) return 0;
    wcscpy(buffer, final.c_str());
    return final.size();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_seam.GetWindowsDirectory = nullptr;
    if (!c.windowsKnown) g_seam.GetWindowsDirectory = [](char*, UINT) -> UINT { return 0; };
    finalPath = c.linkedTo;
    SetInstallDir(c.folder);
    // Refused, its record may go; not judged at all (the system's folders not all known), the
    // record stays.
    EXPECT_EQ(c.windowsKnown, RemoveInstallFiles() != 0);
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(Exists("system\\kelrun32.exe"));
    EXPECT_TRUE(Exists("system\\other.dll"));
    EXPECT_TRUE(Exists("Tolvane\\TolShell.dll"));
  }
}

// Names the ANSI code page cannot carry: one that the conversion to code page 949 turns into a
// path (the won sign becomes '\\'), one it cannot spell at all (Thai). Opened by their UTF-16
// names through the held folder, both go, and the system file the first one spells stays. By
// names (the 9x family) neither is deleted by the text it became.
TEST_F(InstallFiles, DeletesNamesTheCodePageCannotCarry) {
  int index = 0;
  for (const Way& c : kWays) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    UseBase("case" + std::to_string(index++));
    if (!c.ntdll) WithoutHandleCalls();
    Make("Tolvane\\");
    Make("Tolvane\\TolShell.dll");
    const std::wstring won = L"..\x20A9system\x20A9other.dll", thai = L"\x0E44\x0E1F\x0E25.dat";
    folder_.MakeNamed(base_ + "Tolvane", won);
    folder_.MakeNamed(base_ + "Tolvane", thai);
    SetInstallDir(Path("Tolvane"));
    // By names, the files whose names do not survive the conversion stay for good: the record
    // of the install folder stays with them.
    EXPECT_EQ(c.ntdll, RemoveInstallFiles() != 0);
    EXPECT_FALSE(Exists("Tolvane\\TolShell.dll"));
    EXPECT_TRUE(Exists("system\\other.dll"));
    EXPECT_FALSE(Exists("system\\kelrun32.exe"));
    std::wstring folder = TestFolder::Wide(Path("Tolvane")) + L"\\";
    EXPECT_NE(c.ntdll, GetFileAttributesW((folder + won).c_str()) != INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(c.ntdll, GetFileAttributesW((folder + thai).c_str()) != INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(c.ntdll, Exists("Tolvane"));
    FileCleanupTest::TearDown();
  }
}

// The product's executable in the system directory goes at once when it can, a read-only one
// too. Where it still runs (a service that was not stopped) it is moved into the uninstaller's own
// folder and goes from there at the next start of Windows, so that a copy installed again before
// the restart stays. Each counts as gone: the record of the install folder may go. Where it can
// be neither deleted nor moved (held open without delete sharing), it stays for good, and so does
// the record, for the next run to find.
TEST_F(InstallFiles, TheSystemExecutableGoesNowOrAtTheRestart) {
  enum State { kReadOnly, kRunning, kHeldOpen };
  struct Case {
    const char* name;
    State state;
  } cases[] = {{"read-only", kReadOnly}, {"running", kRunning}, {"held open", kHeldOpen}};
  const std::string drive = folder_.Root().substr(0, 2);
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    UseBase("case" + std::to_string(index++));
    Make("Tolvane\\");
    Make("Tolvane\\TolShell.dll");
    SetInstallDir(Path("Tolvane"));
    std::string executable = Path("system\\kelrun32.exe");
    PendingDeletions pending;
    HANDLE held = INVALID_HANDLE_VALUE;
    {
      std::unique_ptr<MappedImage> image;
      if (c.state == kRunning) {
        ASSERT_TRUE(DeleteFileA(executable.c_str()));
        image.reset(new MappedImage(executable));
      }
      if (c.state == kReadOnly)
        ASSERT_TRUE(SetFileAttributesA(executable.c_str(), FILE_ATTRIBUTE_READONLY));
      if (c.state == kHeldOpen)
        held = CreateFileA(executable.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
      EXPECT_EQ(c.state != kHeldOpen, RemoveInstallFiles() != 0);
      EXPECT_EQ(c.state == kHeldOpen, Exists("system\\kelrun32.exe"));
      EXPECT_TRUE(Exists("system\\other.dll"));
      EXPECT_FALSE(Exists("Tolvane"));
      if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    }
    std::vector<std::string> added = pending.Added();
    if (c.state != kRunning) EXPECT_TRUE(added.empty());
    if (c.state == kRunning) {
      // A copy installed again is not what the restart deletes.
      ASSERT_EQ(4u, added.size());
      std::string own = added[2].substr(4);
      EXPECT_EQ("\\??\\" + own + "\\kelrun32.exe", added[0]);
      EXPECT_EQ(0u, own.rfind(drive + "\\TolvaneUninstall.", 0)) << own;
      EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((own + "\\kelrun32.exe").c_str()));
      RemoveRestartFolder(own);
    }
    FileCleanupTest::TearDown();
  }
}

}  // namespace
