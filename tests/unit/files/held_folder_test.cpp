// A folder's files deleted while the folder is held, on real files in a test folder. Links are
// real too: Wine's links are Unix symbolic links, made here by a Unix shell that Wine starts, and
// the swaps are made the same way, from the Unix side, where Wine does not stop a rename of a
// folder that a Windows program holds open. The seam times the swaps and stands in for what
// Wine cannot produce: a handle whose final path lies elsewhere, a listing with unaligned
// records, a system without the Vista functions, the 9x family.
#include "files/held_folder.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/files_fixture.h"

namespace {

// The Unix path of a Windows path, as Wine maps it.
std::string UnixPath(const std::string& path) {
  typedef char*(CDECL * UnixNameFunction)(const WCHAR*);
  auto unixName = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide = TestFolder::Wide(path).substr(4);  // without "\\?\"
  char* name = unixName ? unixName(wide.c_str()) : nullptr;
  std::string result = name ? name : "";
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Runs a Unix shell command, as Wine starts a Unix program; true when it succeeded. Wine gives
// no handle to wait for a Unix program by, so the command leaves a mark when it is done.
bool RunUnix(const std::string& command) {
  const std::string mark = "C:\\tolvane_unit_files\\unix.done";
  DeleteFileA(mark.c_str());
  std::string line =
      "/bin/sh -c \"" + command + " && touch '" + UnixPath(mark) + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  bool done = false;
  for (int waited = 0; !done && waited < 10000; waited += 10) {
    done = GetFileAttributesA(mark.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!done) Sleep(10);
  }
  DeleteFileA(mark.c_str());
  return done;
}

std::string Quoted(const std::string& path) { return "'" + UnixPath(path) + "'"; }

// Makes link a symbolic link to the folder target.
bool MakeLink(const std::string& link, const std::string& target) {
  return RunUnix("ln -s " + Quoted(target) + " " + Quoted(link));
}

// Moves folder away (to folder + " moved") and puts replacement in its place: a link to it, or
// the folder itself moved there.
bool Swap(const std::string& folder, const std::string& replacement, bool link) {
  std::string away = "mv " + Quoted(folder) + " " + Quoted(folder + " moved") + " && ";
  if (link) return RunUnix(away + "ln -s " + Quoted(replacement) + " " + Quoted(folder));
  return RunUnix(away + "mv " + Quoted(replacement) + " " + Quoted(folder));
}

class HeldFolder : public FileCleanupTest {
 public:
  // Renames from to to, both under the base folder.
  void Rename(const std::string& from, const std::string& to) {
    EXPECT_TRUE(MoveFileA(PathOf(from).c_str(), PathOf(to).c_str())) << from;
  }
  void MakeFolder(const std::string& relative) { folder_.Make(base_ + relative + "\\"); }
  std::string PathOf(const std::string& relative) { return folder_.Path(base_ + relative); }

 protected:
  void SetUp() override {
    FileCleanupTest::SetUp();
    Prepare("");
  }
  // The product's folder with three files, and another vendor's folder with files of the same
  // names, in base (under the test folder; "" for the test folder itself).
  void Prepare(const std::string& base) {
    base_ = base.empty() ? "" : base + "\\";
    if (!base.empty()) folder_.Make(base_);
    for (const char* made : {"Tolvane\\", "Tolvane\\a.dll", "Tolvane\\b.exe", "Tolvane\\c.txt",
                             "Other\\", "Other\\a.dll", "Other\\b.exe", "Other\\c.txt"})
      folder_.Make(base_ + made);
    Folder() = folder_.Path(base_ + "Tolvane");
    Elsewhere() = folder_.Path(base_ + "Other");
  }
  bool Exists(const std::string& relative) { return folder_.Exists(base_ + relative); }
  // Whether the three files are all there in folder (relative to base).
  bool Whole(const std::string& folder) {
    for (const char* name : {"\\a.dll", "\\b.exe", "\\c.txt"})
      if (!Exists(folder + name)) return false;
    return true;
  }
  std::string base_;
  static std::string& Folder() {
    static std::string folder;
    return folder;
  }
  static std::string& Elsewhere() {
    static std::string folder;
    return folder;
  }
  int Delete() { return EmptyFolder(Folder().c_str(), nullptr); }
};

// The folder is held from before its files are deleted until they are: renaming it from
// another handle fails, on Vista and later and on the XP path alike. Every file goes through its
// own handle, then the folder through a fresh one.
TEST_F(HeldFolder, HoldsTheFolderWhileItsFilesAreDeleted) {
  static std::vector<DWORD> moves;
  struct Case {
    const char* name;
    bool xp;
    std::vector<std::string> deleted;  // as recorded: through a handle, or by name
  } cases[] = {
      {"Vista and later", false, {"\\a.dll", "\\b.exe", "\\c.txt", ""}},
      {"XP", true, {}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    moves.clear();
    if (c.xp) g_seam.GetKernelProc = [](const char*) -> FARPROC { return nullptr; };
    // One attempt at the first entry, then the real opens.
    g_seam.OpenEntryForDelete = [](const char* path, int deleteOnClose) {
      BOOL moved = MoveFileA(Folder().c_str(), (Folder() + " moved").c_str());
      moves.push_back(moved ? 0 : GetLastError());
      g_seam.OpenEntryForDelete = nullptr;
      return SysOpenEntryForDelete(path, deleteOnClose);
    };
    EXPECT_EQ(1, Delete());
    EXPECT_EQ(std::vector<DWORD>{ERROR_SHARING_VIOLATION}, moves);
    std::vector<std::string> expected;
    for (const std::string& name : c.deleted) expected.push_back(Folder() + name);
    EXPECT_EQ(expected, Calls());
    EXPECT_FALSE(Exists("Tolvane"));
    EXPECT_FALSE(Exists("Tolvane moved"));
    FileCleanupTest::TearDown();
  }
}

// A program whose current folder is the install folder (the uninstaller's own, started from the
// group's shortcut, or a component still running) does not keep the files from going; the
// folder, which that program has open, stays.
TEST_F(HeldFolder, DeletesTheFilesOfAnotherProgramsCurrentFolder) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read, write;
  ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
  SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = read;  // cmd waits for input that never comes
  startup.hStdOutput = startup.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
  PROCESS_INFORMATION process;
  char command[] = "cmd.exe";
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             Folder().c_str(), &startup, &process));
  CloseHandle(read);
  WaitForInputIdle(process.hProcess, 5000);
  Sleep(500);
  EXPECT_EQ(1, Delete());
  EXPECT_FALSE(Exists("Tolvane\\a.dll"));
  EXPECT_FALSE(Exists("Tolvane\\b.exe"));
  EXPECT_FALSE(Exists("Tolvane\\c.txt"));
  EXPECT_TRUE(Exists("Tolvane"));
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(write);
}

// No link is followed, whoever made it, and no swap before or after the hold makes another
// folder the one emptied: the other vendor's folder stays whole in every row.
TEST_F(HeldFolder, FollowsNoLinkAndNoSwap) {
  static std::string swapTarget;
  static bool swapLink;
  struct Case {
    const char* name;
    void (*install)(HeldFolder* test);
    int result;
  } cases[] = {
      {"the folder is a link",
       [](HeldFolder* test) {
         test->Rename("Tolvane", "Tolvane real");
         ASSERT_TRUE(MakeLink(Folder(), Elsewhere()));
       },
       0},
      {"a link above the folder",
       [](HeldFolder* test) {
         test->MakeFolder("Vendor");
         test->Rename("Other", "Vendor\\Tolvane");
         Elsewhere() = test->PathOf("Vendor\\Tolvane");
         ASSERT_TRUE(MakeLink(test->PathOf("Brenlock"),
                              test->PathOf("Vendor")));
         Folder() = test->PathOf("Brenlock\\Tolvane");
       },
       0},
      {"a link one hop behind another link",
       [](HeldFolder* test) {
         // An administrator's link to the product's folder, whose place a user took with a
         // link to the other vendor's.
         test->Rename("Tolvane", "Tolvane real");
         ASSERT_TRUE(MakeLink(test->PathOf("Apps"), Elsewhere()));
         ASSERT_TRUE(MakeLink(Folder(), test->PathOf("Apps")));
       },
       0},
      {"swapped for a link just before the hold",
       [](HeldFolder*) {
         swapTarget = Elsewhere();
         swapLink = true;
         g_seam.HoldFolder = [](const char* path) {
           g_seam.HoldFolder = nullptr;
           EXPECT_TRUE(Swap(Folder(), swapTarget, swapLink));
           return SysHoldFolder(path);
         };
       },
       0},
      {"swapped for the other folder between the hold and the walk",
       [](HeldFolder*) {
         swapTarget = Elsewhere();
         swapLink = false;
         Elsewhere() = Folder();  // where the other vendor's files then are
         g_seam.HoldFolder = [](const char* path) {
           g_seam.HoldFolder = nullptr;
           HANDLE held = SysHoldFolder(path);
           EXPECT_TRUE(Swap(Folder(), swapTarget, swapLink));
           return held;
         };
       },
       0},
      {"swapped for a link between the hold and the first deletion",
       [](HeldFolder*) {
         swapTarget = Elsewhere();
         swapLink = true;
         g_seam.OpenEntryForDelete = [](const char* path, int deleteOnClose) {
           g_seam.OpenEntryForDelete = nullptr;
           EXPECT_TRUE(Swap(Folder(), swapTarget, swapLink));
           return SysOpenEntryForDelete(path, deleteOnClose);
         };
       },
       1},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    c.install(this);
    std::string vendor = Elsewhere();
    EXPECT_EQ(c.result, Delete());
    for (const char* name : {"\\a.dll", "\\b.exe", "\\c.txt"})
      EXPECT_TRUE(folder_.Exists(vendor.substr(folder_.Root().size() + 1) + name))
          << vendor << name;
    EXPECT_TRUE(Calls().empty()) << "deleted: " << Calls()[0];
    FileCleanupTest::TearDown();
  }
}

// Nothing is deleted where a handle does not lead where it should: an entry whose final path
// lies elsewhere, a held folder whose final path is not its long form, a folder that cannot be
// held, an entry that turns out to be a folder, a folder the guard refuses in its long form.
TEST_F(HeldFolder, DeletesNothingOutsideTheProvenFolder) {
  static std::wstring swapped;  // the final path that ends with this leads into Other
  struct Case {
    const char* name;
    void (*install)();
    std::vector<std::string> gone;  // of a.dll, b.exe, c.txt
    int result;
    bool guarded;
  } cases[] = {
      {"an entry leads elsewhere", [] { swapped = L"\\b.exe"; }, {"a.dll", "c.txt"}, 1, false},
      {"the held folder is elsewhere", [] { swapped = L"\\Tolvane"; }, {}, 0, false},
      {"the folder cannot be held",
       [] { g_seam.HoldFolder = [](const char*) { return INVALID_HANDLE_VALUE; }; }, {}, 0,
       false},
      {"an entry is a folder by its handle",
       [] {
         g_seam.GetFileInformation = [](HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
           BOOL known = GetFileInformationByHandle(file, information);
           WCHAR final[MAX_PATH + 8];
           DWORD length = GetFinalPathNameByHandleW(file, final, MAX_PATH + 8, 0);
           if (length > 6 && !wcscmp(final + length - 6, L"\\c.txt"))
             information->dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
           return known;
         };
       },
       {"a.dll", "b.exe"}, 1, false},
      {"the guard refuses the folder", [] {}, {}, 0, true},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    swapped = L"?";
    g_seam.GetFinalPathWide = [](HANDLE file, WCHAR* buffer, DWORD size) -> DWORD {
      DWORD length = GetFinalPathNameByHandleW(file, buffer, size, 0);
      std::wstring real(buffer, length < size ? length : 0);
      if (real.size() < swapped.size() ||
          real.compare(real.size() - swapped.size(), swapped.size(), swapped) != 0)
        return length;
      std::wstring other = TestFolder::Wide(Elsewhere()) + (swapped == L"\\Tolvane" ? L"" : swapped);
      if (other.size() >= size) return other.size() + 1;
      wcscpy(buffer, other.c_str());
      return other.size();
    };
    c.install();
    // Guarded folders that seal the test folder.
    GuardedFolders guarded = {};
    strcpy(guarded.sealed[0], folder_.Root().c_str());
    guarded.sealedCount = 1;
    EXPECT_EQ(c.result, EmptyFolder(Folder().c_str(), c.guarded ? &guarded : nullptr));
    for (const char* name : {"a.dll", "b.exe", "c.txt"}) {
      bool gone = std::find(c.gone.begin(), c.gone.end(), name) != c.gone.end();
      EXPECT_NE(gone, Exists(std::string("Tolvane\\") + name)) << name;
    }
    EXPECT_TRUE(Exists("Tolvane")) << "not empty";
    EXPECT_TRUE(Whole("Other"));
    FileCleanupTest::TearDown();
  }
}

// The listing through the held handle follows the records by their offsets: records whose
// offsets are no multiple of 8 are all read; records that point past the buffer or claim names
// longer than it end the reading of that buffer.
TEST_F(HeldFolder, ReadsEveryListingRecordAndEndsOnMalformedOnes) {
  // The real listing, each record moved to follow the one before with no padding but one byte.
  g_seam.ReadFolderEntries = [](HANDLE folder, void* buffer, DWORD size, int restart) -> BOOL {
    union {
      LONGLONG alignment;
      BYTE bytes[4096];
    } real;
    if (!GetFileInformationByHandleEx(folder, restart ? FileIdBothDirectoryRestartInfo
                                                      : FileIdBothDirectoryInfo,
                                      &real, sizeof(real)))
      return FALSE;
    BYTE* out = static_cast<BYTE*>(buffer);
    memset(out, 0, size);
    DWORD in = 0, at = 0, previous = 0;
    for (bool first = true;; first = false) {
      auto* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(real.bytes + in);
      DWORD length = offsetof(FILE_ID_BOTH_DIR_INFO, FileName) + record->FileNameLength + 1;
      if (!first) {
        DWORD offset = at - previous;
        memcpy(out + previous, &offset, sizeof(offset));
      }
      memcpy(out + at, record, length - 1);
      memset(out + at, 0, sizeof(DWORD));  // the last, until another follows
      previous = at;
      at += length;
      if (!record->NextEntryOffset) break;
      in += record->NextEntryOffset;
    }
    return TRUE;
  };
  EXPECT_EQ(1, Delete());
  EXPECT_EQ((std::vector<std::string>{Folder() + "\\a.dll", Folder() + "\\b.exe",
                                      Folder() + "\\c.txt", Folder()}),
            Calls());

  FileCleanupTest::SetUp();
  Prepare("malformed");
  static int reads;
  reads = 0;
  g_seam.ReadFolderEntries = [](HANDLE, void* buffer, DWORD size, int) -> BOOL {
    memset(buffer, 0, size);
    DWORD* record = static_cast<DWORD*>(buffer);
    record[0] = reads % 2 ? 0xFFFFFFF8 : 0;  // next entry far beyond the buffer, or none
    record[15] = 0x7FFFFFFF;                  // a name longer than the buffer
    return ++reads < 50;
  };
  EXPECT_EQ(1, Delete());
  EXPECT_EQ(50, reads);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Whole("Tolvane"));
}

// Windows before Vista has neither final paths nor SetFileInformationByHandle: the folder is
// still held, each file is opened to go when closed, and the folder is removed by its name once
// no longer held. On the 9x family everything goes by name.
TEST_F(HeldFolder, OlderSystems) {
  static std::vector<std::string> seen;
  struct Case {
    const char* name;
    void (*install)();
    std::vector<std::string> expected;
  } cases[] = {
      {"XP",
       [] {
         g_seam.GetKernelProc = [](const char*) -> FARPROC { return nullptr; };
         g_seam.GetFinalPathWide = [](HANDLE, WCHAR*, DWORD) -> DWORD { return 0; };
         g_seam.HoldFolder = [](const char* path) {
           seen.push_back("hold");
           g_seam.HoldFolder = nullptr;  // the real hold, this once
           return SysHoldFolder(path);
         };
         g_seam.OpenEntryForDelete = [](const char* path, int deleteOnClose) {
           seen.push_back("open " + std::string(strrchr(path, '\\') + 1) + " " +
                          std::to_string(deleteOnClose));
           return CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS |
                              (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0), nullptr);
         };
         g_seam.RemoveDirectory = [](const char* path) {
           seen.push_back("remove by name");
           return RemoveDirectoryA(path);
         };
       },
       {"hold", "open a.dll 1", "open b.exe 1", "open c.txt 1", "remove by name"}},
      {"9x family",
       [] {
         g_seam.GetSystemVersion = [](OSVERSIONINFOW*) -> BOOL { return FALSE; };
         g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
           version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
           return TRUE;
         };
         g_seam.HoldFolder = [](const char*) {
           seen.push_back("held");
           return INVALID_HANDLE_VALUE;
         };
         g_seam.DeleteFile = [](const char* path) {
           seen.push_back("delete " + std::string(strrchr(path, '\\') + 1));
           return DeleteFileA(path);
         };
         g_seam.RemoveDirectory = [](const char* path) {
           seen.push_back("remove by name");
           return RemoveDirectoryA(path);
         };
       },
       {"delete a.dll", "delete b.exe", "delete c.txt", "remove by name"}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    seen.clear();
    c.install();
    EXPECT_EQ(1, Delete());
    EXPECT_EQ(c.expected, seen);  // Wine lists a folder's entries sorted by name
    EXPECT_FALSE(Exists("Tolvane"));
    FileCleanupTest::TearDown();
  }
}

}  // namespace
