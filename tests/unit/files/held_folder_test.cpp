// A folder's files deleted while the folder is held, on real files in a test folder. Links are
// real too: Wine's links are Unix symbolic links, made here by a Unix shell that Wine starts, and
// the swaps are made the same way, from the Unix side, where Wine does not stop a rename of a
// folder that a Windows program holds open. The seam times the swaps and stands in for what
// Wine cannot produce: a handle whose final path lies elsewhere, a listing with unaligned
// records, a system without the Vista functions, the 9x family.
#include "files/held_folder.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "files/files_fixture.h"
#include "files/in_use.h"

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

// A listing as the held folder's handle gives it (FILE_DIRECTORY_INFORMATION records, 8-byte
// aligned), naming the files given: what a file system could write. False when it does not fit.
bool PackListing(void* buffer, DWORD size, const std::vector<std::wstring>& names) {
  BYTE* out = static_cast<BYTE*>(buffer);
  memset(out, 0, size);
  DWORD at = 0, previous = 0;
  for (const std::wstring& name : names) {
    DWORD bytes = static_cast<DWORD>(name.size() * sizeof(WCHAR));
    if (at + 64 + bytes > size) return false;
    if (at) {
      DWORD offset = at - previous;
      memcpy(out + previous, &offset, sizeof(offset));
    }
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    memcpy(out + at + 56, &attributes, sizeof(attributes));
    memcpy(out + at + 60, &bytes, sizeof(bytes));
    memcpy(out + at + 64, name.data(), bytes);
    previous = at;
    at = (at + 64 + bytes + 7) & ~7u;
  }
  return true;
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
  FolderRemoval Delete() { return RemoveFolder(Folder().c_str(), nullptr); }
};

// The folder is held from before its files are deleted until they are: renaming it from
// another handle fails, on Vista and later and on XP alike (there without final paths). Every
// file goes through its own handle, then the folder through a fresh one.
TEST_F(HeldFolder, HoldsTheFolderWhileItsFilesAreDeleted) {
  static std::vector<DWORD> moves;
  struct Case {
    const char* name;
    bool xp;
  } cases[] = {{"Vista and later", false}, {"XP", true}};
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    moves.clear();
    if (c.xp) g_seam.GetKernelProc = [](const char*) -> FARPROC { return nullptr; };
    // One attempt at the first entry, then the real opens.
    g_seam.OpenEntry = [](HANDLE folder, const WCHAR* name, int length, ACCESS_MASK access) {
      BOOL moved = MoveFileA(Folder().c_str(), (Folder() + " moved").c_str());
      moves.push_back(moved ? 0 : GetLastError());
      g_seam.OpenEntry = nullptr;
      return SysOpenEntry(folder, name, length, access);
    };
    EXPECT_EQ(kRemovalDone, Delete());
    EXPECT_EQ(std::vector<DWORD>{ERROR_SHARING_VIOLATION}, moves);
    std::vector<std::string> expected;
    for (const char* name : {"\\a.dll", "\\b.exe", "\\c.txt", ""})
      expected.push_back(Folder() + name);
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
  EXPECT_EQ(kRemovalPartial, Delete());
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
    FolderRemoval result;
    bool heldFilesGo;  // the files of the folder held before the swap, wherever it went
  } cases[] = {
      {"the folder is a link",
       [](HeldFolder* test) {
         test->Rename("Tolvane", "Tolvane real");
         ASSERT_TRUE(MakeLink(Folder(), Elsewhere()));
       },
       kRemovalRefused, false},
      {"a link above the folder",
       [](HeldFolder* test) {
         test->MakeFolder("Vendor");
         test->Rename("Other", "Vendor\\Tolvane");
         Elsewhere() = test->PathOf("Vendor\\Tolvane");
         ASSERT_TRUE(MakeLink(test->PathOf("Brenlock"),
                              test->PathOf("Vendor")));
         Folder() = test->PathOf("Brenlock\\Tolvane");
       },
       kRemovalRefused, false},
      {"a link one hop behind another link",
       [](HeldFolder* test) {
         // An administrator's link to the product's folder, whose place a user took with a
         // link to the other vendor's.
         test->Rename("Tolvane", "Tolvane real");
         ASSERT_TRUE(MakeLink(test->PathOf("Apps"), Elsewhere()));
         ASSERT_TRUE(MakeLink(Folder(), test->PathOf("Apps")));
       },
       kRemovalRefused, false},
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
       kRemovalRefused, false},
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
       kRemovalRefused, false},
      {"swapped for a link between the hold and the first deletion",
       [](HeldFolder*) {
         swapTarget = Elsewhere();
         swapLink = true;
         g_seam.OpenEntry = [](HANDLE folder, const WCHAR* name, int length, ACCESS_MASK access) {
           g_seam.OpenEntry = nullptr;
           EXPECT_TRUE(Swap(Folder(), swapTarget, swapLink));
           return SysOpenEntry(folder, name, length, access);
         };
       },
       kRemovalPartial, true},
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
    // Entries are opened through the held folder's handle: after a swap, only the held folder's
    // own files may go (Windows opens them through the handle, wherever the folder went; Wine
    // by the folder's name, which the final-path check then refuses), and the link is no folder
    // to remove.
    for (const std::string& call : Calls())
      EXPECT_TRUE(c.heldFilesGo && call.rfind(Folder() + " moved\\", 0) == 0) << call;
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
    FolderRemoval result;
    bool guarded;
  } cases[] = {
      {"a listing names what is not one entry of the folder",
       [] {
         g_seam.ReadFolderEntries = [](HANDLE, void* buffer, DWORD size, int restart) -> BOOL {
           return restart && PackListing(buffer, size, {L"..\\Other\\b.exe", L".", L"..",
                                                        L"c.txt:stream", L"..\\Other",
                                                        L"a.dll"});
         };
       },
       {"a.dll"}, kRemovalPartial, false},
      {"the held folder is elsewhere", [] { swapped = L"\\Tolvane"; }, {}, kRemovalRefused,
       false},
      {"the folder cannot be held",
       [] { g_seam.HoldFolder = [](const char*) { return INVALID_HANDLE_VALUE; }; }, {},
       kRemovalRefused, false},
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
       {"a.dll", "b.exe"}, kRemovalPartial, false},
      {"the guard refuses the folder", [] {}, {}, kRemovalRefused, true},
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
    EXPECT_EQ(c.result, RemoveFolder(Folder().c_str(), c.guarded ? &guarded : nullptr));
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
    if (!PassThrough(g_seam.ReadFolderEntries, &SysReadFolderEntries, folder,
                     static_cast<void*>(&real), static_cast<DWORD>(sizeof(real)), restart))
      return FALSE;
    BYTE* out = static_cast<BYTE*>(buffer);
    memset(out, 0, size);
    DWORD in = 0, at = 0, previous = 0;
    for (bool first = true;; first = false) {
      // FILE_DIRECTORY_INFORMATION: the offset to the next record first, the name's length in
      // bytes at 60, the name at 64.
      DWORD next, nameBytes;
      memcpy(&next, real.bytes + in, sizeof(next));
      memcpy(&nameBytes, real.bytes + in + 60, sizeof(nameBytes));
      DWORD length = 64 + nameBytes + 1;
      if (!first) {
        DWORD offset = at - previous;
        memcpy(out + previous, &offset, sizeof(offset));
      }
      memcpy(out + at, real.bytes + in, length - 1);
      memset(out + at, 0, sizeof(DWORD));  // the last, until another follows
      previous = at;
      at += length;
      if (!next) break;
      in += next;
    }
    return TRUE;
  };
  EXPECT_EQ(kRemovalDone, Delete());
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
  EXPECT_EQ(kRemovalPartial, Delete());
  EXPECT_EQ(50, reads);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Whole("Tolvane"));
}

// What Windows can do, not the version it reports, chooses the way: wherever ntdll has the file
// calls the folder is held and its entries go through its handle, also where a compatibility
// layer reports the 9x family; without them (the 9x family) everything goes by name.
TEST_F(HeldFolder, ChoosesTheWayByWhatWindowsCanDo) {
  static std::vector<std::string> seen;
  struct Case {
    const char* name;
    void (*install)();
    std::vector<std::string> expected;
  } cases[] = {
      {"the 9x family reported, ntdll's calls there",
       [] {
         g_seam.GetSystemVersion = [](OSVERSIONINFOW*) -> BOOL { return FALSE; };
         g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
           version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
           return TRUE;
         };
       },
       {"hold", "open", "open", "open", "remove through a handle"}},
      {"ntdll's calls missing",
       [] { WithoutHandleCalls(); },
       {"delete a.dll", "delete b.exe", "delete c.txt", "remove by name"}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    seen.clear();
    g_seam.HoldFolder = [](const char* path) {
      seen.push_back("hold");
      g_seam.HoldFolder = nullptr;  // the real hold, this once
      return SysHoldFolder(path);
    };
    g_seam.OpenEntry = [](HANDLE folder, const WCHAR* name, int length, ACCESS_MASK access) {
      seen.push_back("open");
      return PassThrough(g_seam.OpenEntry, &SysOpenEntry, folder, name, length, access);
    };
    g_seam.OpenFolderForDelete = [](const char* path) {
      seen.push_back("remove through a handle");
      return PassThrough(g_seam.OpenFolderForDelete, &SysOpenFolderForDelete, path);
    };
    g_seam.DeleteFile = [](const char* path) {
      seen.push_back("delete " + std::string(strrchr(path, '\\') + 1));
      return DeleteFileA(path);
    };
    g_seam.RemoveDirectory = [](const char* path) {
      seen.push_back("remove by name");
      return RemoveDirectoryA(path);
    };
    c.install();
    EXPECT_EQ(kRemovalDone, Delete());
    EXPECT_EQ(c.expected, seen);  // Wine lists a folder's entries sorted by name
    EXPECT_FALSE(Exists("Tolvane"));
    FileCleanupTest::TearDown();
  }
}

// The folders of the uninstaller's own at the root of the test folder's drive, by name.
std::vector<std::string> RestartFolders(const std::string& drive) {
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
void RemoveRestartFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do DeleteFileA((folder + "\\" + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// The DACL read back from the folder allows SYSTEM and Administrators alone (Wine reads back
// its own user in Administrators' place, and not the protection from inheritance, which the
// security the folder was made with is checked for).
void ExpectAdministratorsOnly(const std::string& folder) {
  BYTE buffer[1024];
  DWORD needed = 0;
  ASSERT_TRUE(GetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, buffer, sizeof(buffer),
                               &needed));
  BOOL present = FALSE, defaulted = FALSE;
  ACL* dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(buffer, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  BYTE system[SECURITY_MAX_SID_SIZE], administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(system);
  CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
  size = sizeof(administrators);
  CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
  BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  HANDLE token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
  CloseHandle(token);
  PSID self = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  ASSERT_EQ(2u, dacl->AceCount);
  bool systemAllowed = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    PSID sid = &ace->SidStart;
    systemAllowed |= EqualSid(sid, system) != 0;
    EXPECT_TRUE(EqualSid(sid, system) || EqualSid(sid, administrators) || EqualSid(sid, self))
        << "an entry for someone else";
  }
  EXPECT_TRUE(systemAllowed);
}

// Makes the drive root's security read as the text gives it (SDDL).
void ForgeRoot(const char* sddl) {
  static std::string text;
  static HANDLE root;
  text = sddl;
  root = nullptr;
  g_seam.OpenForSecurity = [](const char* path) {
    return root = PassThrough(g_seam.OpenForSecurity, &SysOpenForSecurity, path);
  };
  g_seam.GetSecurity = [](HANDLE file, void* buffer, DWORD size) -> BOOL {
    if (file != root) return PassThrough(g_seam.GetSecurity, &SysGetSecurity, file, buffer, size);
    PSECURITY_DESCRIPTOR forged;
    ULONG length;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                              &forged, &length) ||
        length > size)
      return FALSE;
    memcpy(buffer, forged, length);
    LocalFree(forged);
    return TRUE;
  };
}

// A file Windows will not delete now (a loaded DLL) is moved, through its handle, into a folder
// of the uninstaller's own at the root of the drive, made new with a protected DACL, and the file
// and then that folder are to be deleted at the next start of Windows; the install folder goes
// now. A name taken already, by a folder or a link anyone made, is never used. Where no name is
// free, the file system keeps no DACL, the drive's root lets others than administrators rename
// what is in it or is not a fixed drive, or the deletion at the restart cannot be asked for,
// the file stays where it is, and its folder with it, and no folder of the uninstaller's is
// left.
TEST_F(HeldFolder, MovesAFileInUseIntoAFolderOfItsOwnForTheRestart) {
  static std::string taken;  // the name the first try was given, made beforehand
  static std::vector<DWORD> controls;  // of the security each folder was made with
  // The first name the uninstaller tries is made by make before it gets to it.
  static bool (*makeTaken)(const std::string& path);
  static auto TakeFirstName = [](bool (*make)(const std::string& path)) {
    makeTaken = make;
    g_seam.CreateFolder = [](const WCHAR* path, void* security) {
      g_seam.CreateFolder = nullptr;
      char ansi[MAX_PATH];
      WideCharToMultiByte(CP_ACP, 0, path + 4, -1, ansi, MAX_PATH, nullptr, nullptr);
      taken = ansi;
      EXPECT_TRUE(makeTaken(taken));
      return SysCreateFolder(path, security);
    };
  };
  struct Case {
    const char* name;
    void (*install)();
    bool moved;
  } cases[] = {
      {"an ordinary machine", [] {}, true},
      {"the first name taken by a folder someone made",
       [] { TakeFirstName([](const std::string& path) {
              return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
            }); },
       true},
      {"the first name taken by a link to another folder",
       [] { TakeFirstName([](const std::string& path) { return MakeLink(path, Elsewhere()); }); },
       true},
      {"a drive root others may change", [] { ForgeRoot("O:BAD:(A;;FA;;;WD)"); }, false},
      {"a drive root someone else owns", [] { ForgeRoot("O:S-1-5-21-1-2-3-1001D:(A;;FA;;;SY)"); },
       false},
      {"a removable drive",
       [] {
         g_seam.GetDriveType = [](const char* root) -> UINT {
           return PassThrough(g_seam.GetDriveType, &SysGetDriveType, root) == DRIVE_FIXED
                      ? DRIVE_REMOVABLE
                      : DRIVE_UNKNOWN;
         };
       },
       false},
      {"the deletion at the restart refused",
       [] { g_seam.DeleteAtRestart = [](const WCHAR*) -> BOOL { return FALSE; }; }, false},
      {"every name taken",
       [] {
         g_seam.CreateFolder = [](const WCHAR*, void*) { return INVALID_HANDLE_VALUE; };
       },
       false},
      {"a file system that keeps no DACL",
       [] { g_seam.GetSecurity = [](HANDLE, void*, DWORD) -> BOOL { return FALSE; }; }, false},
  };
  const std::string drive = folder_.Root().substr(0, 2);
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    taken.clear();
    controls.clear();
    g_seam.CreateFolder = [](const WCHAR* path, void* security) {
      SECURITY_DESCRIPTOR_CONTROL control = 0;
      DWORD revision;
      GetSecurityDescriptorControl(security, &control, &revision);
      controls.push_back(control);
      return PassThrough(g_seam.CreateFolder, &SysCreateFolder, path, security);
    };
    std::vector<std::string> before = RestartFolders(drive);
    std::vector<std::string> made;
    {
      PendingDeletions pending;
      MappedImage image(Folder() + "\\tolsrv.dll");
      c.install();
      EXPECT_EQ(c.moved ? kRemovalDone : kRemovalPartial, Delete());
      for (const std::string& name : RestartFolders(drive))
        if (std::find(before.begin(), before.end(), name) == before.end() &&
            drive + "\\" + name != taken)
          made.push_back(drive + "\\" + name);
      EXPECT_NE(c.moved, Exists("Tolvane\\tolsrv.dll"));
      EXPECT_NE(c.moved, Exists("Tolvane"));
      EXPECT_FALSE(Exists("Tolvane\\a.dll"));
      EXPECT_TRUE(Whole("Other"));
      EXPECT_FALSE(folder_.Exists("Other\\tolsrv.dll"));
      if (!taken.empty())
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
                  GetFileAttributesA((taken + "\\tolsrv.dll").c_str()))
            << "a file went into " << taken;
      if (c.moved) {
        ASSERT_EQ(1u, made.size());
        EXPECT_NE(INVALID_FILE_ATTRIBUTES,
                  GetFileAttributesA((made[0] + "\\tolsrv.dll").c_str()));
        ExpectAdministratorsOnly(made[0]);
        for (DWORD control : controls)
          EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_PROTECTED,
                    control & (SE_DACL_PRESENT | SE_DACL_PROTECTED));
        EXPECT_EQ((std::vector<std::string>{"\\??\\" + made[0] + "\\tolsrv.dll", "",
                                             "\\??\\" + made[0], ""}),
                  pending.Added());
      } else {
        EXPECT_TRUE(made.empty()) << made[0];
        EXPECT_TRUE(pending.Added().empty());
      }
    }
    for (const std::string& folder : made) RemoveRestartFolder(folder);
    if (!taken.empty()) RunUnix("rmdir " + Quoted(taken) + " || rm " + Quoted(taken));
    FileCleanupTest::TearDown();
  }
}

// A hard link in the folder to a read-only file elsewhere (anyone may make one to a file they
// can read): attributes belong to the file, so they are not touched through the link, and the
// file it shares stays whole and read-only, wherever the link's name goes.
TEST_F(HeldFolder, LeavesTheAttributesOfAFileThatHasAnotherName) {
  const std::string drive = folder_.Root().substr(0, 2);
  std::vector<std::string> before = RestartFolders(drive);
  std::string shared = Elsewhere() + "\\c.txt";
  ASSERT_TRUE(SetFileAttributesA(shared.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateHardLinkA((Folder() + "\\shared.txt").c_str(), shared.c_str(), nullptr));
  {
    PendingDeletions pending;
    Delete();
    EXPECT_TRUE(GetFileAttributesA(shared.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Whole("Other"));
    EXPECT_FALSE(Exists("Tolvane\\a.dll"));
  }
  for (const std::string& name : RestartFolders(drive))
    if (std::find(before.begin(), before.end(), name) == before.end())
      RemoveRestartFolder(drive + "\\" + name);
  SetFileAttributesA(shared.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A read-only file loses that attribute and goes, through its handle or by its name; on the 9x
// family, which has no list of deletions at the next start, a file in use goes through
// WININIT.INI's [rename] section by its short name, after the lines other programs left there
// (WININIT.INI deletes no folders: the emptied folder stays).
TEST_F(HeldFolder, ReadOnlyFilesGoAndFilesInUseGoAtTheRestartByName) {
  const char kWininit[] = "WININIT.INI";
  struct Case {
    const char* name;
    bool ntdll;
    bool inUse;
  } cases[] = {
      {"read-only, through handles", true, false},
      {"read-only, by names", false, false},
      {"in use, by names", false, true},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    if (!c.ntdll) WithoutHandleCalls();
    ASSERT_TRUE(SetFileAttributesA((Folder() + "\\b.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    WritePrivateProfileStringA("rename", "C:\\other.new", "C:\\other.old", kWininit);
    {
      std::unique_ptr<MappedImage> image;
      if (c.inUse) image.reset(new MappedImage(Folder() + "\\tolsrv.dll"));
      EXPECT_EQ(c.inUse ? kRemovalPartial : kRemovalDone, Delete());
      EXPECT_FALSE(Exists("Tolvane\\b.exe"));
      EXPECT_EQ(c.inUse, Exists("Tolvane"));
    }
    char section[4096] = {};
    GetPrivateProfileSectionA("rename", section, sizeof(section), kWininit);
    std::vector<std::string> lines;
    for (const char* line = section; *line; line += strlen(line) + 1) lines.push_back(line);
    std::vector<std::string> expected = {"C:\\other.new=C:\\other.old"};
    if (c.inUse) {
      char file[MAX_PATH];
      ASSERT_TRUE(GetShortPathNameA((Folder() + "\\tolsrv.dll").c_str(), file, MAX_PATH));
      expected.push_back(std::string("NUL=") + file);
    }
    EXPECT_EQ(expected, lines);
    WritePrivateProfileSectionA("rename", nullptr, kWininit);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    DeleteFileA((std::string(windows) + "\\" + kWininit).c_str());
    FileCleanupTest::TearDown();
  }
}

}  // namespace
