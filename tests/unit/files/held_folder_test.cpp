// A folder's files deleted while the folder is held, on real files in a test folder. What Wine
// cannot produce comes through the seam: a handle that leads elsewhere than its path (a folder
// swapped for a link after the guard judged it: Wine does not stop a rename made from the Unix
// side), a system without the Vista functions, the 9x family.
#include "files/held_folder.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/files_fixture.h"

namespace {

class HeldFolder : public FileCleanupTest {
 protected:
  void SetUp() override {
    FileCleanupTest::SetUp();
    Prepare("");
  }
  // The product's folder with three files, and another folder, in base (under the test folder;
  // "" for the test folder itself).
  void Prepare(const std::string& base) {
    base_ = base.empty() ? "" : base + "\\";
    if (!base.empty()) folder_.Make(base_);
    for (const char* made : {"Tolvane\\", "Tolvane\\a.dll", "Tolvane\\b.exe", "Tolvane\\c.txt",
                             "Other\\", "Other\\b.exe"})
      folder_.Make(base_ + made);
    Folder() = folder_.Path(base_ + "Tolvane");
    Elsewhere() = folder_.Path(base_ + "Other");
  }
  bool Exists(const std::string& relative) { return folder_.Exists(base_ + relative); }
  std::string base_;
  static std::string& Folder() {
    static std::string folder;
    return folder;
  }
  static std::string& Elsewhere() {
    static std::string folder;
    return folder;
  }
  // The real final path, or one in Other for a handle whose real one ends with suffix.
  static std::string& Swapped() {
    static std::string suffix;
    return suffix;
  }
  static DWORD SwappedFinalPath(HANDLE file, char* buffer, DWORD size) {
    DWORD length = GetFinalPathNameByHandleA(file, buffer, size, 0);
    std::string real(buffer, length < size ? length : 0);
    const std::string& suffix = Swapped();
    if (length == 0 || real.size() < suffix.size() ||
        real.compare(real.size() - suffix.size(), suffix.size(), suffix) != 0)
      return length;
    // The folder itself leads to Other; an entry to the entry of that name in Other.
    std::string other = "\\\\?\\" + Elsewhere() + (suffix == "\\Tolvane" ? "" : suffix);
    if (other.size() >= size) return other.size() + 1;
    strcpy(buffer, other.c_str());
    return other.size();
  }
  int Delete() { return DeleteFolderFiles(Folder().c_str(), Folder().c_str(), 1); }
};

// The folder cannot be renamed while its files are deleted (Wine, too, enforces sharing between
// Windows handles); every file goes through its own handle, then the folder through the held
// one.
TEST_F(HeldFolder, HoldsTheFolderAndDeletesThroughHandles) {
  static std::vector<DWORD> moves;
  moves.clear();
  // One attempt at the first entry, then the real opens.
  g_seam.OpenEntryForDelete = [](const char* path, int deleteOnClose) {
    BOOL moved = MoveFileA(Folder().c_str(), (Folder() + " moved").c_str());
    moves.push_back(moved ? 0 : GetLastError());
    g_seam.OpenEntryForDelete = nullptr;
    return SysOpenEntryForDelete(path, deleteOnClose);
  };
  EXPECT_EQ(1, Delete());
  EXPECT_EQ(std::vector<DWORD>{ERROR_SHARING_VIOLATION}, moves);
  EXPECT_EQ((std::vector<std::string>{Folder() + "\\a.dll", Folder() + "\\b.exe",
                                      Folder() + "\\c.txt", Folder()}),
            Calls());
  EXPECT_FALSE(folder_.Exists("Tolvane"));
  EXPECT_FALSE(folder_.Exists("Tolvane moved"));
}

// Nothing is deleted where a handle does not lead into the approved folder: an entry whose final
// path lies elsewhere (swapped for a link), a held folder that is not the approved one, a folder
// that cannot be held, an entry that turns out to be a folder.
TEST_F(HeldFolder, DeletesNothingOutsideTheApprovedFolder) {
  struct Case {
    const char* name;
    void (*install)();
    std::vector<std::string> gone;  // of a.dll, b.exe, c.txt and the folder
    int result;
  } cases[] = {
      {"an entry leads elsewhere", [] { Swapped() = "\\b.exe"; }, {"a.dll", "c.txt"}, 1},
      {"the held folder is elsewhere", [] { Swapped() = "\\Tolvane"; }, {}, 0},
      {"the folder cannot be held",
       [] { g_seam.HoldFolder = [](const char*, int) { return INVALID_HANDLE_VALUE; }; }, {}, 0},
      {"an entry is a folder by its handle",
       [] {
         g_seam.GetAttributesByHandle = [](HANDLE file) -> DWORD {
           char final[MAX_PATH + 8];
           GetFinalPathNameByHandleA(file, final, sizeof(final), 0);
           std::string path = final;
           return path.substr(path.size() - 6) == "\\c.txt" ? FILE_ATTRIBUTE_DIRECTORY
                                                            : FILE_ATTRIBUTE_ARCHIVE;
         };
       },
       {"a.dll", "b.exe"}, 1},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    Swapped() = "?";
    g_seam.GetFinalPathNameByHandle = SwappedFinalPath;
    c.install();
    EXPECT_EQ(c.result, Delete());
    for (const char* name : {"a.dll", "b.exe", "c.txt"}) {
      bool gone = std::find(c.gone.begin(), c.gone.end(), name) != c.gone.end();
      EXPECT_NE(gone, Exists(std::string("Tolvane\\") + name)) << name;
    }
    EXPECT_TRUE(Exists("Tolvane")) << "not empty";
    EXPECT_TRUE(Exists("Other\\b.exe"));
    FileCleanupTest::TearDown();
  }
}

// A file is deleted only when its handle leads directly into the approved folder; the approved
// folder is the guard's, not the path the folder was named by.
TEST_F(HeldFolder, DeletesNothingWhenTheApprovedFolderIsAnother) {
  EXPECT_EQ(0, DeleteFolderFiles(Folder().c_str(), Elsewhere().c_str(), 1));
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(folder_.Exists("Tolvane\\a.dll"));
}

// The listing through the held handle ends whatever it reads: records that point past the
// buffer or claim names longer than it end the reading of that buffer.
TEST_F(HeldFolder, EndsOnMalformedListings) {
  static int reads;
  reads = 0;
  g_seam.ReadFolderEntries = [](HANDLE, void* buffer, DWORD size, int) -> BOOL {
    memset(buffer, 0, size);
    DWORD* record = static_cast<DWORD*>(buffer);
    record[0] = reads % 2 ? 0xFFFFFFF8 : 0;  // next entry far beyond the buffer, or none
    record[16] = 0x7FFFFFFF;                  // a name longer than the buffer
    return ++reads < 50;
  };
  EXPECT_EQ(1, Delete());
  EXPECT_EQ(50, reads);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(folder_.Exists("Tolvane\\a.dll"));
}

// Windows before Vista has neither GetFinalPathNameByHandleA nor SetFileInformationByHandle: the
// folder is still held, each file is opened to go when closed, and the folder is removed by its
// name once no longer held. On the 9x family everything goes by name.
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
         g_seam.GetFinalPathNameByHandle = [](HANDLE, char*, DWORD) -> DWORD { return 0; };
         g_seam.HoldFolder = [](const char* path, int throughHandle) {
           seen.push_back("hold " + std::to_string(throughHandle));
           g_seam.HoldFolder = nullptr;  // the real hold, this once
           return SysHoldFolder(path, throughHandle);
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
       {"hold 0", "open a.dll 1", "open b.exe 1", "open c.txt 1", "remove by name"}},
      {"9x family",
       [] {
         g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
           version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
           return TRUE;
         };
         g_seam.HoldFolder = [](const char*, int) {
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
