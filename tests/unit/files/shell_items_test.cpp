// The program group and desktop shortcut on real files. The shell's answers for the Programs and
// desktop folders (all users 23 and 25, current user 2 and 16) are pointed at test folders, or
// made to fail.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "files/files.h"
#include "files/files_fixture.h"

namespace {

const std::string kGroup = ToCp949(u8"톨바네");
const std::string kShortcut = kGroup + ".lnk";

class ShellItems : public FileCleanupTest {
 protected:
  // What the shell answers for each folder id; an id not listed fails.
  static std::map<int, std::string>& Answers() {
    static std::map<int, std::string> answers;
    return answers;
  }
  void SetUp() override {
    FileCleanupTest::SetUp();
    Answers().clear();
    g_seam.GetSpecialFolderPath = [](char* buffer, int csidl) -> BOOL {
      auto answer = Answers().find(csidl);
      if (answer == Answers().end()) return FALSE;
      strcpy(buffer, answer->second.c_str());
      return TRUE;
    };
    for (const char* made : {"common\\", "common\\Programs\\", "common\\Desktop\\", "user\\",
                             "user\\Programs\\", "user\\Desktop\\"})
      folder_.Make(made);
  }
  // Answers all four folders with the test's own.
  void AnswerAll() {
    Answers()[23] = folder_.Path("common\\Programs");
    Answers()[2] = folder_.Path("user\\Programs");
    Answers()[25] = folder_.Path("common\\Desktop");
    Answers()[16] = folder_.Path("user\\Desktop");
  }
  // A group with two shortcuts and a desktop shortcut, for "common" or "user".
  void Install(const std::string& owner) {
    folder_.Make(owner + "\\Programs\\" + kGroup + "\\");
    folder_.Make(owner + "\\Programs\\" + kGroup + "\\" + ToCp949(u8"톨바네 검사.lnk"));
    folder_.Make(owner + "\\Programs\\" + kGroup + "\\Uninstall.lnk");
    folder_.Make(owner + "\\Desktop\\" + kShortcut);
  }
  bool GroupExists(const std::string& owner) {
    return folder_.Exists(owner + "\\Programs\\" + kGroup);
  }
  bool ShortcutExists(const std::string& owner) {
    return folder_.Exists(owner + "\\Desktop\\" + kShortcut);
  }
};

// The all-users folders are preferred; the current user's items are then not looked at, and
// names that merely begin with the product's name are not the product's.
TEST_F(ShellItems, RemovesTheAllUsersGroupAndShortcutOnly) {
  Install("common");
  Install("user");
  const std::vector<std::string> lookAlikes = {
      "common\\Programs\\" + kGroup + " 2\\", "common\\Programs\\" + kGroup + " 2\\a.lnk",
      "common\\Programs\\" + kGroup + "X\\", "common\\Programs\\" + kGroup + "X\\a.lnk",
      "common\\Desktop\\" + kGroup + " 2.lnk", "common\\Desktop\\" + kGroup + ".lnk.bak"};
  for (const std::string& made : lookAlikes) folder_.Make(made);
  AnswerAll();
  RemoveShellItems();
  EXPECT_FALSE(GroupExists("common"));
  EXPECT_FALSE(ShortcutExists("common"));
  EXPECT_TRUE(folder_.Exists("user\\Programs\\" + kGroup + "\\Uninstall.lnk"));
  EXPECT_TRUE(ShortcutExists("user"));
  for (const std::string& path : lookAlikes) EXPECT_TRUE(folder_.Exists(path)) << path;
}

// The current user's folders stand in for each all-users folder Windows cannot name (a failed
// answer, or an empty one); with neither, that item is skipped.
TEST_F(ShellItems, FallsBackToTheCurrentUsersFolders) {
  struct Case {
    const char* name;
    std::vector<int> failing;  // ids answered with failure
    std::vector<int> empty;    // ids answered with an empty path
    bool commonGroupGone, userGroupGone, commonShortcutGone, userShortcutGone;
  } cases[] = {
      {"all-users Programs unknown", {23}, {}, false, true, true, false},
      {"all-users desktop unknown", {25}, {}, true, false, false, true},
      {"all-users folders empty", {}, {23, 25}, false, true, false, true},
      {"no Programs folder at all", {23, 2}, {}, false, false, true, false},
      {"no desktop folder at all", {25, 16}, {}, true, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Install("common");
    Install("user");
    AnswerAll();
    for (int id : c.failing) Answers().erase(id);
    for (int id : c.empty) Answers()[id] = "";
    RemoveShellItems();
    EXPECT_EQ(c.commonGroupGone, !GroupExists("common"));
    EXPECT_EQ(c.userGroupGone, !GroupExists("user"));
    EXPECT_EQ(c.commonShortcutGone, !ShortcutExists("common"));
    EXPECT_EQ(c.userShortcutGone, !ShortcutExists("user"));
    for (const char* owner : {"common", "user"}) {
      std::string group = std::string(owner) + "\\Programs\\" + kGroup;
      for (const std::string& file : {ToCp949(u8"톨바네 검사.lnk"), std::string("Uninstall.lnk")})
        DeleteFileA(folder_.Path(group + "\\" + file).c_str());
      RemoveDirectoryA(folder_.Path(group).c_str());
      DeleteFileA(folder_.Path(std::string(owner) + "\\Desktop\\" + kShortcut).c_str());
    }
  }
}

// One level of the group is deleted: a nested folder keeps its shortcuts, and the group stays.
TEST_F(ShellItems, LeavesANestedFolderOfTheGroup) {
  Install("common");
  folder_.Make("common\\Programs\\" + kGroup + "\\Tools\\");
  folder_.Make("common\\Programs\\" + kGroup + "\\Tools\\a.lnk");
  AnswerAll();
  RemoveShellItems();
  EXPECT_TRUE(folder_.Exists("common\\Programs\\" + kGroup + "\\Tools\\a.lnk"));
  EXPECT_FALSE(folder_.Exists("common\\Programs\\" + kGroup + "\\Uninstall.lnk"));
  EXPECT_TRUE(GroupExists("common"));
  EXPECT_FALSE(ShortcutExists("common"));
}

// A file that has the group's name cannot be searched as a folder: the scan stops there, the
// file stays, and the desktop shortcut is still removed.
TEST_F(ShellItems, AFileNamedLikeTheGroupStopsTheScan) {
  folder_.Make("common\\Programs\\" + kGroup);
  folder_.Make("common\\Programs\\zz.lnk");
  folder_.Make("common\\Desktop\\" + kShortcut);
  AnswerAll();
  RemoveShellItems();
  EXPECT_TRUE(folder_.Exists("common\\Programs\\" + kGroup));
  EXPECT_TRUE(folder_.Exists("common\\Programs\\zz.lnk"));
  EXPECT_FALSE(ShortcutExists("common"));
  EXPECT_EQ(std::vector<std::string>{folder_.Path("common\\Desktop\\" + kShortcut)}, Calls());
}

// A shortcut in the group whose path does not fit 260 bytes goes too: it is opened by its name
// relative to the held group, never by a path cut short.
TEST_F(ShellItems, RemovesAGroupEntryWhosePathIsLongerThanAPathBuffer) {
  std::string programs = "common\\Programs";
  while (folder_.Path(programs).size() < 190) {
    programs += "\\deeper";
    folder_.Make(programs + "\\");
  }
  std::string group = programs + "\\" + kGroup;
  folder_.Make(group + "\\");
  std::string longName(259 - folder_.Path(group).size(), 'n');  // one byte too many
  folder_.Make(group + "\\" + longName);
  folder_.Make(group + "\\a.lnk");
  RemoveProgramGroup(folder_.Path(programs).c_str());
  EXPECT_FALSE(folder_.Exists(group + "\\" + longName));
  EXPECT_FALSE(folder_.Exists(group));
}

// A group entry that is a link (Wine's need a Unix symbolic link, so the attribute is stood in)
// is not entered: its files stay, and the desktop shortcut is still removed.
TEST_F(ShellItems, DoesNotEnterAGroupThatIsALink) {
  Install("common");
  g_seam.FindNextFile = [](HANDLE search, WIN32_FIND_DATAA* found) {
    BOOL more = FindNextFileA(search, found);
    if (more && found->cFileName == kGroup) found->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return more;
  };
  AnswerAll();
  RemoveShellItems();
  EXPECT_TRUE(folder_.Exists("common\\Programs\\" + kGroup + "\\Uninstall.lnk"));
  EXPECT_EQ(std::vector<std::string>{folder_.Path("common\\Desktop\\" + kShortcut)}, Calls());
}

// Names in the group that the conversion to code page 949 turns into paths (the won sign
// becomes '\') are skipped: the current user's shortcut they spell stays.
TEST_F(ShellItems, SkipsAGroupNameThatTurnsIntoAPath) {
  Install("common");
  Install("user");
  folder_.MakeNamed("common\\Programs\\" + kGroup, L"..\x20A9..\x20A9..\x20A9user\x20A9"
                                                    L"Desktop\x20A9\xD1A8\xBC14\xB124"
                                                    L".lnk");
  AnswerAll();
  RemoveShellItems();
  EXPECT_TRUE(ShortcutExists("user"));
  EXPECT_FALSE(ShortcutExists("common"));
  EXPECT_FALSE(folder_.Exists("common\\Programs\\" + kGroup + "\\Uninstall.lnk"));
  EXPECT_FALSE(GroupExists("common"));
}

}  // namespace
