// The recursive purge against Wine's real registry, in a sandbox key of the current user that
// each test deletes before and after itself. Faults Wine cannot produce (a denied open, an
// undeletable key, a failing query) come through the seam.
#include "registry/purge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry/registry_tree.h"
#include "support/seam_fixture.h"

namespace {

class Purge : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    Base() = std::string("Software\\TolvaneTest\\") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    DeleteTree(HKEY_CURRENT_USER, Base());
    g_purgeRoot = HKEY_CURRENT_USER;
  }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, Base());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TolvaneTest");  // only if nothing else is left
    g_purgeRoot = nullptr;
    SeamTest::TearDown();
  }
  // The sandbox key's path under HKEY_CURRENT_USER (static, for the stand-ins to see).
  static std::string& Base() {
    static std::string base;
    return base;
  }
};

TEST_F(Purge, EmptiesTheKeyAndRemovesEverythingBelowIt) {
  const std::string longName(300, 'n');
  struct Case {
    const char* name;
    Tree before, after;
  } cases[] = {
      {"empty key", {}, {}},
      {"values only, the default value included", {":=default", ":a=1", ":b="}, {}},
      {"three levels with values everywhere",
       {":top=0", "A:=a", "A:x=1", "A\\B:y=2", "A\\B\\C:=c", "A\\B\\C:z=3", "A\\B2", "D:w=4"},
       {}},
      {"data longer than 260 bytes",
       {":big=" + std::string(300, 'x'), ":small=s", "S:=" + std::string(1000, 'y'),
        "S\\T:big=" + std::string(5000, 'z')},
       {}},
      // A value name that does not fit the name buffer cannot be named to the deletion; it goes
      // with its key below the top, and stays at the top.
      {"value names longer than the name buffer",
       {":" + longName + "=kept", ":a=1", ":z=2", "S:" + longName + "=gone with S"},
       {":" + longName + "=kept"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BUILD_TREE(HKEY_CURRENT_USER, Base(), c.before);
    EXPECT_EQ(0, PurgeKey(Base().c_str()));
    EXPECT_TREE(HKEY_CURRENT_USER, Base(), c.after);
    DeleteTree(HKEY_CURRENT_USER, Base());
  }
}

// A child path is formed in a 260-byte buffer; one that does not fit is never cut short: that
// subkey is left whole, with everything below it, and the purge goes on with its siblings.
TEST_F(Purge, ChildPathsThatDoNotFitAreKeptWhole) {
  const size_t fits = 259 - Base().size() - 1;  // Base\name is 259 bytes, the most that fits
  ASSERT_LE(fits + 1, 255u);
  const std::string fitting(fits, 'f'), tooLong(fits + 1, 'l');
  const std::string a(100, 'a'), b(100, 'b'), c(100, 'c');
  BUILD_TREE(HKEY_CURRENT_USER, Base(),
             {":top=1", fitting + ":x=1", tooLong + ":v=2", tooLong + "\\Inner:y=3", "Short:z=4",
              a + ":a=1", a + "\\" + b + ":b=2", a + "\\" + b + "\\" + c + ":c=3"});
  PurgeKey(Base().c_str());
  // a\b fits and is emptied of its values; a\b\c does not fit, so a\b and a cannot go.
  EXPECT_TREE(HKEY_CURRENT_USER, Base(),
              {tooLong + ":v=2", tooLong + "\\Inner:y=3", a + "\\" + b + "\\" + c + ":c=3"});
}

TEST_F(Purge, LeavesAMissingKeyAndTheRootAlone) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {":v=1", "A:x=1"});
  static int deletions;
  deletions = 0;
  g_seam.RegDeleteKey = [](HKEY, const char*) -> LONG { return ++deletions, ERROR_ACCESS_DENIED; };
  g_seam.RegDeleteValue = [](HKEY, const char*) -> LONG { return ++deletions, ERROR_ACCESS_DENIED; };
  EXPECT_EQ(0, PurgeKey((Base() + "\\Missing").c_str()));
  EXPECT_EQ(0, PurgeKey((Base() + "\\A\\Missing\\Deeper").c_str()));
  // An empty path would name the root itself; the sandbox stands in as the root.
  HKEY sandbox;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Base().c_str(), 0, KEY_ALL_ACCESS,
                                         &sandbox));
  g_purgeRoot = sandbox;
  EXPECT_EQ(0, PurgeKey(""));
  EXPECT_EQ(0, PurgeKey(nullptr));
  RegCloseKey(sandbox);
  EXPECT_EQ(0, deletions);
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {":v=1", "A:x=1"});
}

// Every open is of the key itself, by full path under g_purgeRoot with full access; subkeys are
// enumerated through the key's own handle and deleted through a second one; every handle is
// closed.
TEST_F(Purge, DeletesSubkeysThroughASecondHandleAndClosesEveryHandle) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {"A\\B:x=1", "C"});
  static std::vector<HKEY> open, enumerated, deletedThrough;
  open.clear(), enumerated.clear(), deletedThrough.clear();
  g_seam.RegOpenKey = [](HKEY, const char* path, REGSAM, HKEY*) -> LONG {
    ADD_FAILURE() << "opened through a link, if it is one: " << path;
    return ERROR_ACCESS_DENIED;
  };
  g_seam.RegOpenKeyItself = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
    EXPECT_EQ(HKEY_CURRENT_USER, root);
    EXPECT_EQ(static_cast<REGSAM>(KEY_ALL_ACCESS), access);
    EXPECT_EQ(0u, std::string(path).find(Base())) << path;
    LONG result = RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, access, key);
    if (result == ERROR_SUCCESS) open.push_back(*key);
    return result;
  };
  g_seam.RegCloseKey = [](HKEY key) -> LONG {
    auto it = std::find(open.begin(), open.end(), key);
    EXPECT_NE(open.end(), it) << "closed a handle that is not open";
    if (it != open.end()) open.erase(it);
    return RegCloseKey(key);
  };
  g_seam.RegEnumKey = [](HKEY key, DWORD index, char* name, DWORD length) -> LONG {
    enumerated.push_back(key);
    return RegEnumKeyA(key, index, name, length);
  };
  g_seam.RegDeleteKey = [](HKEY key, const char* name) -> LONG {
    deletedThrough.push_back(key);
    EXPECT_EQ(enumerated.end(), std::find(enumerated.begin(), enumerated.end(), key)) << name;
    return RegDeleteKeyA(key, name);
  };
  PurgeKey(Base().c_str());
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {});
  EXPECT_EQ(3u, deletedThrough.size());
  EXPECT_TRUE(open.empty()) << open.size() << " handles left open";
}

// A link is never gone through: neither emptied nor deleted, whether it is the key purged, a key
// below it or a subkey removed by name (deleting a link by its name deletes what it leads to, as
// soon as that has no subkeys). The link stays, and so do the keys above it. Links above the
// purged key are followed, as Windows' own CurrentControlSet is.
TEST_F(Purge, NeverGoesThroughALink) {
  const Tree decoys = {"Decoy:d=1", "Decoy\\Sub:e=2", "Decoy\\Sub\\Deeper:f=3", "Lone:g=4"};
  struct Case {
    const char* name;
    Tree before;
    const char *link, *target;  // relative to the sandbox
    void (*act)();
    Tree after;
    bool decoysWhole;  // the decoys are part of after, too
  } cases[] = {
      {"a link below the purged key",
       {"Top:v=1", "Top\\A:x=1", "Top\\Mid:y=2", "Top\\Mid\\B:z=3"}, "Top\\Mid\\Link", "Decoy",
       [] { PurgeKey((Base() + "\\Top").c_str()); },
       {"Top\\Mid\\Link <link>"}, true},
      {"a link below the purged key, to a key without subkeys", {"Top\\A:x=1"}, "Top\\Link",
       "Lone", [] { PurgeKey((Base() + "\\Top").c_str()); }, {"Top\\Link <link>"}, true},
      {"the purged key is a link", {}, "Link", "Decoy",
       [] { PurgeKey((Base() + "\\Link").c_str()); }, {"Link <link>"}, true},
      {"a subkey removed by name is a link", {}, "Link", "Lone",
       [] {
         HKEY base;
         ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Base().c_str(), 0,
                                                KEY_ALL_ACCESS, &base));
         char child[MAX_PATH];
         EXPECT_EQ(0, RemoveSubkey(base, Base().c_str(), "Link", child, sizeof(child)));
         RegCloseKey(base);
       },
       {"Link <link>"}, true},
      {"a link above the purged key is followed", {}, "Link", "Decoy",
       [] { PurgeKey((Base() + "\\Link\\Sub").c_str()); },
       {"Link <link>", "Decoy:d=1", "Decoy\\Sub", "Lone:g=4"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BUILD_TREE(HKEY_CURRENT_USER, Base(), decoys);
    BUILD_TREE(HKEY_CURRENT_USER, Base(), c.before);
    MakeLink(HKEY_CURRENT_USER, Base() + "\\" + c.link, HKEY_CURRENT_USER,
             Base() + "\\" + c.target);
    c.act();
    Tree after = c.after;
    if (c.decoysWhole) after.insert(after.end(), decoys.begin(), decoys.end());
    EXPECT_TREE(HKEY_CURRENT_USER, Base(), after);
    DeleteTree(HKEY_CURRENT_USER, Base());
  }
}

// A value named like a link's target does not make a key a link.
TEST_F(Purge, PurgesAKeyThatOpensNormally) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(),
             {":SymbolicLinkValue=\\Registry\\Machine\\Software", "A:SymbolicLinkValue=x",
              "A\\B:y=1"});
  PurgeKey(Base().c_str());
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {});
}

// In code page 949 a Hangul syllable takes two bytes: a subkey name of 130 of them does not fit
// the 260-byte name buffer, and the enumeration reports ERROR_MORE_DATA. That subkey stays, like
// one that cannot be removed, and the purge goes on with the subkeys after it (Wine lists
// subkeys sorted by name: the long one comes between A and the short Hangul name).
TEST_F(Purge, StepsPastASubkeyWhoseNameDoesNotFit) {
  ASSERT_EQ(949u, GetACP());
  std::string longName;
  for (int i = 0; i < 130; ++i) longName += ToCp949(u8"가");
  const std::string later = ToCp949(u8"나");
  BUILD_TREE(HKEY_CURRENT_USER, Base(),
             {":v=1", "A:x=1", longName + ":y=2", longName + "\\Inner:z=3", later + ":w=4",
              later + "\\Deep:u=5"});
  PurgeKey(Base().c_str());
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {longName + ":y=2", longName + "\\Inner:z=3"});
}

std::wstring Wide(const std::string& ansi) {
  wchar_t wide[1024];
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, 1024);
  return n > 0 ? std::wstring(wide, n - 1) : std::wstring();
}

// A subkey name is used only when it names that one subkey. The conversion to code page 949 turns
// the won sign into '\' and a character the code page lacks into '?': "a₩Inner" would be opened
// as a\Inner, through a link a beside it, and empty and delete a key elsewhere.
TEST_F(Purge, SkipsSubkeyNamesTheConversionChanged) {
  ASSERT_EQ(949u, GetACP());
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {"Decoy\\Inner:d=1", "Decoy\\Inner\\Deep:e=2", "Top:v=1"});
  MakeLink(HKEY_CURRENT_USER, Base() + "\\Top\\a", HKEY_CURRENT_USER, Base() + "\\Decoy");
  const std::wstring top = Wide(Base() + "\\Top\\");
  for (const wchar_t* name : {L"a\x20A9Inner", L"x\x0100y"}) {  // won sign; A with macron
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (top + name).c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
  }
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {"Top\\b:w=1", "Top\\b\\c"});
  PurgeKey((Base() + "\\Top").c_str());
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Base() + "\\Decoy\\Inner\\Deep"));
  for (const wchar_t* name : {L"a\x20A9Inner", L"x\x0100y"}) {
    HKEY key;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, (top + name).c_str(), 0, KEY_READ,
                                           &key)) << "the key stays";
    RegCloseKey(key);
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Base() + "\\Top\\b"));
}

TEST(PlainKeyName, TellsNamesOfOneSubkey) {
  ASSERT_EQ(949u, GetACP());
  struct Case {
    std::string name;
    bool plain;
  } cases[] = {
      {"WarderNT", true},
      {ToCp949(u8"톨바네 설정"), true},
      {"Tolvane Lite (x86) {5A7D}", true},
      {"", false},
      {"a\\Inner", false},
      {"\\", false},
      {"a?b", false},
      {"ab\xB0", false},    // a lead byte without its trail byte
      {"a\xB0\\b", false},  // a lead byte with a backslash for its trail byte
  };
  for (const Case& c : cases) EXPECT_EQ(c.plain, IsPlainKeyName(c.name.c_str()) != 0) << c.name;
}

// The 9x family has no link keys, and its RegOpenKeyExA takes no options: there every key opens
// plainly, and the purge runs as ever.
TEST_F(Purge, OnThe9xFamilyKeysOpenPlainly) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {":v=1", "A:x=1", "A\\B\\C:y=2", "D"});
  g_purgeFamily = kFamily9x;
  g_seam.RegOpenKeyItself = [](HKEY, const char* path, REGSAM, HKEY*) -> LONG {
    ADD_FAILURE() << "opened with an option the 9x family does not know: " << path;
    return ERROR_INVALID_PARAMETER;
  };
  PurgeKey(Base().c_str());
  g_purgeFamily = kFamilyUnknown;
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {});
}

// Faults Wine cannot produce: the purge still ends, removes what it can and leaves the rest.
class PurgeFault : public Purge {
 protected:
  static int& Enumerations() {
    static int enumerations;
    return enumerations;
  }
  static int& TopOpens() {
    static int n;
    return n;
  }
  // Counts the opens of the sandbox key itself: the purge's own first, then the second handles.
  static int TopOpen(const char* path) { return Base() == path ? ++TopOpens() : 0; }
  void SetUp() override {
    Purge::SetUp();
    Handles() = {0, 0};
    Enumerations() = TopOpens() = 0;
    g_seam.RegOpenKeyItself = CountedOpenItself;
    g_seam.RegCloseKey = CountedClose;
    // Gives up after far more passes than the tree needs, so that a loop that would spin shows
    // as a failure instead of a hanging test.
    g_seam.RegEnumKey = [](HKEY key, DWORD index, char* name, DWORD length) -> LONG {
      if (++Enumerations() > 100) return ERROR_NO_MORE_ITEMS;
      return RegEnumKeyA(key, index, name, length);
    };
  }
};

TEST_F(PurgeFault, EndsAndLeavesWhatCannotBeRemoved) {
  const Tree before = {":v=1", "A:x=1", "A\\Deep:y=2", "B:z=3", "B\\Deep:w=4", "C:u=5"};
  struct Case {
    const char* name;
    void (*install)();
    Tree after;
  } cases[] = {
      {"subkey B cannot be deleted",
       [] {
         g_seam.RegDeleteKey = [](HKEY key, const char* name) -> LONG {
           return lstrcmpiA(name, "B") ? RegDeleteKeyA(key, name) : ERROR_ACCESS_DENIED;
         };
       },
       {"B"}},
      {"value v cannot be deleted",
       [] {
         g_seam.RegDeleteValue = [](HKEY key, const char* name) -> LONG {
           return lstrcmpiA(name, "v") ? RegDeleteValueA(key, name) : ERROR_ACCESS_DENIED;
         };
       },
       {":v=1"}},
      {"the second open of the top fails once (for A)",
       [] {
         g_seam.RegOpenKeyItself = [](HKEY root, const char* path, REGSAM access,
                                      HKEY* key) -> LONG {
           return TopOpen(path) == 2 ? ERROR_ACCESS_DENIED
                                     : CountedOpenItself(root, path, access, key);
         };
       },
       {"A:x=1", "A\\Deep:y=2"}},
      {"every second open of the top fails",
       [] {
         g_seam.RegOpenKeyItself = [](HKEY root, const char* path, REGSAM access,
                                      HKEY* key) -> LONG {
           return TopOpen(path) >= 2 ? ERROR_ACCESS_DENIED
                                     : CountedOpenItself(root, path, access, key);
         };
       },
       {"A:x=1", "A\\Deep:y=2", "B:z=3", "B\\Deep:w=4", "C:u=5"}},
      // Whether C is a link cannot be seen: deleting it by its name could delete what it leads
      // to, so it stays, although nothing below it would stop the deletion.
      {"subkey C cannot be opened",
       [] {
         g_seam.RegOpenKeyItself = [](HKEY root, const char* path, REGSAM access,
                                      HKEY* key) -> LONG {
           return Base() + "\\C" == path ? ERROR_ACCESS_DENIED
                                          : CountedOpenItself(root, path, access, key);
         };
       },
       {"C:u=5"}},
      {"the key-information query fails",
       [] {
         g_seam.RegQueryInfoKey = [](HKEY, DWORD*, DWORD*) -> LONG {
           return ERROR_ACCESS_DENIED;
         };
       },
       before},
      // Each pass gets as far as the count taken before: A three times, B and C never.
      {"a deletion reports success but the key stays",
       [] { g_seam.RegDeleteKey = [](HKEY, const char*) -> LONG { return ERROR_SUCCESS; }; },
       {"A\\Deep", "B:z=3", "B\\Deep:w=4", "C:u=5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();  // a clean seam and sandbox for each case
    BUILD_TREE(HKEY_CURRENT_USER, Base(), before);
    c.install();
    PurgeKey(Base().c_str());
    EXPECT_LE(Enumerations(), 100) << "the subkey loop does not end";
    EXPECT_EQ(Handles().opens, Handles().closes) << "every handle opened is closed";
    EXPECT_TREE(HKEY_CURRENT_USER, Base(), c.after);
    DeleteTree(HKEY_CURRENT_USER, Base());
  }
}

}  // namespace
