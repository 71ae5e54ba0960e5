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
       // Under Wine the held folder's files are then not proven to be what was listed: they
       // stay for good, and the record of the folder with them.
       kRemovalFilesStay, true},
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
  // The links and moved folders, removed from the Unix side, which follows no link: a second run
  // on the same prefix starts from nothing.
  EXPECT_TRUE(RunUnix("rm -rf " + Quoted(folder_.Root())));
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
      // It is there (another program has it open without sharing): its files stay for good.
      {"the listing fails after its first part",
       [] {
         g_seam.ReadFolderEntries = [](HANDLE folder, void* buffer, DWORD size,
                                       int restart) -> int {
           if (!restart) return -1;
           // Only the first record, "." as Wine lists it, then a failure.
           int got = PassThrough(g_seam.ReadFolderEntries, &SysReadFolderEntries, folder, buffer,
                                 size, restart);
           memset(buffer, 0, sizeof(DWORD));
           return got;
         };
       },
       {}, kRemovalFilesStay, false},
      {"the folder cannot be held",
       [] { g_seam.HoldFolder = [](const char*) { return INVALID_HANDLE_VALUE; }; }, {},
       kRemovalFilesStay, false},
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

// The SID of the user the test runs as, in SDDL ("S-1-5-21-...").
std::string UserSid() {
  BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  DWORD size = 0;
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  BOOL read = GetTokenInformation(token, TokenUser, user, sizeof(user), &size);
  CloseHandle(token);
  char* text = nullptr;
  if (!read || !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text))
    return "";
  std::string result = text;
  LocalFree(text);
  return result;
}

// The owner this system shows for a folder made as the Administrators' (Wine: its one user),
// learned as the uninstaller learns it.
std::vector<BYTE> ShownAdministrators() {
  std::string folder = "C:\\tolvane_unit_files\\shown owner";
  PSECURITY_DESCRIPTOR made = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)",
                                                       SDDL_REVISION_1, &made, nullptr);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), made, FALSE};
  CreateDirectoryA(folder.c_str(), &attributes);
  LocalFree(made);
  BYTE buffer[1024];
  DWORD needed = 0;
  PSID owner = nullptr;
  BOOL defaulted;
  std::vector<BYTE> shown;
  if (GetFileSecurityA(folder.c_str(), OWNER_SECURITY_INFORMATION, buffer, sizeof(buffer),
                       &needed) &&
      GetSecurityDescriptorOwner(buffer, &owner, &defaulted) && owner)
    shown.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
  RemoveDirectoryA(folder.c_str());
  return shown;
}

// The DACL read back from the folder allows SYSTEM and Administrators alone, or the owner this
// system shows for the Administrators (Wine reads back its own user in Administrators' place,
// and not the protection from inheritance, which the security the folder was made with is
// checked for).
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
  std::vector<BYTE> shown = ShownAdministrators();
  ASSERT_FALSE(shown.empty());
  ASSERT_EQ(2u, dacl->AceCount);
  bool systemAllowed = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    PSID sid = &ace->SidStart;
    systemAllowed |= EqualSid(sid, system) != 0;
    EXPECT_TRUE(EqualSid(sid, system) || EqualSid(sid, administrators) ||
                EqualSid(sid, shown.data()))
        << "an entry for someone else";
  }
  EXPECT_TRUE(systemAllowed);
}

// The identity (volume and file index) of the file or folder at path; zeros where it is not.
BY_HANDLE_FILE_INFORMATION IdentityOf(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION information = {};
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return information;
  GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  return information;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& two) {
  return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
         one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow &&
         (one.nFileIndexHigh || one.nFileIndexLow);
}

// How Windows shows the restart folder the uninstaller makes: owned by Administrators, with the
// entries it was made with; and a system drive's root as Windows sets it up: owned by
// TrustedInstaller, Authenticated Users may make folders in it.
const char kWindowsOwnFolder[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const char kWindowsRoot[] =
    "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
    "D:(A;;FA;;;SY)(A;;FA;;;BA)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;BU)(A;;0x100004;;;AU)"
    "(A;OICIIO;SDGXGWGR;;;AU)";

// Makes the security of the drive's root, of the folders of the uninstaller's own at the root,
// and of the files and folders at the paths of others read as the texts give them (SDDL; null:
// as Wine shows it). Each is told by the identity of the handle asked about, never by its
// number: a closed handle's number is soon another's.
void Forge(const char* root, const char* own,
           const std::vector<std::pair<std::string, std::string>>& others = {}) {
  static std::vector<std::pair<BY_HANDLE_FILE_INFORMATION, std::string>> forged;
  static std::string ownText;
  forged.clear();
  if (root) forged.push_back({IdentityOf("C:\\"), root});
  for (const auto& other : others) forged.push_back({IdentityOf(other.first), other.second});
  ownText = own ? own : "";
  g_seam.GetSecurity = [](HANDLE file, void* buffer, DWORD size) -> BOOL {
    BY_HANDLE_FILE_INFORMATION information = {};
    GetFileInformationByHandle(file, &information);
    WCHAR final[MAX_PATH + 8] = {};
    GetFinalPathNameByHandleW(file, final, MAX_PATH + 8, 0);
    std::string text;
    if (wcsstr(final, L":\\TolvaneUninstall.") != nullptr) text = ownText;
    for (const auto& one : forged)
      if (SameIdentity(information, one.first)) text = one.second;
    if (text.empty()) return PassThrough(g_seam.GetSecurity, &SysGetSecurity, file, buffer, size);
    PSECURITY_DESCRIPTOR made;
    ULONG length;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                              &made, &length))
      return FALSE;
    BOOL fits = length <= size;
    if (fits) memcpy(buffer, made, length);
    LocalFree(made);
    return fits;
  };
}
void ForgeRoot(const char* sddl) { Forge(sddl, nullptr); }

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
      {"a drive root as Windows sets it up", [] { Forge(kWindowsRoot, kWindowsOwnFolder); },
       true},
      {"a drive root the running user owns (taken over)",
       [] {
         static std::string root;
         root = "O:" + UserSid() + "D:(A;OICI;FA;;;" + UserSid() + ")(A;;FA;;;SY)";
         Forge(root.c_str(), kWindowsOwnFolder);
       },
       false},
      {"a drive root that lets the running user delete what is in it",
       [] {
         static std::string root;
         root = "O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x100040;;;" + UserSid() + ")";
         Forge(root.c_str(), kWindowsOwnFolder);
       },
       false},
      {"a drive root that lets Users delete what is in it",
       [] { ForgeRoot("O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x100040;;;BU)"); }, false},
      {"a drive root that lets Authenticated Users change its DACL",
       [] { ForgeRoot("O:SYD:(A;;FA;;;SY)(A;;WD;;;AU)"); }, false},
      {"a drive root that denies others and passes rights on only",
       [] { ForgeRoot("O:SYD:(D;;FA;;;WD)(A;;FA;;;SY)(A;OICIIO;FA;;;BU)"); }, true},
      {"the restart folder reads back with an entry it was not made with",
       [] {
         Forge(kWindowsRoot, "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;ID;0x1200a9;;;BU)");
       },
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
      EXPECT_EQ(c.moved ? kRemovalDone : kRemovalFilesStay, Delete());
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

// A file held open without delete sharing (a component's log) can be neither deleted nor moved:
// it goes at the restart where it stands, and the folder after it, where every folder from the
// drive's root down is the administrators' alone, or the volume is a fixed one that keeps no ACLs
// and has no links; anywhere else it stays for good, and nothing is asked of the restart.
TEST_F(HeldFolder, DeletesAFileHeldOpenWhereItStandsOnlyWhereAdministratorsAloneCanSteerIt) {
  struct Case {
    const char* name;
    void (*install)();
    bool inPlace;
  } cases[] = {
      {"every folder on the path the administrators'", [] {}, true},
      {"the install folder others may change",
       [] { Forge(nullptr, nullptr, {{Folder(), "O:BAD:(A;;FA;;;SY)(A;;0x1301ff;;;WD)"}}); },
       false},
      {"the install folder others may add to",
       [] { Forge(nullptr, nullptr, {{Folder(), "O:BAD:(A;;FA;;;SY)(A;;0x100006;;;BU)"}}); },
       false},
      {"the install folder others may make a junction",
       [] { Forge(nullptr, nullptr, {{Folder(), "O:BAD:(A;;FA;;;SY)(A;;0x100100;;;BU)"}}); },
       false},
      {"a folder above it others may add to",
       [] {
         Forge(nullptr, nullptr,
               {{Folder() + "\\..", "O:BAD:(A;;FA;;;SY)(A;;0x100006;;;BU)"}});
       },
       true},
      {"the log someone else owns",
       [] {
         Forge(nullptr, nullptr,
               {{Folder() + "\\tolvane.log", "O:S-1-5-21-1-2-3-1001D:(A;;FA;;;SY)"}});
       },
       false},
      {"the log others may delete",
       [] { Forge(nullptr, nullptr, {{Folder() + "\\tolvane.log", "O:BAD:(A;;SD;;;BU)"}}); },
       false},
      {"on Windows, administrators shown as such",
       [] { Forge(kWindowsRoot, kWindowsOwnFolder,
                  {{Folder(), "O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)"},
                   {Folder() + "\\..", "O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)"},
                   {Folder() + "\\..\\..", "O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)"},
                   {Folder() + "\\..\\..\\..", "O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)"},
                   {Folder() + "\\tolvane.log", "O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)"}}); },
       true},
      {"folders the running user owns, where administrators show as such",
       [] { Forge(nullptr, kWindowsOwnFolder); }, false},
      {"a fixed volume without ACLs and links",
       [] {
         ForgeRoot("O:BAD:(A;;FA;;;WD)");
         g_seam.GetVolumeFlags = [](const char*, DWORD* flags) -> BOOL {
           *flags = FILE_CASE_PRESERVED_NAMES;
           return TRUE;
         };
       },
       true},
      {"a removable volume without ACLs and links",
       [] {
         g_seam.GetVolumeFlags = [](const char*, DWORD* flags) -> BOOL {
           *flags = FILE_CASE_PRESERVED_NAMES;
           return TRUE;
         };
         g_seam.GetDriveType = [](const char*) -> UINT { return DRIVE_REMOVABLE; };
       },
       false},
  };
  const std::string drive = folder_.Root().substr(0, 2);
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    std::vector<std::string> before = RestartFolders(drive);
    {
      PendingDeletions pending;
      HANDLE log = CreateFileA((Folder() + "\\tolvane.log").c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, log);
      c.install();
      EXPECT_EQ(c.inPlace ? kRemovalDone : kRemovalFilesStay, Delete());
      CloseHandle(log);
      EXPECT_TRUE(Exists("Tolvane\\tolvane.log"));
      EXPECT_FALSE(Exists("Tolvane\\a.dll"));
      EXPECT_TRUE(Whole("Other"));
      std::vector<std::string> expected;
      if (c.inPlace)
        expected = {"\\??\\" + Folder() + "\\tolvane.log", "", "\\??\\" + Folder(), ""};
      EXPECT_EQ(expected, pending.Added());
    }
    EXPECT_EQ(before, RestartFolders(drive)) << "a folder of the uninstaller's left";
    FileCleanupTest::TearDown();
  }
}

// The restart folder's own deletion is asked for as soon as it holds a file, and again after
// each further one: a failure or a crash halfway leaves no folder for good. A moved file is
// given the Administrators as owner and their DACL only once it is in their folder; where that
// fails it goes back as it was (and then at the restart where it stands, its path being the
// administrators'). A folder a deletion names is never removed early: its name stays taken.
TEST_F(HeldFolder, AsksForTheRestartFolderAsSoonAsItHoldsAFile) {
  static std::vector<std::string> steps;
  static int allowed;
  static bool refuseBack;  // a move back into the install folder fails
  struct Case {
    const char* name;
    void (*install)();
    FolderRemoval result;
    std::vector<std::string> steps;
    std::vector<std::string> inOwn;  // the files in the folder of the uninstaller's own
  } cases[] = {
      {"every file moved", [] {}, kRemovalDone,
       {"move p.dll", "restart p.dll", "secure", "restart folder", "move q.dll",
        "restart q.dll", "secure", "restart folder"},
       {"p.dll", "q.dll"}},
      {"the restart refused after the first file",
       [] { allowed = 2; }, kRemovalFilesStay,
       {"move p.dll", "restart p.dll", "secure", "restart folder", "move q.dll",
        "refused q.dll", "move q.dll back", "refused q.dll"},
       {"p.dll"}},
      {"the moved file's owner refused, and the way back",
       [] {
         g_seam.SetSecurity = [](HANDLE, const void*) -> BOOL {
           steps.push_back("refused owner");
           return FALSE;
         };
         allowed = 1000;
         refuseBack = true;
       },
       kRemovalFilesStay,
       {"move p.dll", "restart p.dll", "refused owner", "move p.dll back", "restart folder",
        "move q.dll", "restart q.dll", "refused owner", "move q.dll back", "restart folder"},
       {"p.dll", "q.dll"}},
      {"the moved file's owner refused",
       [] { g_seam.SetSecurity = [](HANDLE, const void*) -> BOOL {
              steps.push_back("refused owner");
              return FALSE;
            }; },
       kRemovalDone,
       {"move p.dll", "restart p.dll", "refused owner", "move p.dll back", "restart folder",
        "restart p.dll", "move q.dll", "restart q.dll", "refused owner", "move q.dll back",
        "restart folder", "restart q.dll", "restart Tolvane"},
       {}},
  };
  const std::string drive = folder_.Root().substr(0, 2);
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileCleanupTest::SetUp();
    Prepare("case" + std::to_string(index++));
    steps.clear();
    allowed = 1000;
    refuseBack = false;
    std::vector<std::string> before = RestartFolders(drive);
    g_seam.MoveInto = [](HANDLE file, HANDLE into, const WCHAR* name, int length) -> BOOL {
      BY_HANDLE_FILE_INFORMATION information = {};
      GetFileInformationByHandle(into, &information);
      bool back = SameIdentity(information, IdentityOf(Folder()));
      steps.push_back("move " + std::string(name, name + length) + (back ? " back" : ""));
      if (back && refuseBack) return FALSE;
      return PassThrough(g_seam.MoveInto, &SysMoveInto, file, into, name, length);
    };
    g_seam.SetSecurity = g_seam.SetSecurity ? g_seam.SetSecurity
                                            : [](HANDLE file, const void* security) -> BOOL {
      PSID owner = nullptr;
      BOOL defaulted;
      EXPECT_TRUE(GetSecurityDescriptorOwner(const_cast<void*>(security), &owner, &defaulted));
      EXPECT_TRUE(owner && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
      steps.push_back("secure");
      return PassThrough(g_seam.SetSecurity, &SysSetSecurity, file, security);
    };
    g_seam.DeleteAtRestart = [](const WCHAR* path) -> BOOL {
      std::wstring wide(path);
      std::string last(wide.begin() + wide.rfind(L'\\') + 1, wide.end());
      bool folder = last.rfind("TolvaneUninstall.", 0) == 0;
      bool ok = allowed-- > 0;
      steps.push_back(std::string(ok ? "restart " : "refused ") + (folder ? "folder" : last));
      return ok && PassThrough(g_seam.DeleteAtRestart, &SysDeleteAtRestart, path);
    };
    std::vector<std::string> made;
    {
      PendingDeletions pending;
      MappedImage p(Folder() + "\\p.dll"), q(Folder() + "\\q.dll");
      c.install();
      EXPECT_EQ(c.result, Delete());
      EXPECT_EQ(c.steps, steps);
      for (const std::string& name : RestartFolders(drive))
        if (std::find(before.begin(), before.end(), name) == before.end())
          made.push_back(drive + "\\" + name);
      ASSERT_EQ(1u, made.size()) << "named by a deletion, the folder stays until the restart";
      for (const char* name : {"p.dll", "q.dll"}) {
        bool moved = std::find(c.inOwn.begin(), c.inOwn.end(), name) != c.inOwn.end();
        EXPECT_EQ(moved, GetFileAttributesA((made[0] + "\\" + name).c_str()) !=
                             INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_NE(moved, Exists(std::string("Tolvane\\") + name)) << name;
      }
    }
    for (const std::string& folder : made) RemoveRestartFolder(folder);
    FileCleanupTest::TearDown();
  }
}

// An entry that is a link by its own handle (Windows opens a link itself; Wine opens what it
// leads to, so the seam says so) goes through that handle as any entry, but is never moved for
// the restart nor named there: a link in use stays, and so does the record of the folder.
TEST_F(HeldFolder, ALinkGoesItselfButNeverWaitsForTheRestart) {
  g_seam.GetFileInformation = [](HANDLE file, BY_HANDLE_FILE_INFORMATION* information) -> BOOL {
    BOOL known = GetFileInformationByHandle(file, information);
    if (known && !(information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return known;
  };
  const std::string drive = folder_.Root().substr(0, 2);
  std::vector<std::string> before = RestartFolders(drive);
  {
    PendingDeletions pending;
    MappedImage image(Folder() + "\\tolsrv.dll");
    EXPECT_EQ(kRemovalFilesStay, Delete());
    EXPECT_FALSE(Exists("Tolvane\\a.dll"));
    EXPECT_TRUE(Exists("Tolvane\\tolsrv.dll"));
    EXPECT_TRUE(pending.Added().empty());
  }
  EXPECT_EQ(before, RestartFolders(drive));
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
