// The recursive purge against Wine's real registry, in a sandbox key of the current user that
// each test deletes before and after itself. Faults Wine cannot produce (a denied open, an
// undeletable key, a failing query) come through the seam.
#include "registry/purge.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "registry/registry_tree.h"
#include "support/seam_fixture.h"

namespace {

const char kSandbox[] = "Software\\TolvaneTest";

class Purge : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    Name() = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Base() = std::string(kSandbox) + "\\" + Name();
    DeleteTree(HKEY_CURRENT_USER, Base());
  }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, Base());
    RegDeleteKeyA(HKEY_CURRENT_USER, kSandbox);  // only if nothing else is left
    SeamTest::TearDown();
  }
  // The test's own key: its name below the sandbox, and its path under HKEY_CURRENT_USER (static,
  // for the stand-ins to see).
  static std::string& Name() {
    static std::string name;
    return name;
  }
  static std::string& Base() {
    static std::string base;
    return base;
  }
  // Opens the key at relative below the test's key ("" for that key itself) as the cleanup opens
  // the product's keys, the sandbox as Windows gives it and the rest as itself, and purges it.
  static void PurgeAt(const std::string& relative, WindowsFamily family = kFamilyNt,
                      int depth = kMaxPurgeDepth) {
    HKEY sandbox, key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, kSandbox, 0, KEY_ALL_ACCESS, &sandbox));
    std::string own = Name() + (relative.empty() ? "" : "\\" + relative);
    if (OpenOwnKey(sandbox, own.c_str(), family, &key)) {
      PurgeKey(key, family, depth);
      SysRegCloseKey(key);
    }
    RegCloseKey(sandbox);
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
    PurgeAt("");
    EXPECT_TREE(HKEY_CURRENT_USER, Base(), c.after);
    DeleteTree(HKEY_CURRENT_USER, Base());
  }
}

// The purge enters at most as many levels as it is given: deeper keys stay whole, and so do the
// keys above them.
TEST_F(Purge, EntersNoDeeperThanItIsGiven) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(),
             {":top=1", "A:a=1", "A\\B:b=2", "A\\B\\C:c=3", "A\\B2:d=4", "E:e=5"});
  PurgeAt("", kFamilyNt, 2);
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {"A\\B\\C:c=3"});
}

// A missing key, and a path with an empty name in it (the root itself, or a doubled separator),
// open nothing and change nothing.
TEST_F(Purge, LeavesAMissingKeyAndAnEmptyNameAlone) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {":v=1", "A:x=1"});
  static int deletions;
  deletions = 0;
  g_seam.RegDeleteKeyItself = [](HKEY) -> LONG { return ++deletions, ERROR_ACCESS_DENIED; };
  g_seam.RegDeleteValue = [](HKEY, const char*) -> LONG { return ++deletions, ERROR_ACCESS_DENIED; };
  PurgeAt("Missing");
  PurgeAt("A\\Missing\\Deeper");
  HKEY sandbox, key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Base().c_str(), 0, KEY_ALL_ACCESS,
                                         &sandbox));
  for (const char* path : {"", "\\A", "A\\", "A\\\\B"})
    EXPECT_EQ(0, OpenOwnKey(sandbox, path, kFamilyNt, &key)) << path;
  EXPECT_EQ(0, RemoveSubkey(sandbox, "A", kFamilyNt, 0)) << "no level left to enter";
  RegCloseKey(sandbox);
  EXPECT_EQ(0, deletions);
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {":v=1", "A:x=1"});
}

// Every key is opened relative to its parent's handle, by its one name, as itself and with full
// access, and deleted through that same handle, never by its name; every handle is closed.
TEST_F(Purge, OpensAndDeletesEveryKeyThroughHandles) {
  BUILD_TREE(HKEY_CURRENT_USER, Base(), {"A\\B:x=1", "C"});
  static std::vector<HKEY> open;
  static int deleted;
  open.clear();
  deleted = 0;
  g_seam.RegOpenKey = [](HKEY, const char* path, REGSAM, HKEY*) -> LONG {
    ADD_FAILURE() << "opened through a link, if it is one: " << path;
    return ERROR_ACCESS_DENIED;
  };
  g_seam.RegOpenKeyItself = [](HKEY parent, const char* name, REGSAM access, HKEY* key) -> LONG {
    EXPECT_EQ(nullptr, strchr(name, '\\')) << name;
    EXPECT_EQ(static_cast<REGSAM>(KEY_ALL_ACCESS), access);
    LONG result = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access, key);
    if (result == ERROR_SUCCESS) open.push_back(*key);
    return result;
  };
  g_seam.RegCloseKey = [](HKEY key) -> LONG {
    auto it = std::find(open.begin(), open.end(), key);
    EXPECT_NE(open.end(), it) << "closed a handle that is not open";
    if (it != open.end()) open.erase(it);
    return RegCloseKey(key);
  };
  g_seam.RegDeleteKey = [](HKEY, const char* name) -> LONG {
    ADD_FAILURE() << "deleted by its name: " << name;
    return ERROR_ACCESS_DENIED;
  };
  g_seam.RegDeleteKeyItself = [](HKEY key) -> LONG {
    EXPECT_NE(open.end(), std::find(open.begin(), open.end(), key)) << "not a key it opened";
    ++deleted;
    return RealDeleteKeyItself(key);
  };
  PurgeAt("");
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {});
  EXPECT_EQ(3, deleted);
  EXPECT_TRUE(open.empty()) << open.size() << " handles left open";
}

// A link is never gone through: neither emptied nor deleted, whether it is the key purged, a key
// below it or a subkey removed, and whether it was there from the start or put in place of a key
// the purge had already opened: a parent swapped for a link between two opens, a child swapped
// for a link between its check and its deletion (the swaps made through the seam, with ordinary
// registry calls). The link stays, and so do the keys above it; the other program's keys it leads
// to stay whole. Links in the part of a path Windows gives are followed, as CurrentControlSet is.
TEST_F(Purge, NeverGoesThroughALink) {
  const Tree decoys = {"Decoy:d=1", "Decoy\\Sub:e=2", "Decoy\\Sub\\Deeper:f=3", "Lone:g=4"};
  // Swaps the key at Base()\Swapped() for a link to Base()\Decoy, once.
  static std::string swapped;
  static auto swap = [] {
    DeleteTree(HKEY_CURRENT_USER, Base() + "\\" + swapped);
    MakeLink(HKEY_CURRENT_USER, Base() + "\\" + swapped, HKEY_CURRENT_USER, Base() + "\\Decoy");
    swapped.clear();
  };
  struct Case {
    const char* name;
    Tree before;
    const char *link, *target;  // made before the purge, relative to the sandbox; null for none
    void (*act)();
    Tree after;
    bool decoysWhole;  // the decoys are part of after, too
  } cases[] = {
      {"a link below the purged key",
       {"Top:v=1", "Top\\A:x=1", "Top\\Mid:y=2", "Top\\Mid\\B:z=3"}, "Top\\Mid\\Link", "Decoy",
       [] { PurgeAt("Top"); }, {"Top\\Mid\\Link <link>"}, true},
      {"a link below the purged key, to a key without subkeys", {"Top\\A:x=1"}, "Top\\Link",
       "Lone", [] { PurgeAt("Top"); }, {"Top\\Link <link>"}, true},
      {"the purged key is a link", {}, "Link", "Decoy", [] { PurgeAt("Link"); }, {"Link <link>"},
       true},
      {"a key above the purged key is a link", {}, "Link", "Decoy", [] { PurgeAt("Link\\Sub"); },
       {"Link <link>"}, true},
      {"a subkey removed is a link", {}, "Link", "Lone",
       [] {
         HKEY base;
         ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Base().c_str(), 0,
                                                KEY_ALL_ACCESS, &base));
         EXPECT_EQ(0, RemoveSubkey(base, "Link", kFamilyNt, kMaxPurgeDepth));
         RegCloseKey(base);
       },
       {"Link <link>"}, true},
      {"a parent swapped for a link between two opens",
       {"Top\\A\\Sub:x=1", "Top\\A\\Sub\\Deeper:y=2"}, nullptr, nullptr,
       [] {
         swapped = "Top\\A";
         g_seam.RegOpenKeyItself = [](HKEY parent, const char* name, REGSAM access,
                                      HKEY* key) -> LONG {
           if (!swapped.empty() && !strcmp(name, "Sub")) swap();
           return RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access, key);
         };
         PurgeAt("Top");
       },
       {"Top\\A <link>"}, true},
      {"a child swapped for a link between its check and its deletion",
       {"Top\\A\\Sub:x=1"}, nullptr, nullptr,
       [] {
         swapped = "Top\\A\\Sub";
         g_seam.RegDeleteKeyItself = [](HKEY key) -> LONG {
           if (!swapped.empty()) swap();
           return RealDeleteKeyItself(key);
         };
         PurgeAt("Top");
       },
       {"Top\\A\\Sub <link>"}, true},
      {"a link where Windows gives the path is followed", {}, "Link", "Decoy",
       [] {
         HKEY linked, sub;
         ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (Base() + "\\Link").c_str(), 0,
                                                KEY_ALL_ACCESS, &linked));
         if (OpenOwnKey(linked, "Sub", kFamilyNt, &sub)) {
           PurgeKey(sub, kFamilyNt, kMaxPurgeDepth);
           RegCloseKey(sub);
         }
         RegCloseKey(linked);
       },
       {"Link <link>", "Decoy:d=1", "Decoy\\Sub", "Lone:g=4"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();  // a clean seam and sandbox for each case
    BUILD_TREE(HKEY_CURRENT_USER, Base(), decoys);
    BUILD_TREE(HKEY_CURRENT_USER, Base(), c.before);
    if (c.link)
      MakeLink(HKEY_CURRENT_USER, Base() + "\\" + c.link, HKEY_CURRENT_USER,
               Base() + "\\" + c.target);
    c.act();
    EXPECT_TRUE(swapped.empty()) << "the swap never came";
    swapped.clear();
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
  PurgeAt("");
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {});
}

// In code page 949 a Hangul syllable takes two bytes: a subkey name of 255 of them, the longest
// the registry allows, still fits the name buffer, and goes. A name the enumeration reports too
// long for it (stood in: the registry allows none) stays, like one that cannot be removed, and
// the purge goes on with the subkeys after it (Wine lists subkeys sorted by name).
TEST_F(Purge, TakesEveryKeyNameAndStepsPastOneThatDoesNotFit) {
  ASSERT_EQ(949u, GetACP());
  std::string longName;
  for (int i = 0; i < 255; ++i) longName += ToCp949(u8"가");
  const std::string later = ToCp949(u8"나");
  BUILD_TREE(HKEY_CURRENT_USER, Base(),
             {":v=1", "A:x=1", longName + ":y=2", longName + "\\Inner:z=3", later + ":w=4",
              later + "\\Deep:u=5", "M:m=1", "Z:z=1"});
  g_seam.RegEnumKey = [](HKEY key, DWORD index, char* name, DWORD length) -> LONG {
    LONG found = RegEnumKeyA(key, index, name, length);
    return found == ERROR_SUCCESS && !strcmp(name, "M") ? ERROR_MORE_DATA : found;
  };
  PurgeAt("");
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {"M:m=1"});
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
  PurgeAt("Top");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Base() + "\\Decoy\\Inner\\Deep"));
  for (const wchar_t* name : {L"a\x20A9Inner", L"x\x0100y"}) {
    HKEY key;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, (top + name).c_str(), 0, KEY_READ,
                                           &key)) << "the key stays";
    RegCloseKey(key);
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Base() + "\\Top\\b"));
}

// Deleting a key through its handle says why it failed, in Windows' own error: a key with a
// subkey is refused, and a handle that is no key is reported as such, not as a refusal.
TEST_F(Purge, DeletingAKeyItselfTellsWhyItFailed) {
  struct Case {
    const char* name;
    bool withSubkey, notAKey;
    LONG result;
  };
  const Case cases[] = {
      {"empty", false, false, ERROR_SUCCESS},
      {"with a subkey", true, false, ERROR_ACCESS_DENIED},
      {"no key", false, true, ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Base() + "\\key";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    if (c.withSubkey) {
      HKEY sub;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "sub", &sub));
      RegCloseKey(sub);
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(c.result, SysRegDeleteKeyItself(c.notAKey ? reinterpret_cast<HKEY>(event) : key));
    CloseHandle(event);
    RegCloseKey(key);
    DeleteTree(HKEY_CURRENT_USER, path);
  }
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
  g_seam.RegOpenKeyItself = [](HKEY, const char* path, REGSAM, HKEY*) -> LONG {
    ADD_FAILURE() << "opened with an option the 9x family does not know: " << path;
    return ERROR_INVALID_PARAMETER;
  };
  g_seam.RegDeleteKeyItself = [](HKEY) -> LONG {
    ADD_FAILURE() << "deleted through ntdll, which the 9x family does not have";
    return ERROR_CALL_NOT_IMPLEMENTED;
  };
  PurgeAt("", kFamily9x);
  EXPECT_TREE(HKEY_CURRENT_USER, Base(), {});
}

// Faults Wine cannot produce: the purge still ends, removes what it can and leaves the rest.
class PurgeFault : public Purge {
 protected:
  static int& Enumerations() {
    static int enumerations;
    return enumerations;
  }
  void SetUp() override {
    Purge::SetUp();
    Handles() = {0, 0};
    Enumerations() = 0;
    Names().clear();
    g_seam.RegOpenKeyItself = NamedOpen;
    g_seam.RegCloseKey = CountedClose;
    // Gives up after far more passes than the tree needs, so that a loop that would spin shows
    // as a failure instead of a hanging test.
    g_seam.RegEnumKey = [](HKEY key, DWORD index, char* name, DWORD length) -> LONG {
      if (++Enumerations() > 100) return ERROR_NO_MORE_ITEMS;
      return RegEnumKeyA(key, index, name, length);
    };
  }
  // The name each open key was opened by.
  static std::map<HKEY, std::string>& Names() {
    static std::map<HKEY, std::string> names;
    return names;
  }
  static LONG NamedOpen(HKEY parent, const char* name, REGSAM access, HKEY* key) {
    LONG result = CountedOpenItself(parent, name, access, key);
    if (result == ERROR_SUCCESS) Names()[*key] = name;
    return result;
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
         g_seam.RegDeleteKeyItself = [](HKEY key) -> LONG {
           return Names()[key] == "B" ? ERROR_ACCESS_DENIED : RealDeleteKeyItself(key);
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
      // Whether C is a link cannot be seen: it stays, although nothing below it would stop the
      // deletion.
      {"subkey C cannot be opened",
       [] {
         g_seam.RegOpenKeyItself = [](HKEY parent, const char* name, REGSAM access,
                                      HKEY* key) -> LONG {
           return !strcmp(name, "C") ? ERROR_ACCESS_DENIED
                                     : CountedOpenItself(parent, name, access, key);
         };
       },
       {"C:u=5"}},
      {"no subkey can be opened",
       [] {
         g_seam.RegOpenKeyItself = [](HKEY parent, const char* name, REGSAM access,
                                      HKEY* key) -> LONG {
           return name == Name() ? CountedOpenItself(parent, name, access, key)
                                 : ERROR_ACCESS_DENIED;
         };
       },
       {"A:x=1", "A\\Deep:y=2", "B:z=3", "B\\Deep:w=4", "C:u=5"}},
      {"the key-information query fails",
       [] {
         g_seam.RegQueryInfoKey = [](HKEY, DWORD*, DWORD*) -> LONG {
           return ERROR_ACCESS_DENIED;
         };
       },
       before},
      // Each pass gets as far as the count taken before: A three times, B and C never.
      {"a deletion reports success but the key stays",
       [] { g_seam.RegDeleteKeyItself = [](HKEY) -> LONG { return ERROR_SUCCESS; }; },
       {"A\\Deep", "B:z=3", "B\\Deep:w=4", "C:u=5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();  // a clean seam and sandbox for each case
    BUILD_TREE(HKEY_CURRENT_USER, Base(), before);
    c.install();
    PurgeAt("");
    EXPECT_LE(Enumerations(), 100) << "the subkey loop does not end";
    EXPECT_EQ(Handles().opens, Handles().closes) << "every handle opened is closed";
    EXPECT_TREE(HKEY_CURRENT_USER, Base(), c.after);
    DeleteTree(HKEY_CURRENT_USER, Base());
  }
}

}  // namespace
