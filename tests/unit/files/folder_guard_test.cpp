// The install-folder guard: its judgement as one table against a fixed set of guarded folders,
// the names a folder search may return, where Windows says a folder really leads (with the
// answers Wine cannot give stood in), and the folders Wine names.
#include "files/folder_guard.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <string.h>

#include <string>
#include <vector>

#include "files/real_folder.h"
#include "files/test_folder.h"
#include "support/seam_fixture.h"

namespace {

const char* VerdictName(FolderVerdict verdict) {
  switch (verdict) {
    case kFolderAccepted: return "accepted";
    case kFolderRelative: return "relative";
    case kFolderRoot: return "root";
    case kFolderMalformed: return "malformed";
    case kFolderWellKnown: return "well-known";
    case kFolderSealed: return "sealed";
    case kFolderShare: return "share";
  }
  return "?";
}

struct Guarded : GuardedFolders {
  Guarded(const std::vector<std::string>& sealedFolders,
          const std::vector<std::string>& wellKnownFolders) {
    sealedCount = wellKnownCount = 0;
    for (const std::string& folder : sealedFolders) Add(sealed, &sealedCount, folder);
    for (const std::string& folder : wellKnownFolders) Add(wellKnown, &wellKnownCount, folder);
  }
  static void Add(PathBuffer* list, int* count, const std::string& folder) {
    EXPECT_LT(folder.size(), sizeof(PathBuffer));
    strcpy(list[(*count)++], folder.c_str());
  }
};

class FolderGuard : public SeamTest {};

TEST_F(FolderGuard, JudgesTheFolderByItsResolvedText) {
  // A Korean system's folders; "바탕 화면" is the desktop. "\x81\x61" is one cp949 character
  // whose trail byte is the letter a. The folder of all profiles is named as the one above the
  // user's profile, as CollectGuardedFolders names it.
  const std::string desktop = ToCp949(u8"C:\\Documents and Settings\\kim\\바탕 화면");
  Guarded guarded({"C:\\WINDOWS", "C:\\Documents and Settings\\kim\\.."},
                  {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files",
                   "C:\\Program Files\\Common Files", "C:\\Documents and Settings\\kim", desktop,
                   "C:\\Documents and Settings\\kim\\Local Settings\\Temp",
                   "\\\\server\\profiles\\kim", "C:\\Data\\\x81\x61", "relative\\x",
                   ToCp949(u8"C:\\Data\\Иван"), ToCp949(u8"D:\\Ελενη")});
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
      {"C:\\Documents and Settings2\\kim", kFolderAccepted},
      {"C:\\Program Files (x86)", kFolderAccepted},
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
      // The Windows folder, anything in it, and anything that holds it.
      {"C:\\WINDOWS", kFolderSealed},
      {"c:\\windows", kFolderSealed},
      {"C:\\Windows\\", kFolderSealed},
      {"C:\\WINDOWS\\SYSTEM32", kFolderSealed},
      {"c:\\windows\\system32\\\\", kFolderSealed},
      {"C:\\WINDOWS\\\\\\system32", kFolderSealed},
      {"C:/Windows/./System32/", kFolderSealed},
      {"C:\\Windows\\System32\\drivers\\..", kFolderSealed},
      {"C:\\Windows\\System32\\drivers", kFolderSealed},
      {"C:\\WINDOWS\\Temp\\Tolvane", kFolderSealed},
      {"C:\\Program Files\\..\\Windows\\Fonts\\Tolvane", kFolderSealed},
      {"C:\\Windows.", kFolderSealed},
      {"C:\\Windows.\\system32", kFolderSealed},
      {"C:\\Windows\\system32. .", kFolderSealed},
      // The folder of all profiles, every account's profile in it, and what lies in those.
      {"C:\\Documents and Settings", kFolderSealed},
      {"C:\\DOCUMENTS AND SETTINGS\\KIM\\", kFolderSealed},
      {"C:\\Documents and Settings\\alice\\Tolvane", kFolderSealed},
      {"C:\\Documents and Settings\\All Users\\Application Data\\Tolvane", kFolderSealed},
      {desktop, kFolderSealed},
      {desktop + "\\Tolvane\\..", kFolderSealed},
      {"C:\\Documents and Settings\\kim\\Local Settings", kFolderSealed},
      // The other well-known folders and folders that hold one.
      {"C:\\Program Files\\Brenlock\\Tolvane\\..\\..", kFolderWellKnown},
      {"C:\\PROGRAM FILES", kFolderWellKnown},
      // Double-byte characters are kept whole; letters of the code page, double-byte Cyrillic
      // and Greek ones too, are compared without regard to case.
      {"C:\\DATA\\\x81\x61", kFolderWellKnown},
      {"C:\\Data\\\x81\x41", kFolderAccepted},
      {ToCp949(u8"C:\\DATA\\ИВАН"), kFolderWellKnown},
      {ToCp949(u8"c:\\data\\иван\\Tolvane\\..\\"), kFolderWellKnown},
      {ToCp949(u8"C:\\Data\\Иванов"), kFolderAccepted},
      {ToCp949(u8"d:\\ΕΛΕΝΗ"), kFolderWellKnown},
      // Shares, whatever their folder: a share can name a local folder under another name.
      {"\\\\server\\share\\Tolvane", kFolderShare},
      {"//server/share/Tolvane", kFolderShare},
      {"\\\\SERVER\\Profiles\\KIM\\", kFolderShare},
      {"\\\\SERVER\\Profiles", kFolderRoot},
      // Not a plain folder path.
      {"C:\\Program Files\\Tolvane\\\xB0\\..\\..", kFolderMalformed},  // lead byte + '\'
      {"C:\\Program Files\\Tolvane\xB0", kFolderMalformed},           // lead byte at the end
      {"C:\\Windows::$INDEX_ALLOCATION", kFolderMalformed},
      {"C:\\Win*", kFolderMalformed},
      {"C:\\Program Files\\...", kFolderMalformed},
      {"C:\\Program Files\\ . ", kFolderMalformed},
      {"\\\\?\\C:\\Program Files\\Brenlock\\Tolvane", kFolderMalformed},
      {"\\\\.\\C:\\Program Files\\Brenlock\\Tolvane", kFolderMalformed},
      {"\\\\localhost\\C$\\Program Files\\Brenlock\\Tolvane", kFolderShare},
      {"\\\\server\\ADMIN$", kFolderShare},
      {"\\\\\\server\\share\\Tolvane", kFolderMalformed},
      {"\\\\server\\\\share\\Tolvane", kFolderMalformed},
      // Trailing dots and spaces as Windows resolves them: it drops those of the last name and
      // the one dot before a separator, and keeps any other ("C:\Windows \system32" is a
      // folder "Windows " that some file systems take for "Windows"): refused.
      {"C:\\Program Files\\Brenlock.\\Tolvane. . ", kFolderAccepted},
      {"C:\\Program Files\\Brenlock\\Tolvane.\\", kFolderAccepted},
      {"C:\\Program Files\\Brenlock \\Tolvane", kFolderMalformed},
      {"C:\\Program Files\\Brenlock..\\Tolvane", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\Tolvane \\", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\Tolvane \\.", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\Tolvane .\\..\\Tolvane", kFolderMalformed},
      {"C:\\Windows \\system32. .", kFolderMalformed},
      {"C:\\Windows..\\system32", kFolderMalformed},
      // Device names, in any folder, with any extension: Windows takes "C:\x\nul.txt" for the
      // null device.
      {"C:\\Program Files\\Brenlock\\CON", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\nul.txt", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\con .txt", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\Aux. ", kFolderMalformed},
      {"C:\\Program Files\\COM1\\Tolvane", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\lpt0", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\COM\xA9\xF6", kFolderMalformed},  // superscript 1
      {"C:\\Program Files\\Brenlock\\CONIN$", kFolderMalformed},
      {"C:\\Program Files\\Brenlock\\Console", kFolderAccepted},
      {"C:\\Program Files\\Brenlock\\COM10", kFolderAccepted},
      {"C:\\Program Files\\Brenlock\\NULL.txt", kFolderAccepted},
  };
  int index = 0;
  for (const Case& c : cases) {
    EXPECT_STREQ(VerdictName(c.verdict),
                 VerdictName(JudgeInstallFolder(c.folder.c_str(), &guarded)))
        << "case " << index << ": " << c.folder;
    ++index;
  }
}

// Names a folder search may hand back: only a plain name of one entry may be joined to the
// folder. Under code page 949 Windows returns the won sign as '\' and a character the code page
// lacks as '?'.
TEST_F(FolderGuard, TellsPlainEntryNames) {
  struct Case {
    std::string name;
    bool plain;
  } cases[] = {
      {"tolsrv.dll", true},
      {ToCp949(u8"톨바네 도움말.txt"), true},
      {".hidden", true},
      {"a b.c.d", true},
      {"\x81\x61", true},
      {"..\\..\\..\\windows\\system32\\x.dll", false},
      {"\\x.dll", false},
      {"a/b", false},
      {"C:x.dll", false},
      {"x.dll:stream", false},
      {"a?b", false},
      {"a*", false},
      {"a\tb", false},
      {"", false},
      {".", false},
      {"..", false},
      {"...", false},
      {"a\xB0", false},      // lead byte at the end
      {"\xB0\\x", false},    // lead byte + '\'
      // Windows drops what trails a name: ". ." and " .." would name the folder itself.
      {"a.", true},
      {"a ", true},
      {" ", false},
      {". .", false},
      {".. ", false},
      {" ..", false},
      // Devices, not entries of the folder.
      {"CON", false},
      {"nul.txt", false},
      {"Com9.dll", false},
      {"console.txt", true},
      {"COM10", true},
  };
  int index = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(c.plain, IsPlainEntryName(c.name.c_str()) != 0) << "case " << index << ": " << c.name;
    ++index;
  }
  // Wine itself: a file whose name holds won signs is listed with backslashes in their place.
  TestFolder folder;
  folder.MakeNamed("", L"..\x20A9..\x20A9windows\x20A9x.dll");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(folder.Path("*.dll").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  FindClose(search);
  EXPECT_STREQ("..\\..\\windows\\x.dll", found.cFileName);
  EXPECT_FALSE(IsPlainEntryName(found.cFileName));
}

// The canonical form itself, written only within the size it is given: a buffer too small for
// the form (down to none at all) gets no accepted form, and never a byte past its end.
TEST_F(FolderGuard, WritesTheCanonicalFormWithinItsBuffer) {
  struct Case {
    const char* path;
    FolderVerdict verdict;
    const char* form;  // for an accepted path, a root or an administrative share
  } cases[] = {
      {"C:\\Program Files\\Brenlock.\\Tolvane. ", kFolderAccepted,
       "c:\\program files\\brenlock\\tolvane"},
      {"c:/x//.\\y\\..\\Z", kFolderAccepted, "c:\\x\\z"},
      {"C:", kFolderRoot, "c:"},
      {"C:\\x\\..", kFolderRoot, "c:"},
      {"\\\\Server\\", kFolderRoot, "\\\\server"},
      {"\\\\server\\C$\\x", kFolderShare, "\\\\server\\c$"},
      {"C:x", kFolderRelative, ""},
      {"C:\\x\\nul", kFolderMalformed, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    PathBuffer form;
    memset(form, '#', sizeof(form));
    EXPECT_STREQ(VerdictName(c.verdict), VerdictName(Canonicalize(c.path, form, sizeof(form))));
    EXPECT_STREQ(c.form, form);
    // Every smaller buffer: the same answer once the whole path fits (the form is written
    // before what Windows drops is taken off), never another accepted form; the byte after the
    // buffer is never touched.
    for (int size = 0; size <= static_cast<int>(strlen(c.path)) + 1; ++size) {
      char buffer[kPathSize + 1];
      memset(buffer, '#', sizeof(buffer));
      FolderVerdict verdict = Canonicalize(c.path, buffer, size);
      EXPECT_EQ('#', buffer[size]) << size;
      if (size > 0) EXPECT_TRUE(memchr(buffer, 0, size)) << size;
      if (size > static_cast<int>(strlen(c.path))) {
        EXPECT_EQ(c.verdict, verdict) << size;
        EXPECT_STREQ(c.form, buffer) << size;
      } else if (verdict == kFolderAccepted) {
        EXPECT_STREQ(c.form, buffer) << size;
      }
      if (size <= static_cast<int>(strlen(c.form))) EXPECT_NE(kFolderAccepted, verdict) << size;
    }
  }
}

// Windows lowers a name through UTF-16: a call that fails changes nothing, and a sequence the
// code page does not define comes back shorter. Either way the name is not the one the file
// system sees, and nothing is accepted.
TEST_F(FolderGuard, RefusesWhatCannotBeLowered) {
  Guarded guarded({"C:\\WINDOWS"}, {"C:\\Program Files"});
  const char* folder = "C:\\Program Files\\Brenlock\\Tolvane";
  ASSERT_STREQ("accepted", VerdictName(JudgeInstallFolder(folder, &guarded)));
  g_seam.CharLowerBuff = [](char*, DWORD) -> DWORD { return 0; };
  EXPECT_STREQ("malformed", VerdictName(JudgeInstallFolder(folder, &guarded)));
  g_seam.CharLowerBuff = [](char* text, DWORD length) -> DWORD {
    return PassThrough(g_seam.CharLowerBuff, &SysCharLowerBuff, text, length) - 1;
  };
  EXPECT_STREQ("malformed", VerdictName(JudgeInstallFolder(folder, &guarded)));
  // Wine: a pair code page 949 does not define is lowered to one '?'.
  g_seam.CharLowerBuff = nullptr;
  EXPECT_STREQ("malformed",
               VerdictName(JudgeInstallFolder("C:\\Program Files\\\xC9\x41", &guarded)));
}

// The folders Windows names are compared as they are, whatever an install folder may hold: a
// profile whose name the code page cannot spell ('?') still has the folder of all profiles
// above it; a sealed root holds every folder on its drive; a relative folder names none; and one
// whose case cannot be folded could be any folder, so nothing is accepted.
TEST_F(FolderGuard, JudgesByEveryFolderWindowsNames) {
  Guarded guarded({"C:\\Documents and Settings\\?????\\..", "E:\\"},
                  {"C:\\Documents and Settings\\?????\\\xB9\xD9\xC5\xC1", "relative\\x",
                   "D:\\Data\\\xB0\\..\\Sub. \\"});
  struct Case {
    const char* folder;
    FolderVerdict verdict;
  } cases[] = {
      {"C:\\Documents and Settings\\kim\\Tolvane", kFolderSealed},
      {"C:\\Documents and Settings", kFolderSealed},
      {"C:\\Documents and Settings2\\Tolvane", kFolderAccepted},
      {"E:\\Tolvane", kFolderSealed},
      {"D:\\Data", kFolderWellKnown},
      {"D:\\Data\\Sub\\Tolvane", kFolderAccepted},
      {"C:\\Program Files\\Brenlock\\Tolvane", kFolderAccepted},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(VerdictName(c.verdict), VerdictName(JudgeInstallFolder(c.folder, &guarded)))
        << c.folder;
  g_seam.CharLowerBuff = [](char* text, DWORD length) -> DWORD {
    if (length == 4 && !memcmp(text, "Data", 4)) return 0;
    return PassThrough(g_seam.CharLowerBuff, &SysCharLowerBuff, text, length);
  };
  EXPECT_STREQ("well-known",
               VerdictName(JudgeInstallFolder("C:\\Program Files\\Tolvane", &guarded)));
}

// As Windows names them: a profile whose name code page 949 cannot spell comes back with '?'
// for each letter; where no variable names the public profile (the 9x family, Windows XP), the
// folder above that profile is still sealed.
TEST_F(FolderGuard, SealsTheProfilesAboveAnUnspellableProfile) {
  g_seam.GetSpecialFolderPath = [](char* buffer, int csidl) -> BOOL {
    if (csidl != CSIDL_PROFILE)
      return PassThrough(g_seam.GetSpecialFolderPath, &SysGetSpecialFolderPath, buffer, csidl);
    strcpy(buffer, "C:\\Documents and Settings\\?????");
    return TRUE;
  };
  g_seam.GetEnvironmentVariable = [](const char* name, char* buffer, DWORD size) -> DWORD {
    if (!strcmp(name, "USERPROFILE") || !strcmp(name, "PUBLIC")) return 0;
    return PassThrough(g_seam.GetEnvironmentVariable, &SysGetEnvironmentVariable, name, buffer,
                       size);
  };
  GuardedFolders guarded;
  ASSERT_TRUE(CollectGuardedFolders(&guarded));
  EXPECT_STREQ("sealed", VerdictName(JudgeInstallFolder(
                             "C:\\Documents and Settings\\kim\\Tolvane", &guarded)));
  EXPECT_STREQ("accepted", VerdictName(JudgeInstallFolder(
                               "C:\\Program Files\\Brenlock\\Tolvane", &guarded)));
}

// Where a folder really leads, as Wine tells it for real folders and short names, and with the
// answers Wine cannot give stood in: a folder on the path marked as a link (Wine's own links
// need a Unix symbolic link; the held-folder tests make real ones), a final path Windows gives
// for it, or none (a system without GetFinalPathNameByHandleW, or a link it cannot resolve).
class RealFolder : public SeamTest {
 protected:
  struct Answers {
    std::string linked;  // the folder reported as a link; "" for none
    const char* final;   // the final path answered; nullptr: Wine's own answer; "": no answer
    bool opens;          // whether the folder can be opened to ask
  };
  static Answers& Current() {
    static Answers answers;
    return answers;
  }
  void Answer(const Answers& answers) {
    Current() = answers;
    g_seam.FindFirstFile = [](const char* pattern, WIN32_FIND_DATAA* found) {
      HANDLE search = FindFirstFileA(pattern, found);
      if (search != INVALID_HANDLE_VALUE && !_stricmp(pattern, Current().linked.c_str()))
        found->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      return search;
    };
    g_seam.OpenForQuery = [](const char* path) {
      if (!Current().opens) return INVALID_HANDLE_VALUE;
      return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    g_seam.GetFinalPathWide = [](HANDLE file, WCHAR* buffer, DWORD size) -> DWORD {
      if (!Current().final) return GetFinalPathNameByHandleW(file, buffer, size, 0);
      std::wstring final = FromAnsi(Current().final);
      if (final.size() >= size) return final.size() + 1;
      wcscpy(buffer, final.c_str());
      return final.size();
    };
  }
};

TEST_F(RealFolder, TellsWhereAFolderReallyLeads) {
  TestFolder folder;
  folder.Make("Tolvane Program Folder\\");
  folder.Make("Tolvane Program Folder\\Sub\\");
  folder.Make("Tolvane Program Folder\\file.dll");
  const std::string real = folder.Path("Tolvane Program Folder");
  char path[MAX_PATH];
  ASSERT_TRUE(GetShortPathNameA(real.c_str(), path, sizeof(path)));
  const std::string shortForm = path;
  ASSERT_NE(real, shortForm);
  ASSERT_TRUE(GetShortPathNameA("C:\\Program Files", path, sizeof(path)));
  const std::string programFilesShort = path;
  ASSERT_NE("C:\\Program Files", programFilesShort);
  // One byte longer than a PathBuffer holds.
  const std::string tooLong = "\\\\?\\C:\\" + std::string(MAX_PATH - 7, 'x');

  struct Case {
    const char* name;
    std::string folder;
    Answers answers;
    std::string real;  // "": Windows cannot tell
  } cases[] = {
      {"a long name", real, {"", nullptr, true}, real},
      {"written otherwise", real + "\\Sub\\..\\\\", {"", nullptr, true}, real},
      {"a short name", shortForm, {"", nullptr, true}, real},
      {"a short name of a well-known folder", programFilesShort, {"", nullptr, true},
       "C:\\Program Files"},
      {"a folder below a short name", shortForm + "\\Sub", {"", nullptr, true}, real + "\\Sub"},
      {"a missing folder", real + "\\Missing", {"", nullptr, true}, ""},
      {"a file", real + "\\file.dll", {"", nullptr, true}, ""},
      {"a share", "\\\\server\\share\\Tolvane", {"", nullptr, true}, ""},
      {"a drive root", "C:\\", {"", nullptr, true}, ""},
      // No link on the path: Windows' answer counts where it has one (a drive letter can stand
      // for another folder or a share); without one, the long form.
      {"no link, no run-time function", real, {"", "", true}, real},
      {"no link, cannot be opened", real, {"", nullptr, false}, real},
      {"a drive for the system folder", real,
       {"", "\\\\?\\C:\\windows\\system32", true}, "C:\\windows\\system32"},
      {"a drive for a share", real, {"", "\\\\?\\UNC\\server\\share", true},
       "\\\\server\\share"},
      // A link on the path, resolved by Windows.
      {"a link, Wine's answer", real, {real, nullptr, true}, real},
      {"a link above", real + "\\Sub", {real, nullptr, true}, real + "\\Sub"},
      {"a link into the system", real,
       {real, "\\\\?\\C:\\windows\\system32", true}, "C:\\windows\\system32"},
      {"a link to a share", real,
       {real, "\\\\?\\UNC\\server\\share\\x", true}, "\\\\server\\share\\x"},
      // A link Windows cannot resolve.
      {"a link, no run-time function", real, {real, "", true}, ""},
      {"a link that cannot be opened", real, {real, nullptr, false}, ""},
      {"a link to a volume without a letter", real,
       {real, "\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x", true}, ""},
      {"a link to a name the conversion changed", real,
       {real, "\\\\?\\C:\\x\\..\\windows", true}, ""},
      {"a link to a name with a slash", real, {real, "\\\\?\\C:\\x/y", true}, ""},
      {"a final path too long", real, {real, tooLong.c_str(), true}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Answer(c.answers);
    PathBuffer found;
    memset(found, 0, sizeof(found));
    int known = FindRealFolder(c.folder.c_str(), found);
    EXPECT_EQ(!c.real.empty(), known != 0) << found;
    if (known) EXPECT_STREQ(c.real.c_str(), found);
  }
}

// The long form of a folder whose files are deleted: short names expanded, and no link anywhere
// on its path, whoever made it and wherever it leads.
TEST_F(RealFolder, FindsTheLongFormOnlyWithoutALink) {
  TestFolder folder;
  folder.Make("Tolvane Program Folder\\");
  folder.Make("Tolvane Program Folder\\Sub\\");
  folder.Make("Tolvane Program Folder\\file.dll");
  const std::string real = folder.Path("Tolvane Program Folder");
  char path[MAX_PATH];
  ASSERT_TRUE(GetShortPathNameA((real + "\\Sub").c_str(), path, sizeof(path)));
  const std::string shortForm = path;
  struct Case {
    const char* name;
    std::string folder, linked;
    std::string longForm;  // "": refused
  } cases[] = {
      {"a long name", real, "", real},
      {"written otherwise", real + "\\Sub\\..\\\\", "", real},
      {"a short name", shortForm, "", real + "\\Sub"},
      {"the folder is a link", real, real, ""},
      {"a link above", real + "\\Sub", real, ""},
      {"a missing folder", real + "\\Missing", "", ""},
      {"a file", real + "\\file.dll", "", ""},
      {"a share", "\\\\server\\share\\Tolvane", "", ""},
      {"a drive root", "C:\\", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Answer({c.linked, nullptr, true});
    PathBuffer found;
    memset(found, 0, sizeof(found));
    int known = FindLongForm(c.folder.c_str(), found);
    EXPECT_EQ(!c.longForm.empty(), known != 0) << found;
    if (known) EXPECT_STREQ(c.longForm.c_str(), found);
  }
}

// The folders Wine names: each of them, however written, short names included, is refused;
// so is any folder in another account's profile or in the Windows folder, and under Wine the
// temporary folder lies in the profile. The product's usual folder and a test folder at the top
// of the drive are not.
TEST_F(FolderGuard, RefusesTheFoldersWindowsNames) {
  GuardedFolders guarded;
  ASSERT_TRUE(CollectGuardedFolders(&guarded));
  auto judge = [&](const std::string& folder) {
    return std::string(VerdictName(JudgeInstallFolder(folder.c_str(), &guarded)));
  };
  // As the install folder is judged: its text, then its long form.
  auto mayEmpty = [&](const std::string& folder) {
    PathBuffer longForm;
    return judge(folder) == "accepted" && FindLongForm(folder.c_str(), longForm) &&
           judge(longForm) == "accepted";
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
    EXPECT_NE("accepted", judge(folder)) << folder;
    EXPECT_NE("accepted", judge(upper(folder) + "\\")) << folder;
    EXPECT_NE("accepted", judge(folder + "\\Tolvane\\..")) << folder;
    EXPECT_FALSE(mayEmpty(folder)) << folder;
    ASSERT_TRUE(GetShortPathNameA(folder.c_str(), path, sizeof(path))) << folder;
    EXPECT_FALSE(mayEmpty(path)) << path;
  }
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROFILE, FALSE));
  std::string users = std::string(path) + "\\..";
  EXPECT_EQ("sealed", judge(users));
  EXPECT_EQ("sealed", judge(users + "\\alice\\Tolvane"));
  EXPECT_EQ("sealed", judge(named[0] + "\\system32\\drivers"));
  EXPECT_EQ("accepted", judge("C:\\Program Files\\Brenlock\\Tolvane"));
  ASSERT_TRUE(GetTempPathA(sizeof(path), path));
  EXPECT_EQ("sealed", judge(std::string(path) + "Tolvane"));
  TestFolder folder;
  EXPECT_TRUE(mayEmpty(folder.Root())) << folder.Root();
}

// Folders named with letters outside ASCII, as an account name may be: a profile in a folder of
// profiles named in Cyrillic is refused however its letters are cased.
TEST_F(FolderGuard, RefusesAProfileNamedWithOtherLetters) {
  g_seam.GetSpecialFolderPath = [](char* buffer, int csidl) -> BOOL {
    if (csidl != CSIDL_PROFILE) return SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE);
    strcpy(buffer, ToCp949(u8"D:\\Профили\\Иван").c_str());
    return TRUE;
  };
  GuardedFolders guarded;
  ASSERT_TRUE(CollectGuardedFolders(&guarded));
  for (const char* folder : {u8"D:\\ПРОФИЛИ\\ИВАН", u8"d:\\профили\\мария\\Tolvane"}) {
    EXPECT_STREQ("sealed",
                 VerdictName(JudgeInstallFolder(ToCp949(folder).c_str(), &guarded)))
        << folder;
  }
  EXPECT_STREQ("accepted",
               VerdictName(JudgeInstallFolder(ToCp949(u8"D:\\Профили2\\Tolvane").c_str(),
                                              &guarded)));
}

// Without the Windows or the system directory the guard has nothing sound to judge by.
TEST_F(FolderGuard, CollectsNothingWithoutTheWindowsOrSystemDirectory) {
  GuardedFolders guarded;
  g_seam.GetWindowsDirectory = [](char*, UINT) -> UINT { return 0; };
  EXPECT_EQ(0, CollectGuardedFolders(&guarded));
  g_seam.GetWindowsDirectory = nullptr;
  g_seam.GetSystemDirectory = [](char*, UINT) -> UINT { return MAX_PATH + 1; };
  EXPECT_EQ(0, CollectGuardedFolders(&guarded));
}

// A folder Windows names that cannot be kept makes the whole collection fail, rather than leave
// the guard judging without it: a profile whose path fills MAX_PATH has no room for the "\.."
// that names the folder of all profiles.
TEST_F(FolderGuard, CollectsNothingWhenAFolderCannotBeKept) {
  g_seam.GetSpecialFolderPath = [](char* buffer, int csidl) -> BOOL {
    if (csidl != CSIDL_PROFILE) return SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE);
    std::string deep = "C:\\Users\\" + std::string(MAX_PATH - 12, 'u');
    strcpy(buffer, deep.c_str());
    return TRUE;
  };
  GuardedFolders guarded;
  EXPECT_EQ(0, CollectGuardedFolders(&guarded));
}

}  // namespace
